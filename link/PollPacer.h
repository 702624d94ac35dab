#pragma once

#include <QtGlobal>

// The pacing rule of the poll thread, as plain code. Once a cycle it is
// given the time and whether commands wait, and says what to send: the
// oldest command when more than commandSpacingMs have passed since the last
// send, a poll when the queue is empty and more than pollSpacingMs have
// passed, otherwise nothing. One measure of time since the last send serves
// both kinds. No poll goes out while commands wait.
//
// Times come from a monotonic clock. Should a clock ever step backwards, the
// step counts as one ordinary cycle, so pacing goes on as before.
class PollPacer
{
public:
    enum class Send { Nothing, Command, Poll };

    static constexpr qint64 cycleMs = 25;
    // Strictly more than these must have passed since the last send.
    static constexpr qint64 commandSpacingMs = 100;
    static constexpr qint64 pollSpacingMs = 150;

    explicit PollPacer(qint64 startMs);

    Send next(qint64 nowMs, bool queueEmpty);
    // Time still to pass before a poll may go; zero or less when it may now.
    qint64 msUntilPoll() const { return pollSpacingMs + 1 - sinceLastSendMs; }

private:
    qint64 previousMs;
    qint64 sinceLastSendMs = 0;
};
