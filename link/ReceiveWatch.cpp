#include "link/ReceiveWatch.h"

#include "link/MonotonicClock.h"

bool ReceiveWatch::wanted()
{
    if (bytes.exchange(false))
        return true;
    const qint64 dueMs = checkAtMs.load();
    return dueMs >= 0 && MonotonicClock::nowMs() >= dueMs;
}

void ReceiveWatch::connected(qint64 nowMs)
{
    silence.connected(nowMs);
    arm();
}

void ReceiveWatch::disconnected()
{
    silence.disconnected();
    arm();
}

void ReceiveWatch::frameArrived(qint64 nowMs)
{
    silence.frameArrived(nowMs);
    arm();
}

bool ReceiveWatch::silenceNow(qint64 nowMs, bool canHear)
{
    if (!canHear) {
        const qint64 dueMs = checkAtMs.load();
        if (dueMs >= 0 && nowMs >= dueMs)
            checkAtMs.store(nowMs + recheckMs);
        return false;
    }
    const bool silent = silence.check(nowMs);
    arm();
    return silent;
}

void ReceiveWatch::arm()
{
    const std::optional<qint64> dueMs = silence.nextCheckMs();
    checkAtMs.store(dueMs ? *dueMs : -1);
}
