#pragma once

#include "link/FrameExtractor.h"

#include <functional>

class QIODevice;

// The receive step. Bytes are kept between reads, so a frame that arrives in
// pieces (a 12-byte frame takes 12.5 ms at 9600 baud) is put back together,
// and every complete frame in a read is handled, oldest first. Each frame is
// copied into rxBuffer, with rxCount its length, before dispatch is called.
class FrameReceiver
{
public:
    // A single step reads at most this much, so a flood of bytes cannot hold
    // the GUI thread; the rest waits for the next step.
    static constexpr int maxBytesPerStep = 4096;
    // The receive step drains far faster than any serial line fills, but a
    // runaway sender must not grow the serial port's own buffer without end.
    static constexpr qint64 portBufferBytes = 64 * 1024;

    FrameReceiver();

    void receive(QIODevice *port, const std::function<void()> &dispatch);
    // Forgets a partial frame, e.g. when a new connection starts.
    void reset();

    qint64 framesDispatched() const { return dispatched; }
    bool holdsPartOfAFrame() const { return extractor.pendingSize() > 0; }

private:
    FrameExtractor extractor;
    qint64 dispatched = 0;
};
