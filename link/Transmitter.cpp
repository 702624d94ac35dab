#include "link/Transmitter.h"

#include <QSerialPort>

QSerialPort *serialPort = nullptr;

namespace Transmitter {

namespace {

void writeTxBuffer(int length)
{
    if (serialPort && serialPort->isOpen())
        serialPort->write(reinterpret_cast<const char *>(txBuffer), length);
}

} // namespace

void sendFirmwareRequest()
{
    writeTxBuffer(Protocol::buildFirmwareRequest());
}

void sendPollRequest()
{
    writeTxBuffer(Protocol::buildPollRequest());
}

void sendCommand(CommandWord word)
{
    writeTxBuffer(Protocol::buildCommandFrame(word));
}

} // namespace Transmitter
