#include "rig/FloodWatch.h"

bool FloodWatch::packet(qint64 nowMs)
{
    if (inSecond == 0 || nowMs - secondStartMs >= secondMs) {
        secondStartMs = nowMs;
        inSecond = 0;
    }
    ++inSecond;
    if (inSecond <= maxPacketsPerSecond)
        return false;
    lastOverMs = nowMs;
    if (flooded)
        return false;
    flooded = true;
    return true;
}

bool FloodWatch::calmed(qint64 nowMs)
{
    if (!flooded || nowMs - lastOverMs < calmMs)
        return false;
    flooded = false;
    return true;
}

std::optional<qint64> FloodWatch::nextCheckMs() const
{
    if (!flooded)
        return std::nullopt;
    return lastOverMs + calmMs;
}
