#pragma once

#include <QtGlobal>

// The pace of the tries to open a lost port.
struct ReconnectTiming
{
    qint64 firstDelayMs = 1000;
    qint64 longestDelayMs = 5000;
    // A reconnect that lasts this long is a fresh start for the next loss.
    qint64 settledMs = 10000;
    // A port opened by a try is closed again when no status or firmware
    // frame comes within this.
    qint64 answerMs = 2000;
};

// When the next try to open a lost port is due. The first comes a second
// after the loss; each failed try doubles the wait, up to five seconds. A
// device that drops again soon after coming back continues the back-off
// instead of starting over, so a flapping adapter is not hammered. Times are
// milliseconds of a monotonic clock.
class ReconnectSchedule
{
public:
    explicit ReconnectSchedule(const ReconnectTiming &timing = ReconnectTiming());

    // The device went away.
    void lost(qint64 nowMs);
    // A try found nothing to open, the open failed, or the switch did not
    // answer on the port it opened.
    void tried(qint64 nowMs);
    // The switch answered on the port a try opened.
    void reconnected(qint64 nowMs);
    // The operator connected: the history no longer counts.
    void reset();

    qint64 nextTryMs() const { return nextMs; }
    // How long from nowMs until the next try; 0 when it is overdue.
    qint64 waitMs(qint64 nowMs) const;

private:
    qint64 grown(qint64 delayMs) const;

    ReconnectTiming timing;
    qint64 delayMs;
    qint64 nextMs = 0;
    qint64 reconnectedMs = -1;
};
