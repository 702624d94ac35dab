#include "link/ReceiveWatch.h"

#include <algorithm>

bool ReceiveWatch::wanted(qint64 nowMs)
{
    if (bytes.exchange(false))
        return true;
    const qint64 awaitMs = awaitUntilMs.load();
    if (awaitMs >= 0 && nowMs <= awaitMs)
        return true;
    const qint64 dueMs = checkAtMs.load();
    return dueMs >= 0 && nowMs >= dueMs;
}

std::optional<qint64> ReceiveWatch::dueInMs(qint64 nowMs) const
{
    const qint64 awaitMs = awaitUntilMs.load();
    if (bytes.load() || (awaitMs >= 0 && nowMs <= awaitMs))
        return 0;
    const qint64 dueMs = checkAtMs.load();
    if (dueMs < 0)
        return std::nullopt;
    return std::max<qint64>(0, dueMs - nowMs);
}

void ReceiveWatch::awaitAnswer(qint64 nowMs)
{
    if (silence.inOutage())
        return;
    awaitUntilMs.store(nowMs + answerWindowMs);
}

void ReceiveWatch::stepDone(bool bytesLeft, bool framesRead, bool partHeld)
{
    // Whatever arrived was read by this step, unless it left some.
    bytes.store(bytesLeft);
    if (framesRead && !partHeld)
        awaitUntilMs.store(-1);
}

void ReceiveWatch::connected(qint64 nowMs)
{
    silence.connected(nowMs);
    arm();
}

void ReceiveWatch::disconnected()
{
    silence.disconnected();
    awaitUntilMs.store(-1);
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
