#include "link/FrameExtractor.h"

#include "link/Protocol.h"

FrameExtractor::FrameExtractor(QVector<Format> formats)
    : formats(std::move(formats))
{
}

FrameExtractor FrameExtractor::forSwitchFrames()
{
    using namespace Protocol;
    return FrameExtractor({
        {statusType, statusFrameLength, statusFrameLength - 1},
        {firmwareType, firmwareFrameLength, firmwareFrameLength - 1},
    });
}

FrameExtractor FrameExtractor::forPanelFrames()
{
    using namespace Protocol;
    // Written lengths are fixed; the ";" of the shorter command frames is
    // followed by left-over bytes of the shared transmit buffer.
    return FrameExtractor({
        {firmwareType, firmwareRequestLength, 3},
        {statusType, pollRequestLength, 4},
        {selectLetter, commandFrameLength, 4},
        {superSplitLetter, commandFrameLength, 4},
        {rotorLetter, commandFrameLength, 5},
        {splitLetter, commandFrameLength, 6},
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
        if (pending.size() - start < format->length)
            break;
        if (pending.at(start + format->terminatorIndex) != Protocol::terminator) {
            ++start;
            continue;
        }
        frames.append(pending.mid(start, format->length));
        start += format->length;
    }
    pending.remove(0, start);
    return frames;
}
