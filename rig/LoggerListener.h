#pragma once

#include "rig/FloodWatch.h"
#include "rig/LoggerEndpoint.h"
#include "rig/LoggerPackets.h"
#include "rig/RigReading.h"
#include "rig/SenderFilter.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QTimer>
#include <QObject>
#include <QStringList>

class QUdpSocket;

// Listens for loggers' UDP packets on the given ports (joining a multicast
// group where one is named) and turns the packets it recognises into
// readings. A multicast group's port stays open to the other programs that
// join it, as multicast must; any other port is the panel's alone, since a
// packet sent to one address reaches one listener only and a program that
// bound the port beside the panel could take the transmit reports. Packets
// from senders the filter does not accept, and packets larger than any
// logger sends, are dropped unread; a flood is read a batch at a time, so
// the window keeps its turn, and is told (flooded()) since the kernel may
// have dropped packets of the real logger meanwhile.
class LoggerListener : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maxDatagramBytes = 8 * 1024;
    static constexpr int datagramsPerTurn = 32;
    // Refused senders told, at most; addresses of this computer looked up
    // again at most this often.
    static constexpr int maxRefusedSendersTold = 16;
    static constexpr qint64 localAddressesFreshMs = 5000;
    // Room in the kernel for a burst of packets while the window is busy.
    static constexpr int receiveBufferBytes = 1024 * 1024;

    explicit LoggerListener(QObject *parent = nullptr);

    // Packets only from these senders (all when empty); set before listen().
    void setSenderFilter(const SenderFilter &filter) { senders = filter; }
    // Follow this radio of a logger driving two (LoggerPackets::activeRadio:
    // whichever is active).
    void setRadio(int radio) { followedRadio = radio; }

    // Binds every endpoint it can; returns one message for each it cannot.
    QStringList listen(const QList<LoggerEndpoint> &endpoints);
    QList<quint16> ports() const;
    // The endpoints that could not be bound, as "[ADDR:]PORT".
    QStringList unbound() const { return notBound; }
    bool isFlooded() const { return floodedNow; }

    // Whether a packet has arrived that is not read yet, so a decision about
    // to be carried out can wait for it. (It is read on the socket's own
    // notification: reading it from elsewhere could leave that notification
    // to find nothing, and Qt would then stop notifying.)
    bool hasUnread() const;

signals:
    void reading(const RigReading &reading);
    // What had arrived on a port has been read, whether it gave a reading or not.
    void packetsRead();
    // A port began or ceased to hear far more than a logger sends.
    void flooded(bool flooded);
    // Packets from this sender are dropped, it not being allowed; once per
    // sender.
    void senderRefused(const QString &sender);

private:
    void readPending(QUdpSocket *socket);
    void checkFlood();
    bool accepts(const QHostAddress &sender);
    // Whether the address is one of this computer's (a logger here that
    // sends to a multicast group sends from its network address).
    bool fromThisComputer(const QHostAddress &sender);

    QList<QUdpSocket *> sockets;
    QList<LoggerEndpoint> boundEndpoints;   // beside sockets, one each
    QHash<QUdpSocket *, FloodWatch> floods;
    QElapsedTimer clock;
    QTimer calmTimer;
    bool floodedNow = false;
    QStringList notBound;
    QList<QHostAddress> localAddresses;
    QElapsedTimer localAddressesRead;
    QStringList refusedSenders;
    SenderFilter senders;
    int followedRadio = LoggerPackets::activeRadio;
};
