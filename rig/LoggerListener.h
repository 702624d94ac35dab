#pragma once

#include "rig/LoggerEndpoint.h"
#include "rig/LoggerPackets.h"
#include "rig/RigReading.h"
#include "rig/SenderFilter.h"

#include <QList>
#include <QObject>
#include <QStringList>

class QUdpSocket;

// Listens for loggers' UDP packets on the given ports (joining a multicast
// group where one is named) and turns the packets it recognises into
// readings. Ports on every interface or a multicast group stay open to other
// programs (broadcast and multicast packets reach every listener); a port of
// this computer alone is the panel's, since a packet sent to one address
// reaches one listener only. Packets from senders the filter does not accept, and
// packets larger than any logger sends, are dropped unread; a flood is read a
// batch at a time, so the window keeps its turn.
class LoggerListener : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maxDatagramBytes = 8 * 1024;
    static constexpr int datagramsPerTurn = 32;

    explicit LoggerListener(QObject *parent = nullptr);

    // Packets only from these senders (all when empty); set before listen().
    void setSenderFilter(const SenderFilter &filter) { senders = filter; }
    // Follow this radio of a logger driving two (LoggerPackets::activeRadio:
    // whichever is active).
    void setRadio(int radio) { followedRadio = radio; }

    // Binds every endpoint it can; returns one message for each it cannot.
    QStringList listen(const QList<LoggerEndpoint> &endpoints);
    QList<quint16> ports() const;

    // Whether a packet has arrived that is not read yet, so a decision about
    // to be carried out can wait for it. (It is read on the socket's own
    // notification: reading it from elsewhere could leave that notification
    // to find nothing, and Qt would then stop notifying.)
    bool hasUnread() const;

signals:
    void reading(const RigReading &reading);
    // What had arrived on a port has been read, whether it gave a reading or not.
    void packetsRead();

private:
    void readPending(QUdpSocket *socket);

    QList<QUdpSocket *> sockets;
    SenderFilter senders;
    int followedRadio = LoggerPackets::activeRadio;
};
