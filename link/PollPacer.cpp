#include "link/PollPacer.h"

#include <algorithm>

PollPacer::PollPacer(qint64 startMs)
    : previousMs(startMs)
    , nowMs(startMs)
{
}

PollPacer::Send PollPacer::next(qint64 now, bool queueEmpty, std::optional<qint64> statusWantedAtMs)
{
    qint64 advanceMs = now - previousMs;
    previousMs = now;
    nowMs = now;
    // The thread still slept its cycle, whatever the clock now says.
    if (advanceMs < 0)
        advanceMs = cycleMs;
    sinceLastSendMs += advanceMs;

    if (!queueEmpty) {
        if (sinceLastSendMs <= commandSpacingMs)
            return Send::Nothing;
        sinceLastSendMs = 0;
        return Send::Command;
    }
    bool poll = sinceLastSendMs > pollSpacingMs;
    if (statusWantedAtMs) {
        const qint64 untilWantedMs = *statusWantedAtMs - now;
        if (untilWantedMs <= 0 && sinceLastSendMs > commandSpacingMs)
            poll = true;
        // A poll now would keep the wanted one from leaving at its moment.
        else if (poll && untilWantedMs > 0 && untilWantedMs <= commandSpacingMs
                 && sinceLastSendMs + untilWantedMs <= maxPollGapMs)
            poll = false;
    }
    if (!poll)
        return Send::Nothing;
    sinceLastSendMs = 0;
    return Send::Poll;
}

qint64 PollPacer::msUntilPoll(std::optional<qint64> statusWantedAtMs) const
{
    const qint64 regularMs = pollSpacingMs + 1 - sinceLastSendMs;
    if (!statusWantedAtMs)
        return regularMs;
    const qint64 wantedMs = std::max(*statusWantedAtMs - nowMs, commandSpacingMs + 1 - sinceLastSendMs);
    return std::min(regularMs, wantedMs);
}
