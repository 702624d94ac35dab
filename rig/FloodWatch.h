#pragma once

#include <QtGlobal>

#include <optional>

// Tells when a logger port hears far more than any logger sends: a logger
// speaks a few times a second at most, so more than maxPacketsPerSecond in
// a second means the port is flooded, and the kernel may be dropping
// datagrams (a transmit report among them) that band follow never sees.
// The flood is over once calmMs have passed without a second over the
// limit. Plain rules on a monotonic clock in milliseconds.
class FloodWatch
{
public:
    static constexpr int maxPacketsPerSecond = 50;
    static constexpr qint64 secondMs = 1000;
    static constexpr qint64 calmMs = 5000;

    // A datagram arrived; true when the port is flooded from now on.
    bool packet(qint64 nowMs);
    // True when the flood is over (once).
    bool calmed(qint64 nowMs);
    bool isFlooded() const { return flooded; }
    // When calmed() may next say so, while flooded.
    std::optional<qint64> nextCheckMs() const;

private:
    qint64 secondStartMs = 0;
    int inSecond = 0;
    bool flooded = false;
    qint64 lastOverMs = 0;
};
