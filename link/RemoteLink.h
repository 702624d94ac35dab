#pragma once

#include "link/Protocol.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

// The switch reached through something other than the serial port: another
// panel owns the port and relays what the switch sends. The receive step
// reads the relayed frames from this device exactly as it reads the port;
// command words leave through sendCommand(). No polls go out: the panel that
// owns the switch polls it.
class RemoteLink : public QIODevice
{
    Q_OBJECT

public:
    // Relayed frames waiting for the receive step; more is dropped.
    static constexpr int maxWaitingBytes = 4096;

    using QIODevice::QIODevice;

    // What the status bar and the panel's snapshot call this link.
    virtual QString name() const = 0;
    // "Connect to TQX-5R": opens the device and starts relaying.
    virtual void attach();
    // "Disconnect".
    virtual void detach();
    // One word off the panel's queue, while attached.
    virtual void sendCommand(CommandWord word) = 0;
    // Whether a word sent now would leave for the switch: attached, and the
    // way to the far end standing.
    virtual bool canSend() const { return isOpen(); }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return waiting.size() + QIODevice::bytesAvailable(); }

signals:
    // A message for the status bar.
    void status(const QString &message);
    // The way to the far end stands (again): frames should follow.
    void ready();
    // The way to the far end fell: nothing this link shows is current now.
    void lost();
    // Key captions from the far end, eight of them.
    void captionsReceived(const QStringList &captions);

protected:
    // Hands one whole frame to the receive step.
    void deliver(const QByteArray &frame);
    // The way to the far end fell: frames still waiting are out of date.
    void farEndLost();

    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray waiting;
};
