#pragma once

#include "link/SwitchLink.h"

#include <QByteArray>
#include <QIODevice>

// What a remote link has received for the receive step: whole frames, read
// like the bytes of a port. More than maxWaitingBytes waiting is dropped.
class RelayBuffer : public QIODevice
{
    Q_OBJECT

public:
    static constexpr int maxWaitingBytes = 4096;

    using QIODevice::QIODevice;

    void deliver(const QByteArray &frame);
    void clear() { waiting.clear(); }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return waiting.size() + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray waiting;
};

// The switch reached through something other than the serial port: another
// panel owns the port and relays what the switch sends. The receive step
// reads the relayed frames exactly as it reads the port; command words leave
// through sendCommand(). No polls go out and no firmware request: the panel
// that owns the switch does that.
class RemoteLink : public SwitchLink
{
    Q_OBJECT

public:
    static constexpr int maxWaitingBytes = RelayBuffer::maxWaitingBytes;

    explicit RemoteLink(QObject *parent = nullptr);

    // Attaching never fails at once; the link says how it goes.
    bool open(const SerialSettings &) override;
    void close() override { detach(); }
    bool isOpen() const override { return relay.isOpen(); }
    QString errorString() const override { return QString(); }
    QIODevice *device() override { return &relay; }
    bool reportsItsOwnStatus() const override { return true; }
    void sendFirmwareRequest() override {}
    void sendPollRequest() override {}

    // "Connect to TQX-5R": starts relaying.
    virtual void attach();
    // "Disconnect".
    virtual void detach();

protected:
    // Hands one whole frame to the receive step.
    void deliver(const QByteArray &frame);
    // The way to the far end fell: frames still waiting are out of date.
    void farEndLost();

private:
    RelayBuffer relay;
};
