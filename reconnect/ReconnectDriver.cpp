#include "reconnect/ReconnectDriver.h"

#include "link/LinkSession.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QSerialPortInfo>

#include <cstdio>

namespace {

QList<SerialPortEntry> systemPorts()
{
    QList<SerialPortEntry> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        SerialPortEntry port;
        port.name = info.portName();
        port.systemLocation = info.systemLocation();
        port.serialNumber = info.serialNumber();
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.hasVendorId = info.hasVendorIdentifier();
        port.vendorId = info.vendorIdentifier();
        port.hasProductId = info.hasProductIdentifier();
        port.productId = info.productIdentifier();
        ports << port;
    }
    return ports;
}

// An unattended station's trace: the words of the status bar behind the time.
void logToStderr(const QString &line)
{
    const QString stamped = QStringLiteral("%1: %2 %3")
                                .arg(QCoreApplication::applicationName(),
                                     QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                                     line);
    std::fprintf(stderr, "%s\n", stamped.toUtf8().constData());
    std::fflush(stderr);
}

} // namespace

ReconnectDriver::ReconnectDriver(LinkSession *session, const ReconnectTiming &timing)
    : QObject(session)
    , session(session)
    , schedule(timing)
    , answerMs(timing.answerMs)
    , listPorts(systemPorts)
    , pathExists([](const QString &path) { return QFileInfo::exists(path); })
    , logLine(logToStderr)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &ReconnectDriver::tryNow);
    answerTimer.setSingleShot(true);
    connect(&answerTimer, &QTimer::timeout, this, &ReconnectDriver::noAnswer);
    clock.start();
    session->setLossHandler(this);
}

ReconnectDriver::~ReconnectDriver()
{
    if (session->handler() == this)
        session->setLossHandler(nullptr);
}

void ReconnectDriver::linkOpened(const QString &portName, const QString &message)
{
    requestedName = session->settings().portName;
    openedName = portName;
    openedMessage = message;
    learnOnAnswer = true;
    tryLostUnanswered = false;
    if (ownOpen) {
        // Whether this try counts is the switch's to say.
        answerTimer.start(static_cast<int>(answerMs));
        return;
    }
    // The operator's own connect: the port stays open whatever answers.
    if (!retrying) {
        schedule.reset();
        return;
    }
    retrying = false;
    timer.stop();
    schedule.reset();
    ++reconnectCount;
    logLine(message);
}

void ReconnectDriver::switchAnswered()
{
    if (learnOnAnswer) {
        learnOnAnswer = false;
        finder = PortFinder::remember(requestedName, openedName, listPorts());
    }
    if (!answerTimer.isActive())
        return;
    answerTimer.stop();
    if (!retrying) {
        schedule.reset(); // the connect at start
        return;
    }
    retrying = false;
    timer.stop();
    schedule.reconnected(clock.elapsed());
    ++reconnectCount;
    logLine(openedMessage);
}

void ReconnectDriver::linkClosed()
{
    // Disconnect: the operator wants the port closed, so the tries stop. (A
    // loss closes the port too, just before it is reported; a try's port
    // lost before the switch answered is that try failing.)
    tryLostUnanswered = retrying && answerTimer.isActive();
    answerTimer.stop();
    learnOnAnswer = false;
    retrying = false;
    timer.stop();
}

bool ReconnectDriver::linkLost(const QString &portName)
{
    if (tryLostUnanswered) {
        tryLostUnanswered = false;
        retrying = true;
        schedule.unanswered();
        triedAgain(retryMessage);
        return true;
    }
    ++lossCount;
    startRetrying(tr("Connection to %1 lost; reconnecting…").arg(portName));
    return true;
}

void ReconnectDriver::connectAtStart(const QString &portName)
{
    session->useCustomPort(portName);
    const qint64 nowMs = clock.elapsed();
    ownOpen = true;
    const bool opened = session->open(session->settings());
    ownOpen = false;
    if (opened) {
        schedule.opened(session->settings().portName, nowMs);
        return;
    }
    startRetrying(tr("Cannot open %1: %2; retrying…").arg(portName, session->errorString()));
}

void ReconnectDriver::startRetrying(const QString &message)
{
    retrying = true;
    retryMessage = message;
    loggedThisOutage.clear();
    schedule.lost(clock.elapsed());
    session->say(retryMessage);
    logOnce(retryMessage);
    waitForNextTry();
}

void ReconnectDriver::tryNow()
{
    if (!retrying)
        return;
    ++tryCount;
    SerialSettings settings = session->settings();
    const bool requestedExists = pathExists(settings.portName);
    const QString name = finder.choose(settings.portName,
                                       finder.needsPortList(settings.portName, requestedExists)
                                           ? listPorts()
                                           : QList<SerialPortEntry>(),
                                       requestedExists);
    const qint64 nowMs = clock.elapsed();
    // A port that stayed silent on the last tries is left closed for a while.
    if (!name.isEmpty() && schedule.mayOpen(name, nowMs)) {
        settings.portName = name;
        ownOpen = true;
        const bool opened = session->open(settings);
        ownOpen = false;
        if (opened) {
            schedule.opened(name, nowMs);
            return;
        }
    }
    // Said again: a failed connect of the operator's own in the meantime
    // leaves "Open error" behind.
    triedAgain(retryMessage);
}

void ReconnectDriver::noAnswer()
{
    // Polls into a device that is not the switch, or a switch without
    // power, help no one: the port is closed and tried again later.
    learnOnAnswer = false;
    session->closeQuietly();
    schedule.unanswered();
    const QString message = tr("%1 opened but the TQX-5R did not answer; retrying…").arg(openedName);
    if (!retrying) {
        startRetrying(message);
        return;
    }
    retryMessage = message;
    logOnce(message);
    triedAgain(message);
}

void ReconnectDriver::triedAgain(const QString &message)
{
    session->say(message);
    schedule.tried(clock.elapsed());
    waitForNextTry();
}

void ReconnectDriver::waitForNextTry()
{
    timer.start(static_cast<int>(schedule.waitMs(clock.elapsed())));
}

void ReconnectDriver::logOnce(const QString &line)
{
    if (loggedThisOutage.contains(line))
        return;
    loggedThisOutage << line;
    logLine(line);
}
