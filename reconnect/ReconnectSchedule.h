#pragma once

#include <QString>
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
    // A port opened this many times in a row without an answer...
    int silentOpensBeforeQuiet = 3;
    // ...is opened again only this long after the last of those opens.
    qint64 quietPortMs = 60000;
};

// When the next try to open a lost port is due. The first comes a second
// after the loss; each failed try doubles the wait, up to five seconds. A
// device that drops again soon after coming back continues the back-off
// instead of starting over, so a flapping adapter is not hammered.
//
// A port that opens but never answers is not left alone by the back-off: each
// try raises its DTR and RTS and sends it requests for two seconds, and it may
// be a radio's port under a name the switch had before. After three such
// opens of one port in a row, that port is opened at most once a minute,
// counted from open to open, so a switch that comes back on it is still
// found within a minute; other ports are tried at the usual pace. Times are
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
    // A try (or the connect at start) opened port at nowMs.
    void opened(const QString &port, qint64 nowMs);
    // The switch did not answer on the port opened last; tried() or lost()
    // follows with the pace.
    void unanswered();
    // The switch answered on the port a try opened.
    void reconnected(qint64 nowMs);
    // The operator connected: the history no longer counts.
    void reset();

    // Whether a try may open port at nowMs.
    bool mayOpen(const QString &port, qint64 nowMs) const;
    qint64 nextTryMs() const { return nextMs; }
    // How long from nowMs until the next try; 0 when it is overdue.
    qint64 waitMs(qint64 nowMs) const;

private:
    qint64 grown(qint64 delayMs) const;
    // The next try after delay, or sooner when a quiet port may be opened again.
    qint64 nextAfter(qint64 nowMs, qint64 delay) const;
    // When the quiet port may be opened again; -1 when no port is quiet.
    qint64 quietEndMs() const;
    void forgetSilence();

    ReconnectTiming timing;
    qint64 delayMs;
    qint64 nextMs = 0;
    qint64 reconnectedMs = -1;

    QString openedPort;      // the port opened last, until it answers or not
    qint64 openedMs = 0;
    QString silentPort;      // the port of the latest unanswered opens in a row
    int silentOpens = 0;
    qint64 lastSilentOpenMs = 0;
};
