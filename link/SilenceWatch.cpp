#include "link/SilenceWatch.h"

void SilenceWatch::connected(qint64 nowMs)
{
    armed = true;
    reported = false;
    lastHeardMs = nowMs;
}

void SilenceWatch::disconnected()
{
    armed = false;
    reported = false;
}

void SilenceWatch::frameArrived(qint64 nowMs)
{
    lastHeardMs = nowMs;
    reported = false;
}

bool SilenceWatch::check(qint64 nowMs)
{
    if (!armed || reported || nowMs - lastHeardMs <= limitMs)
        return false;
    reported = true;
    return true;
}

std::optional<qint64> SilenceWatch::nextCheckMs() const
{
    if (!armed || reported)
        return std::nullopt;
    return lastHeardMs + limitMs + 1;
}
