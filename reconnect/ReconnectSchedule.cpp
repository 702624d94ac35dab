#include "reconnect/ReconnectSchedule.h"

#include <algorithm>

ReconnectSchedule::ReconnectSchedule(const ReconnectTiming &timing)
    : timing(timing)
    , delayMs(timing.firstDelayMs)
{
}

void ReconnectSchedule::lost(qint64 nowMs)
{
    const bool flapping = reconnectedMs >= 0 && nowMs - reconnectedMs < timing.settledMs;
    delayMs = flapping ? grown(delayMs) : timing.firstDelayMs;
    reconnectedMs = -1;
    nextMs = nextAfter(nowMs, delayMs);
}

void ReconnectSchedule::tried(qint64 nowMs)
{
    // Counted from the try itself, so a late or slow try never brings on a
    // burst of catching up.
    delayMs = grown(delayMs);
    nextMs = nextAfter(nowMs, delayMs);
}

void ReconnectSchedule::opened(const QString &port, qint64 nowMs)
{
    openedPort = port;
    openedMs = nowMs;
}

void ReconnectSchedule::unanswered()
{
    if (openedPort.isEmpty())
        return;
    // Opens that failed in between do not break the row; an open of another
    // port starts a new one.
    if (openedPort == silentPort) {
        ++silentOpens;
    } else {
        silentPort = openedPort;
        silentOpens = 1;
    }
    lastSilentOpenMs = openedMs;
    openedPort.clear();
}

void ReconnectSchedule::reconnected(qint64 nowMs)
{
    reconnectedMs = nowMs;
    forgetSilence();
}

void ReconnectSchedule::reset()
{
    delayMs = timing.firstDelayMs;
    reconnectedMs = -1;
    forgetSilence();
}

bool ReconnectSchedule::mayOpen(const QString &port, qint64 nowMs) const
{
    return port != silentPort || quietEndMs() < 0 || nowMs >= quietEndMs();
}

qint64 ReconnectSchedule::waitMs(qint64 nowMs) const
{
    return std::max<qint64>(0, nextMs - nowMs);
}

qint64 ReconnectSchedule::grown(qint64 delay) const
{
    return std::min(delay * 2, timing.longestDelayMs);
}

qint64 ReconnectSchedule::nextAfter(qint64 nowMs, qint64 delay) const
{
    const qint64 quietEnd = quietEndMs();
    if (quietEnd > nowMs)
        return std::min(nowMs + delay, quietEnd);
    return nowMs + delay;
}

qint64 ReconnectSchedule::quietEndMs() const
{
    if (silentPort.isEmpty() || silentOpens < timing.silentOpensBeforeQuiet)
        return -1;
    return lastSilentOpenMs + timing.quietPortMs;
}

void ReconnectSchedule::forgetSilence()
{
    openedPort.clear();
    silentPort.clear();
    silentOpens = 0;
}
