#include "rig/LoggerListener.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>

LoggerListener::LoggerListener(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<RigReading>();
}

QStringList LoggerListener::listen(const QList<LoggerEndpoint> &endpoints)
{
    QStringList failures;
    for (const LoggerEndpoint &endpoint : endpoints) {
        auto *socket = new QUdpSocket(this);
        const bool bound = socket->bind(endpoint.bindAddress(), endpoint.port,
                                        QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
        if (!bound || (endpoint.isMulticast() && !socket->joinMulticastGroup(endpoint.address))) {
            failures << tr("Cannot listen for logger broadcasts on UDP %1: %2")
                            .arg(endpoint.toString(), socket->errorString());
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

bool LoggerListener::hasUnread() const
{
    return std::any_of(sockets.begin(), sockets.end(),
                       [](QUdpSocket *socket) { return socket->hasPendingDatagrams(); });
}

void LoggerListener::readPending(QUdpSocket *socket)
{
    for (int read = 0; socket->hasPendingDatagrams(); ++read) {
        if (read == datagramsPerTurn) {
            // The rest after the window's other work; readyRead does not
            // come again for datagrams already waiting.
            QTimer::singleShot(0, socket, [this, socket] { readPending(socket); });
            return;
        }
        if (socket->pendingDatagramSize() > maxDatagramBytes) {
            socket->readDatagram(nullptr, 0);
            continue;
        }
        const QNetworkDatagram datagram = socket->receiveDatagram(maxDatagramBytes);
        if (!senders.accepts(datagram.senderAddress()))
            continue;
        if (const std::optional<RigReading> parsed = LoggerPackets::parse(datagram.data(), followedRadio))
            emit reading(*parsed);
    }
    emit packetsRead();
}
