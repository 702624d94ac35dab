#include "reconnect/ReconnectDriver.h"

#include "link/Transmitter.h"
#include "panel/MainWindow.h"

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

ReconnectDriver::ReconnectDriver(MainWindow *window, const ReconnectTiming &timing)
    : QObject(window)
    , window(window)
    , schedule(timing)
    , listPorts(systemPorts)
    , pathExists([](const QString &path) { return QFileInfo::exists(path); })
    , logLine(logToStderr)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &ReconnectDriver::tryNow);
    clock.start();
    window->setLinkLossHandler(this);
}

ReconnectDriver::~ReconnectDriver() = default;

void ReconnectDriver::linkOpened(const QString &portName, const QString &message)
{
    finder = PortFinder::remember(window->serialSettings().portName, portName, listPorts());
    if (!retrying) {
        schedule.reset();
        return;
    }
    retrying = false;
    timer.stop();
    if (ownTry)
        schedule.reconnected(clock.elapsed());
    else
        schedule.reset();
    ++reconnectCount;
    logLine(message);
}

void ReconnectDriver::linkClosed()
{
    // Disconnect: the operator wants the port closed, so the tries stop. (A
    // loss closes the port too, just before it is reported.)
    retrying = false;
    timer.stop();
}

bool ReconnectDriver::linkLost(const QString &portName)
{
    ++lossCount;
    startRetrying(tr("Connection to %1 lost; reconnecting…").arg(portName));
    return true;
}

void ReconnectDriver::connectAtStart(const QString &portName)
{
    window->useCustomPort(portName);
    if (window->openSerialPortQuietly(window->serialSettings()))
        return;
    startRetrying(tr("Cannot open %1: %2; retrying…").arg(portName, serialPort->errorString()));
}

void ReconnectDriver::startRetrying(const QString &message)
{
    retrying = true;
    retryMessage = message;
    schedule.lost(clock.elapsed());
    window->showStatus(retryMessage);
    logLine(retryMessage);
    waitForNextTry();
}

void ReconnectDriver::tryNow()
{
    if (!retrying)
        return;
    ++tryCount;
    SerialSettings settings = window->serialSettings();
    const QString name = finder.choose(settings.portName, listPorts(), pathExists(settings.portName));
    if (!name.isEmpty()) {
        settings.portName = name;
        ownTry = true;
        const bool opened = window->openSerialPortQuietly(settings);
        ownTry = false;
        if (opened)
            return;
    }
    // Said again: a failed connect of the operator's own in the meantime
    // leaves "Open error" behind.
    window->showStatus(retryMessage);
    schedule.tried(clock.elapsed());
    waitForNextTry();
}

void ReconnectDriver::waitForNextTry()
{
    timer.start(static_cast<int>(schedule.waitMs(clock.elapsed())));
}
