#pragma once

#include <QtGlobal>

#include <optional>

// The pacing rule of the poll thread, as plain code. Once a cycle it is
// given the time and whether commands wait, and says what to send: the
// oldest command when more than commandSpacingMs have passed since the last
// send, a poll when the queue is empty and more than pollSpacingMs have
// passed, otherwise nothing. One measure of time since the last send serves
// both kinds. No poll goes out while commands wait.
//
// A feature may want the switch's status from a moment on (band follow
// looks at a frame read after a band has counted before it selects). Then a
// poll goes at the first cycle from that moment that is more than
// commandSpacingMs after the last send, and a regular poll that would leave
// too close before the moment to let that one go waits for it, as long as
// the switch is still heard within maxPollGapMs.
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
    // A poll held for a wanted status never leaves a longer gap than this.
    static constexpr qint64 maxPollGapMs = 275;

    explicit PollPacer(qint64 startMs);

    // statusWantedAtMs: from when a feature wants a fresh status, if it does.
    Send next(qint64 nowMs, bool queueEmpty, std::optional<qint64> statusWantedAtMs = std::nullopt);
    // Time still to pass before a poll may go; zero or less when it may now.
    qint64 msUntilPoll(std::optional<qint64> statusWantedAtMs = std::nullopt) const;

private:
    qint64 previousMs;
    qint64 nowMs;
    qint64 sinceLastSendMs = 0;
};
