#pragma once

#include "link/Protocol.h"
#include "settings/SerialSettings.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QIODevice;

// How the panel reaches the switch: its own serial port, or another panel
// that owns the port and relays the switch through a broker. The receive
// step reads device(); the panel's frames leave through the send functions,
// each only while the link can carry it (a frame that cannot go is lost, as
// on a closed port).
class SwitchLink : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // "Connect to TQX-5R" with the serial settings of that moment (a link
    // that is no serial port ignores them); false, with errorString(), when
    // it cannot open.
    virtual bool open(const SerialSettings &settings) = 0;
    // "Disconnect".
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Open, and the way to the switch standing: a word written now leaves.
    virtual bool canSend() const { return isOpen(); }
    virtual QString errorString() const = 0;
    // What the status bar and the panel's snapshot call the open link.
    virtual QString name() const = 0;
    // What the receive step reads.
    virtual QIODevice *device() = 0;
    // Whether device() signals readyRead as bytes come. One that does not
    // is read only when the receive step asks, which it does while an
    // answer is awaited.
    virtual bool announcesArrivals() const { return true; }
    // Around each receive step: bring in what has arrived; afterwards keep
    // further arrivals from waking the program.
    virtual void beginReceive() {}
    virtual void endReceive() {}
    // True when the link tells in the status bar how opening goes itself;
    // a serial port leaves that to the panel's own texts.
    virtual bool reportsItsOwnStatus() const { return false; }

    virtual void sendFirmwareRequest() = 0;
    virtual void sendPollRequest() = 0;
    virtual void sendCommand(CommandWord word) = 0;
    // Hands what has been written to the device now rather than when the
    // event loop next runs, for a word that must leave as decided.
    virtual void pushOut() {}

signals:
    // A message for the status bar.
    void status(const QString &message);
    // The way to the far end stands (again): frames should follow.
    void ready();
    // The way to the far end fell: nothing this link shows is current now.
    void lost();
    // Key captions from the far end, eight of them.
    void captionsReceived(const QStringList &captions);
};
