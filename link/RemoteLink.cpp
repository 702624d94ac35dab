#include "link/RemoteLink.h"

#include <algorithm>
#include <cstring>

void RemoteLink::attach()
{
    waiting.clear();
    if (!isOpen())
        open(QIODevice::ReadOnly);
}

void RemoteLink::detach()
{
    close();
    waiting.clear();
}

void RemoteLink::deliver(const QByteArray &frame)
{
    if (!isOpen() || waiting.size() + frame.size() > maxWaitingBytes)
        return;
    waiting.append(frame);
}

void RemoteLink::farEndLost()
{
    waiting.clear();
    emit lost();
}

qint64 RemoteLink::readData(char *data, qint64 maxSize)
{
    const int count = static_cast<int>(std::min<qint64>(maxSize, waiting.size()));
    std::memcpy(data, waiting.constData(), static_cast<size_t>(count));
    waiting.remove(0, count);
    return count;
}
