#pragma once

#include "rig/LoggerEndpoint.h"
#include "rig/RigReading.h"

#include <QList>
#include <QObject>
#include <QStringList>

class QUdpSocket;

// Listens for loggers' UDP packets on the given ports (joining a multicast
// group where one is named) and turns the packets it recognises into
// readings. The ports stay open to other programs: broadcast and multicast
// packets reach every listener, so a logger's other listeners keep working
// beside the panel. Packets larger than any logger sends are dropped unread,
// and a flood is read a batch at a time, so the window keeps its turn.
class LoggerListener : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maxDatagramBytes = 8 * 1024;
    static constexpr int datagramsPerTurn = 32;

    explicit LoggerListener(QObject *parent = nullptr);

    // Binds every endpoint it can; returns one message for each it cannot.
    QStringList listen(const QList<LoggerEndpoint> &endpoints);
    QList<quint16> ports() const;

signals:
    void reading(const RigReading &reading);

private:
    void readPending(QUdpSocket *socket);

    QList<QUdpSocket *> sockets;
};
