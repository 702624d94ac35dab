#include "remote/RelayedFrame.h"

#include "link/FrameExtractor.h"
#include "link/Protocol.h"

namespace RelayedFrame {

bool isWholeSwitchFrame(const QByteArray &message)
{
    // No frame the receive step takes is longer than its window.
    if (message.size() > rxBufferSize)
        return false;
    FrameExtractor extractor = FrameExtractor::forSwitchFrames();
    const QList<QByteArray> frames = extractor.feed(message);
    return frames.size() == 1 && frames.first() == message;
}

} // namespace RelayedFrame
