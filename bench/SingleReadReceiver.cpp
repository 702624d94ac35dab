#include "bench/SingleReadReceiver.h"

#include "link/Protocol.h"

#include <QIODevice>

void SingleReadReceiver::receive(QIODevice *port, const std::function<void()> &dispatch)
{
    if (!port || !port->isOpen() || port->bytesAvailable() <= 0)
        return;
    const qint64 got = port->read(reinterpret_cast<char *>(rxBuffer), rxBufferSize);
    if (got < 3)
        return;
    rxCount = static_cast<qint8>(got);
    if (rxBuffer[got - 1] != Protocol::terminator || rxBuffer[0] != Protocol::headerFirst
        || rxBuffer[1] != Protocol::headerSecond
        || (rxBuffer[2] != Protocol::statusType && rxBuffer[2] != Protocol::firmwareType))
        return;
    ++dispatched;
    dispatch();
}
