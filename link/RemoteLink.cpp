#include "link/RemoteLink.h"

#include <algorithm>
#include <cstring>

void RelayBuffer::deliver(const QByteArray &frame)
{
    if (!isOpen() || waiting.size() + frame.size() > maxWaitingBytes)
        return;
    waiting.append(frame);
    emit readyRead();
}

qint64 RelayBuffer::readData(char *data, qint64 maxSize)
{
    const int count = static_cast<int>(std::min<qint64>(maxSize, waiting.size()));
    std::memcpy(data, waiting.constData(), static_cast<size_t>(count));
    waiting.remove(0, count);
    return count;
}

RemoteLink::RemoteLink(QObject *parent)
    : SwitchLink(parent)
{
}

bool RemoteLink::open(const SerialSettings &)
{
    attach();
    return true;
}

void RemoteLink::attach()
{
    relay.clear();
    if (!relay.isOpen())
        relay.open(QIODevice::ReadOnly);
}

void RemoteLink::detach()
{
    relay.close();
    relay.clear();
}

void RemoteLink::deliver(const QByteArray &frame)
{
    relay.deliver(frame);
}

void RemoteLink::farEndLost()
{
    relay.clear();
    emit lost();
}
