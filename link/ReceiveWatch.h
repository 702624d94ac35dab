#pragma once

#include "link/SilenceWatch.h"

#include <QtGlobal>

#include <atomic>

// When the receive step has work: bytes have come, or it is time to look
// for a silence of the switch. The poll thread asks wanted() every cycle
// and runs the step only then, so an idle panel is not woken forty times a
// second; the rest runs on the GUI thread. Times are milliseconds of
// MonotonicClock.
class ReceiveWatch
{
public:
    // A silence is looked for this often while the switch cannot be heard
    // for a reason of its own (a remote panel's broker away).
    static constexpr qint64 recheckMs = 250;

    // Any thread.
    bool wanted();

    void bytesCame() { bytes.store(true); }
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
};
