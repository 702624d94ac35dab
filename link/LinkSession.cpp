#include "link/LinkSession.h"

#include "link/LinkLossHandler.h"
#include "link/LinkPump.h"
#include "link/SwitchLink.h"

#include <QCoreApplication>

LinkSession::LinkSession(LinkPump &pump, QObject *parent)
    : QObject(parent)
    , pump(pump)
{
}

LinkSession::~LinkSession()
{
    const QObjectList owned = children();
    qDeleteAll(owned);
    lossHandler = nullptr;
}

void LinkSession::setSettingsSource(CurrentSettings current, UseCustomPort useCustomPort)
{
    currentSettings = std::move(current);
    customPort = std::move(useCustomPort);
}

SerialSettings LinkSession::settings() const
{
    return currentSettings ? currentSettings() : SerialSettings();
}

void LinkSession::useCustomPort(const QString &portName)
{
    if (customPort)
        customPort(portName);
}

bool LinkSession::open(const SerialSettings &p)
{
    SwitchLink *link = pump.link();
    if (!link->open(p))
        return false;
    nameOpened = link->name();
    pump.opened();
    // All six at once, so a "%" in a port name is shown as typed. A link
    // that tells how opening goes itself has said so already.
    const QString message =
        link->reportsItsOwnStatus()
            ? QString()
            : QCoreApplication::translate("MainWindow", "Connected to %1 : %2, %3, %4, %5, %6")
                  .arg(p.portName, p.baudRateText, p.dataBitsText, p.parityText, p.stopBitsText, p.flowControlText);
    emit opened(p, message);
    if (lossHandler)
        lossHandler->linkOpened(nameOpened, message);
    return true;
}

void LinkSession::close()
{
    closeQuietly();
    if (lossHandler)
        lossHandler->linkClosed();
}

void LinkSession::closeQuietly()
{
    pump.link()->close();
    pump.closed();
    emit closed();
}

bool LinkSession::isOpen() const
{
    return pump.link()->isOpen();
}

QString LinkSession::errorString() const
{
    return pump.link()->errorString();
}

void LinkSession::switchAnswered()
{
    if (lossHandler)
        lossHandler->switchAnswered();
}

bool LinkSession::deviceLost()
{
    return lossHandler && lossHandler->linkLost(nameOpened);
}
