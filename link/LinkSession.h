#pragma once

#include "settings/SerialSettings.h"

#include <QObject>
#include <QString>

#include <functional>

class LinkLossHandler;
class LinkPump;
class SwitchLink;

// Opening and closing the way to the switch: for the window's own Connect
// and Disconnect, and for whoever takes over when the device goes away
// (a LinkLossHandler, such as unattended reconnect), which works through
// this and never through the window. Opening quietly shows no box; what is
// worth saying goes out as status(). GUI thread only.
class LinkSession : public QObject
{
    Q_OBJECT

public:
    using CurrentSettings = std::function<SerialSettings()>;
    using UseCustomPort = std::function<void(const QString &portName)>;

    explicit LinkSession(LinkPump &pump, QObject *parent = nullptr);
    // Its handler (a child, as a rule) goes first, while the session stands.
    ~LinkSession() override;

    // Where "Connect to TQX-5R" takes its port and line parameters from.
    void setSettingsSource(CurrentSettings current, UseCustomPort useCustomPort);
    SerialSettings settings() const;
    // Puts portName in the settings as a typed custom port.
    void useCustomPort(const QString &portName);

    // Opens with p; on success the firmware request goes and opened() is
    // emitted. False, with errorString(), when it cannot open.
    bool open(const SerialSettings &p);
    // Closes; the handler is told the operator closed it unless quietly.
    void close();
    void closeQuietly();

    bool isOpen() const;
    QString errorString() const;
    // The name the link opened under.
    QString openedName() const { return nameOpened; }

    // A status or firmware frame came.
    void switchAnswered();
    // The device went away and the link is closed: true when the handler
    // takes it from here (no box then).
    bool deviceLost();

    void setLossHandler(LinkLossHandler *handler) { lossHandler = handler; }
    LinkLossHandler *handler() const { return lossHandler; }

    // A line for the status bar.
    void say(const QString &text) { emit status(text); }

signals:
    // message: what the status bar says of the connection ("Connected to …").
    void opened(const SerialSettings &settings, const QString &message);
    void closed();
    void status(const QString &text);

private:
    LinkPump &pump;
    CurrentSettings currentSettings;
    UseCustomPort customPort;
    LinkLossHandler *lossHandler = nullptr;
    QString nameOpened;
};
