#include "link/FrameExtractor.h"

#include "link/Protocol.h"

FrameExtractor::FrameExtractor(QVector<Format> formats)
    : formats(std::move(formats))
{
}

FrameExtractor FrameExtractor::forSwitchFrames()
{
    using namespace Protocol;
    // The receive window takes up to 20 bytes, so the switch's frames may be
    // that long; a frame shorter than its data ("IGT;") is not taken.
    return FrameExtractor({
        {statusType, statusFrameLength, statusFrameLength - 1, rxBufferSize},
        {firmwareType, firmwareFrameLength, firmwareFrameLength - 1, rxBufferSize},
    });
}

FrameExtractor FrameExtractor::forPanelFrames()
{
    using namespace Protocol;
    // Written lengths are fixed; the ";" of the shorter command frames is
    // followed by left-over bytes of the shared transmit buffer.
    return FrameExtractor({
        {firmwareType, firmwareRequestLength, 3, firmwareRequestLength},
        {statusType, pollRequestLength, 4, pollRequestLength},
        {selectLetter, commandFrameLength, 4, commandFrameLength},
        {superSplitLetter, commandFrameLength, 4, commandFrameLength},
        {rotorLetter, commandFrameLength, 5, commandFrameLength},
        {splitLetter, commandFrameLength, 6, commandFrameLength},
    });
}

const FrameExtractor::Format *FrameExtractor::formatFor(char type) const
{
    for (const Format &format : formats) {
        if (format.type == type)
            return &format;
    }
    return nullptr;
}

int FrameExtractor::measure(int start, const Format &format) const
{
    const int available = pending.size() - start;
    if (available < format.length)
        return needMoreBytes;
    const char *frame = pending.constData() + start;
    if (frame[format.terminatorIndex] == Protocol::terminator)
        return format.length;

    constexpr int firstDataIndex = 3;
    for (int i = firstDataIndex; i < format.maxLength; ++i) {
        if (i >= available)
            return needMoreBytes;
        if (frame[i] == Protocol::terminator && i > format.terminatorIndex)
            return i + 1;
        if (frame[i] == Protocol::headerFirst && i + 1 < format.maxLength) {
            if (i + 1 >= available)
                return needMoreBytes;
            if (frame[i + 1] == Protocol::headerSecond)
                return notAFrame;
        }
    }
    return notAFrame;
}

QList<QByteArray> FrameExtractor::feed(const char *data, int size)
{
    QList<QByteArray> frames;
    if (size > 0)
        pending.append(data, size);

    const char header[] = {Protocol::headerFirst, Protocol::headerSecond, '\0'};
    int start = 0;
    while (start < pending.size()) {
        const int found = pending.indexOf(header, start);
        if (found < 0) {
            // A trailing "I" may be the first half of the next header.
            start = pending.endsWith(Protocol::headerFirst) ? pending.size() - 1 : pending.size();
            break;
        }
        start = found;
        if (pending.size() - start < 3)
            break;
        const Format *format = formatFor(pending.at(start + 2));
        if (!format) {
            ++start;
            continue;
        }
        const int length = measure(start, *format);
        if (length == needMoreBytes)
            break;
        if (length == notAFrame) {
            ++start;
            continue;
        }
        frames.append(pending.mid(start, length));
        start += length;
    }
    pending.remove(0, start);
    return frames;
}
