#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

// Tells a service manager how the program is doing: "ready" once the station
// is in service, the last status text, and, when the manager keeps a
// watchdog on the program, a ping from the event loop well within each
// watchdog period. A loop that hangs stops pinging, and the manager restarts
// the program. Does nothing where no such manager listens (no NOTIFY_SOCKET)
// and on systems without systemd.
class ServiceNotify : public QObject
{
    Q_OBJECT

public:
    // Pings per watchdog period, so one late tick never lets it run out.
    static constexpr int pingsPerPeriod = 4;
    // For tests only: milliseconds for which the event loop is blocked once,
    // right after the first watchdog ping that follows "ready", as a hung
    // loop would be. Read once at start; never set it for a real service.
    static constexpr const char *testBlockVariable = "TQX5R_TEST_BLOCK_EVENT_LOOP_MS";

    explicit ServiceNotify(QObject *parent = nullptr);

public slots:
    void ready();
    // Shown by the manager beside the service's state; empty texts are left out.
    void setStatus(const QString &text);
    // Said before the program winds down.
    void stopping();

private:
    void send(const QByteArray &state);
    void ping();

    bool active = false;
    bool readySent = false;
    int testBlockMs = 0;
    QTimer watchdog;
};
