#include "link/SerialLink.h"

#include "link/FrameReceiver.h"
#include "link/Transmitter.h"

#include <QDir>
#include <QFileInfo>
#include <QSerialPort>
#include <QSocketNotifier>

namespace {

// The device a name stands for. Other programs look for a port's lock file
// under the device's own name (LCK..ttyUSB0), while the port locks the name
// it is opened by: a /dev/serial/by-id/ link is opened as the device it
// points to. Names that are no link (COM3, ttyUSB0, /dev/ttyS0) stay as
// they are.
QString deviceName(const QString &portName)
{
    if (!QDir::isAbsolutePath(portName))
        return portName;
    const QFileInfo info(portName);
    if (!info.isSymLink())
        return portName;
    const QString target = info.canonicalFilePath();
    return target.isEmpty() ? portName : target;
}

} // namespace

SerialLink::SerialLink(QSerialPort *port, QObject *parent)
    : SwitchLink(parent)
    , port(port)
{
    // The receive step drains far faster than any serial line fills, but a
    // runaway sender must not grow the port's own buffer without end.
    port->setReadBufferSize(FrameReceiver::portBufferBytes);
}

bool SerialLink::open(const SerialSettings &p)
{
    port->setPortName(deviceName(p.portName));
    port->setBaudRate(p.baudRate, QSerialPort::AllDirections);
    port->setDataBits(p.dataBits);
    port->setParity(p.parity);
    port->setStopBits(p.stopBits);
    port->setFlowControl(p.flowControl);
    if (!port->open(QIODevice::ReadWrite))
        return false;
    // Shown and reported by the name the user gave.
    portName = p.portName;
    lineWatch.clear();
    for (QSocketNotifier *notifier : port->findChildren<QSocketNotifier *>()) {
        if (notifier->type() == QSocketNotifier::Read)
            lineWatch = notifier;
    }
    endReceive();
    return true;
}

void SerialLink::close()
{
    if (port->isOpen())
        port->close();
}

bool SerialLink::isOpen() const
{
    return port->isOpen();
}

QString SerialLink::errorString() const
{
    return port->errorString();
}

QIODevice *SerialLink::device()
{
    return port;
}

bool SerialLink::announcesArrivals() const
{
    return !lineWatch;
}

void SerialLink::beginReceive()
{
    // Reads what the line holds, if anything, without waiting; a device
    // that has gone is reported to the window's error handler from here.
    if (lineWatch && port->isOpen())
        port->waitForReadyRead(0);
}

void SerialLink::endReceive()
{
    // Reading from the port turns its watch back on.
    if (lineWatch)
        lineWatch->setEnabled(false);
}


void SerialLink::sendFirmwareRequest()
{
    Transmitter::sendFirmwareRequest();
}

void SerialLink::sendPollRequest()
{
    Transmitter::sendPollRequest();
}

void SerialLink::sendCommand(CommandWord word)
{
    Transmitter::sendCommand(word);
}

void SerialLink::pushOut()
{
    // Qt keeps a write until the event loop runs again; a frame read then
    // could no longer stop it.
    if (port->isOpen())
        port->flush();
}
