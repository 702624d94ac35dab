#include "rig/LoggerListener.h"

#include "rig/LoggerPackets.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

LoggerListener::LoggerListener(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<RigReading>();
}

QStringList LoggerListener::listen(const QList<quint16> &ports)
{
    QStringList failures;
    for (quint16 port : ports) {
        auto *socket = new QUdpSocket(this);
        if (!socket->bind(QHostAddress::AnyIPv4, port,
                          QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
            failures << tr("Cannot listen for logger broadcasts on UDP port %1: %2")
                            .arg(port)
                            .arg(socket->errorString());
            delete socket;
            continue;
        }
        connect(socket, &QUdpSocket::readyRead, this, [this, socket] { readPending(socket); });
        sockets << socket;
    }
    return failures;
}

QList<quint16> LoggerListener::ports() const
{
    QList<quint16> bound;
    for (const QUdpSocket *socket : sockets)
        bound << socket->localPort();
    return bound;
}

void LoggerListener::readPending(QUdpSocket *socket)
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        if (const std::optional<RigReading> parsed = LoggerPackets::parse(datagram.data()))
            emit reading(*parsed);
    }
}
