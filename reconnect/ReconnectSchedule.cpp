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
    nextMs = nowMs + delayMs;
}

void ReconnectSchedule::tried(qint64 nowMs)
{
    // Counted from the try itself, so a late or slow try never brings on a
    // burst of catching up.
    delayMs = grown(delayMs);
    nextMs = nowMs + delayMs;
}

void ReconnectSchedule::reconnected(qint64 nowMs)
{
    reconnectedMs = nowMs;
}

void ReconnectSchedule::reset()
{
    delayMs = timing.firstDelayMs;
    reconnectedMs = -1;
}

qint64 ReconnectSchedule::waitMs(qint64 nowMs) const
{
    return std::max<qint64>(0, nextMs - nowMs);
}

qint64 ReconnectSchedule::grown(qint64 delay) const
{
    return std::min(delay * 2, timing.longestDelayMs);
}
