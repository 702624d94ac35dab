#include "rig/LoggerListener.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>

#include <algorithm>

LoggerListener::LoggerListener(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<RigReading>();
    clock.start();
    calmTimer.setSingleShot(true);
    connect(&calmTimer, &QTimer::timeout, this, &LoggerListener::checkFlood);
}

QStringList LoggerListener::listen(const QList<LoggerEndpoint> &endpoints)
{
    QStringList failures;
    for (const LoggerEndpoint &endpoint : endpoints) {
        // Two of the panel's own ports on one number: the same port named
        // twice, or a group to hear on a port every interface already has.
        bool handled = false;
        for (int i = 0; i < boundEndpoints.size() && !handled; ++i) {
            const LoggerEndpoint &other = boundEndpoints.at(i);
            if (other.port != endpoint.port)
                continue;
            handled = true;
            const QHostAddress mine = endpoint.bindAddress();
            const QHostAddress theirs = other.bindAddress();
            if (mine == theirs && (endpoint.isMulticast() ? endpoint.address == other.address : !other.isMulticast()))
                break;  // named twice
            const bool everyInterface = theirs == QHostAddress(QHostAddress::AnyIPv4) && !other.isMulticast();
            if (endpoint.isMulticast() && (everyInterface || other.isMulticast())
                && sockets.at(i)->joinMulticastGroup(endpoint.address))
                break;  // the group's packets come on that port too
            failures << tr("Cannot listen for logger packets on UDP %1: it clashes with UDP %2, given too")
                            .arg(endpoint.toString(), other.toString());
            notBound << endpoint.toString();
        }
        if (handled)
            continue;
        auto *socket = new QUdpSocket(this);
        // A packet sent to one address reaches only one of the programs on
        // its port, and a transmit report lost to another program would let
        // band follow switch into a transmission: such a port, on one
        // interface or on all of them, is ours alone, and neither a clash
        // nor a program binding it later goes unnoticed. Multicast reaches
        // every member of its group, so a group's port is shared.
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
            notBound << endpoint.toString();
            delete socket;
            continue;
        }
        socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, receiveBufferBytes);
        connect(socket, &QUdpSocket::readyRead, this, [this, socket] { readPending(socket); });
        sockets << socket;
        boundEndpoints << endpoint;
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
    FloodWatch &flood = floods[socket];
    for (int read = 0; read < datagramsPerTurn && socket->hasPendingDatagrams(); ++read) {
        // Every datagram counts, a stranger's too: a flood from anyone can
        // push the logger's own packets out of the kernel's buffer.
        if (flood.packet(clock.elapsed()))
            checkFlood();
        if (socket->pendingDatagramSize() > maxDatagramBytes) {
            socket->readDatagram(nullptr, 0);
            continue;
        }
        const QNetworkDatagram datagram = socket->receiveDatagram(maxDatagramBytes);
        if (!accepts(datagram.senderAddress()))
            continue;
        if (const std::optional<RigReading> parsed = LoggerPackets::parse(datagram.data(), followedRadio))
            emit reading(*parsed);
    }
    emit packetsRead();
}

bool LoggerListener::accepts(const QHostAddress &sender)
{
    if (senders.accepts(sender))
        return true;
    // Allowing this computer allows it by every address it has.
    if (senders.accepts(QHostAddress(QHostAddress::LocalHost)) && fromThisComputer(sender))
        return true;
    const QString name = sender.toString();
    if (refusedSenders.size() < maxRefusedSendersTold && !refusedSenders.contains(name)) {
        refusedSenders << name;
        emit senderRefused(name);
    }
    return false;
}

bool LoggerListener::fromThisComputer(const QHostAddress &sender)
{
    bool isIpv4 = false;
    const QHostAddress address(sender.toIPv4Address(&isIpv4));
    if (!isIpv4)
        return false;
    if (localAddresses.contains(address))
        return true;
    // An address may have come since (DHCP, a link up): looked up again,
    // but not for every packet of a stranger.
    if (localAddressesRead.isValid() && localAddressesRead.elapsed() < localAddressesFreshMs)
        return false;
    localAddressesRead.start();
    localAddresses = QNetworkInterface::allAddresses();
    return localAddresses.contains(address);
}

void LoggerListener::checkFlood()
{
    bool any = false;
    std::optional<qint64> nextCheck;
    for (FloodWatch &flood : floods) {
        flood.calmed(clock.elapsed());
        any = any || flood.isFlooded();
        if (const std::optional<qint64> at = flood.nextCheckMs())
            nextCheck = nextCheck ? std::min(*nextCheck, *at) : *at;
    }
    if (nextCheck)
        calmTimer.start(static_cast<int>(std::max<qint64>(0, *nextCheck - clock.elapsed())));
    else
        calmTimer.stop();
    if (any != floodedNow) {
        floodedNow = any;
        emit flooded(any);
    }
}
