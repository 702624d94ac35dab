#pragma once

#include <QtGlobal>

#include <optional>

// Tells when a connected switch has gone quiet. Connecting starts the clock;
// every complete frame from the switch, of any type, starts it again. When
// more than limitMs pass without one, check() says so once; the next frame
// ends the outage, so a later silence is reported again. Times are
// milliseconds of a monotonic clock.
class SilenceWatch
{
public:
    static constexpr qint64 limitMs = 2000;

    void connected(qint64 nowMs);
    void disconnected();
    void frameArrived(qint64 nowMs);

    // True once per outage, at the first check more than limitMs after the
    // last frame (or the connect).
    bool check(qint64 nowMs);
    // When a check would first say so, while one may; nothing once it has
    // been said or while not connected.
    std::optional<qint64> nextCheckMs() const;
    // Said, and no frame since.
    bool inOutage() const { return armed && reported; }

private:
    bool armed = false;
    bool reported = false;
    qint64 lastHeardMs = 0;
};
