#pragma once

#include <functional>

class QIODevice;

// A naive single-read receive step, the baseline of the line-speed figure.
// Each step makes a single read of at most 20 bytes and takes them as a frame
// only when they happen to be one whole frame: "IG", then "T" or "W", and ";"
// as the last byte read. Nothing is kept between steps, so a frame cut by a
// read is gone, and a step yields one frame at most.
class SingleReadReceiver
{
public:
    void receive(QIODevice *port, const std::function<void()> &dispatch);

    long long framesDispatched() const { return dispatched; }

private:
    long long dispatched = 0;
};
