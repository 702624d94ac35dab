#pragma once

#include "link/SwitchLink.h"

class QSerialPort;

// The switch on the program's own serial port. Opening applies the port
// name and line parameters; frames are built in the transmit buffer and
// written only while the port is open. Errors the port reports go to the
// window's own handler, not here.
class SerialLink : public SwitchLink
{
    Q_OBJECT

public:
    explicit SerialLink(QSerialPort *port, QObject *parent = nullptr);

    bool open(const SerialSettings &settings) override;
    void close() override;
    bool isOpen() const override;
    QString errorString() const override;
    QString name() const override { return portName; }
    QIODevice *device() override;

    void sendFirmwareRequest() override;
    void sendPollRequest() override;
    void sendCommand(CommandWord word) override;

private:
    QSerialPort *port;
    QString portName;
};
