#include "link/SerialLink.h"

#include "link/FrameReceiver.h"
#include "link/Transmitter.h"

#include <QSerialPort>

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
    port->setPortName(p.portName);
    port->setBaudRate(p.baudRate, QSerialPort::AllDirections);
    port->setDataBits(p.dataBits);
    port->setParity(p.parity);
    port->setStopBits(p.stopBits);
    port->setFlowControl(p.flowControl);
    if (!port->open(QIODevice::ReadWrite))
        return false;
    portName = p.portName;
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
