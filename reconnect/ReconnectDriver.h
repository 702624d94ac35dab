#pragma once

#include "link/LinkLossHandler.h"
#include "reconnect/PortFinder.h"
#include "reconnect/ReconnectSchedule.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

class LinkSession;

// Opens the port again on its own after the serial device went away, instead
// of the "Critical Error" box: first a second after the loss, then backing
// off to every five seconds, until the switch answers or the operator takes
// over (Disconnect stops the tries; a connect of their own that opens ends
// them). Each try opens with the settings of that moment, under the name the
// port finder gives for the device now. A try counts only when a status or
// firmware frame arrives within two seconds; otherwise the port is closed
// again and the back-off goes on, and a port that stays silent three tries
// in a row is opened only once a minute from then on (opening it raises DTR
// and RTS, and it may be a radio's). A try that fails changes nothing but the
// status text. The finder learns a port only once the switch has answered on
// it, so a stranger is never followed to a new name. The loss, each kind of
// failure once per outage, and each reconnect are logged with a timestamp.
//
// Works through the link's session, never the window; a child of the
// session, on the GUI thread: closing the window ends it.
class ReconnectDriver : public QObject, public LinkLossHandler
{
    Q_OBJECT

public:
    using PortLister = std::function<QList<SerialPortEntry>()>;
    using PathCheck = std::function<bool(const QString &)>;
    using LogLine = std::function<void(const QString &)>;

    explicit ReconnectDriver(LinkSession *session, const ReconnectTiming &timing = ReconnectTiming());
    ~ReconnectDriver() override;

    // The system's port list (QSerialPortInfo) unless replaced.
    void setPortLister(PortLister lister) { listPorts = std::move(lister); }
    // Whether a path exists in the file system, unless replaced.
    void setPathCheck(PathCheck check) { pathExists = std::move(check); }
    // Each line goes to stderr behind a timestamp, unless replaced.
    void setLog(LogLine log) { logLine = std::move(log); }

    // Connects to a port named at start. A port that does not open yet (an
    // adapter plugged in after the station started), or opens but does not
    // answer, is waited for as after a loss, with no box.
    void connectAtStart(const QString &portName);

    bool isRetrying() const { return retrying; }
    // Counted since the start, for the bench and the tests.
    int losses() const { return lossCount; }
    int tries() const { return tryCount; }
    int reconnects() const { return reconnectCount; }

    void linkOpened(const QString &portName, const QString &message) override;
    void switchAnswered() override;
    void linkClosed() override;
    bool linkLost(const QString &portName) override;

private:
    void startRetrying(const QString &message);
    void tryNow();
    void noAnswer();
    void triedAgain(const QString &message);
    void waitForNextTry();
    // Each line once per outage: an unattended station's log reader wants
    // what happened, not every try.
    void logOnce(const QString &line);

    LinkSession *session;
    ReconnectSchedule schedule;
    PortFinder finder;
    QTimer timer;
    QTimer answerTimer;
    QElapsedTimer clock;
    qint64 answerMs;
    PortLister listPorts;
    PathCheck pathExists;
    LogLine logLine;

    bool retrying = false;
    bool ownOpen = false;         // the port is being opened by a try or the connect at start
    bool learnOnAnswer = false;   // the finder learns the port open now once the switch answers
    bool tryLostUnanswered = false;
    QString requestedName;        // the settings' port name when the port opened
    QString openedName;
    QString openedMessage;
    QString retryMessage; // what the status bar says while the tries go on
    QStringList loggedThisOutage;
    int lossCount = 0;
    int tryCount = 0;
    int reconnectCount = 0;
};
