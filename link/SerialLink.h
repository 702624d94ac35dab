#pragma once

#include "link/SwitchLink.h"

#include <QPointer>

class QSerialPort;
class QSocketNotifier;

// The switch on the program's own serial port. Opening applies the port
// name and line parameters; frames are built in the transmit buffer and
// written only while the port is open. Errors the port reports go to the
// window's own handler, not here.
//
// At 9600 baud the switch's bytes come a millisecond apart, and the port
// would wake the GUI thread for each. Where the port watches its line with
// a socket notifier, the link turns it off and brings bytes in only when
// the receive step asks; elsewhere the port announces them as before.
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
    bool announcesArrivals() const override;
    void beginReceive() override;
    void endReceive() override;

    void sendFirmwareRequest() override;
    void sendPollRequest() override;
    void sendCommand(CommandWord word) override;
    void pushOut() override;

private:
    QSerialPort *port;
    QString portName;
    // The port's own watch on its line while open, turned off; null where
    // the port has none to turn off.
    QPointer<QSocketNotifier> lineWatch;
};
