#include "rig/LoggerListener.h"

#include <QNetworkDatagram>
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
        // A packet sent to one address reaches only one of the programs on
        // its port, and a transmit report lost to another program would let
        // band follow switch into a transmission: this computer's ports are
        // ours alone, so a clash shows at once. Broadcasts and multicast
        // reach every listener, so those ports are shared.
        const QAbstractSocket::BindMode mode = endpoint.isShared()
                                                   ? QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint
                                                   : QUdpSocket::DontShareAddress;
        const bool bound = socket->bind(endpoint.bindAddress(), endpoint.port, mode);
        if (!bound || (endpoint.isMulticast() && !socket->joinMulticastGroup(endpoint.address))) {
            failures << (endpoint.isShared() ? tr("Cannot listen for logger broadcasts on UDP %1: %2")
                                                         .arg(endpoint.toString(), socket->errorString())
                                             : tr("Cannot listen for logger packets on UDP %1: %2 (another program "
                                                  "on this computer takes them; share them through a multicast "
                                                  "group)").arg(endpoint.toString(), socket->errorString()));
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
    // A batch at a time: the socket notifies again for what is left, after
    // the window's other work. (Read only here: a read from elsewhere can
    // leave a notification that finds nothing, and Qt then stops notifying.)
    for (int read = 0; read < datagramsPerTurn && socket->hasPendingDatagrams(); ++read) {
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
