#include "link/PollPacer.h"

PollPacer::PollPacer(qint64 startMs)
    : previousMs(startMs)
{
}

PollPacer::Send PollPacer::next(qint64 nowMs, bool queueEmpty)
{
    qint64 advanceMs = nowMs - previousMs;
    previousMs = nowMs;
    // The thread still slept its cycle, whatever the clock now says.
    if (advanceMs < 0)
        advanceMs = cycleMs;
    sinceLastSendMs += advanceMs;

    const qint64 spacingMs = queueEmpty ? pollSpacingMs : commandSpacingMs;
    if (sinceLastSendMs <= spacingMs)
        return Send::Nothing;
    sinceLastSendMs = 0;
    return queueEmpty ? Send::Poll : Send::Command;
}
