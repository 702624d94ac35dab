#include "link/FrameReceiver.h"

#include "link/Protocol.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace {
constexpr int readChunkSize = 512;
}

FrameReceiver::FrameReceiver()
    : extractor(FrameExtractor::forSwitchFrames())
{
}

void FrameReceiver::receive(QIODevice *port, const std::function<void()> &dispatch)
{
    if (!port || !port->isOpen())
        return;
    char chunk[readChunkSize];
    int budget = maxBytesPerStep;
    while (budget > 0 && port->bytesAvailable() > 0) {
        const qint64 got = port->read(chunk, std::min(budget, readChunkSize));
        if (got <= 0)
            break;
        budget -= static_cast<int>(got);
        const QList<QByteArray> frames = extractor.feed(chunk, static_cast<int>(got));
        for (const QByteArray &frame : frames) {
            const int length = std::min(frame.size(), rxBufferSize);
            std::memcpy(rxBuffer, frame.constData(), static_cast<size_t>(length));
            rxCount = static_cast<qint8>(length);
            ++dispatched;
            dispatch();
            // The handler may have closed the port.
            if (!port->isOpen())
                return;
        }
    }
}

void FrameReceiver::reset()
{
    extractor.clear();
}
