#pragma once

#include "rig/RigReading.h"

#include <QList>
#include <QObject>
#include <QStringList>

class QUdpSocket;

// Listens for loggers' UDP broadcasts on the given ports and turns the packets
// it recognises into readings. The ports stay open to other programs, so a
// logger's other listeners keep working beside the panel.
class LoggerListener : public QObject
{
    Q_OBJECT

public:
    explicit LoggerListener(QObject *parent = nullptr);

    // Binds every port it can; returns one message for each it cannot.
    QStringList listen(const QList<quint16> &ports);
    QList<quint16> ports() const;

signals:
    void reading(const RigReading &reading);

private:
    void readPending(QUdpSocket *socket);

    QList<QUdpSocket *> sockets;
};
