#pragma once

#include "link/MonotonicClock.h"
#include "link/SilenceWatch.h"

#include <QtGlobal>

#include <atomic>
#include <optional>

// When the receive step has work: bytes have come, an answer is awaited, or
// it is time to look for a silence of the switch. The poll thread asks
// wanted() at the cycles it wakes for, and dueInMs() to know how long it may
// sleep, and runs the step only when wanted, so an idle panel is not woken
// forty times a second; the rest runs on the GUI thread. Times are
// milliseconds of MonotonicClock.
//
// A link that does not announce its bytes (a serial port read only when
// asked, so that a byte-paced line does not wake the program for every
// byte) is read every cycle from a word sent until its answer is in.
class ReceiveWatch
{
public:
    // A silence is looked for this often while the switch cannot be heard
    // for a reason of its own (a remote panel's broker away).
    static constexpr qint64 recheckMs = 250;

    // An answer is looked for this long after a word went out: longer than
    // the pause between polls, so a switch that has not answered is read
    // every cycle until its silence is told.
    static constexpr qint64 answerWindowMs = 200;

    // Any thread.
    bool wanted() { return wanted(MonotonicClock::nowMs()); }
    bool wanted(qint64 nowMs);

    // Any thread: how soon wanted() will be true, if ever without news.
    std::optional<qint64> dueInMs(qint64 nowMs) const;

    void bytesCame() { bytes.store(true); }
    // A word went out. A switch that has gone silent is not looked for
    // every cycle: what it sends is read before the next word goes out, and
    // its first frame ends the silence.
    void awaitAnswer(qint64 nowMs);
    // After a receive step: bytes it left for the next, whether it read a
    // whole frame and still holds part of one. The window reads what came
    // before a word goes out, so a whole frame read after it is its answer.
    void stepDone(bool bytesLeft, bool framesRead, bool partHeld);
    void connected(qint64 nowMs);
    void disconnected();
    void frameArrived(qint64 nowMs);
    // True once per outage when the switch has been silent too long;
    // canHear false means another cause already speaks for the silence.
    bool silenceNow(qint64 nowMs, bool canHear);

private:
    void arm();

    SilenceWatch silence;
    std::atomic<bool> bytes{false};
    std::atomic<qint64> checkAtMs{-1};   // -1: no look due
    std::atomic<qint64> awaitUntilMs{-1}; // -1: no answer awaited
};
