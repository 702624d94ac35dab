#pragma once

#include "remote/BrokerClient.h"
#include "remote/BrokerOutage.h"
#include "remote/BrokerSettings.h"
#include "remote/CommandTurns.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QString>
#include <QTimer>

#include "panel/SwitchSnapshot.h"

class SwitchSeam;

// The panel that owns the switch, on the broker. It keeps BASE/online and
// BASE/state (retained) up to date, relays each frame from the switch on
// BASE/frames (the last firmware frame also retained on BASE/firmware), and
// turns commands on BASE/set into command words for the panel's queue,
// answering the ones it refuses on BASE/error. It meets the panel only
// through the seam.
class BrokerBridge : public QObject
{
    Q_OBJECT

public:
    // A clean exit waits this long at most for "offline" to reach the broker.
    static constexpr int shutdownFlushMs = 500;
    // A select word queued from the broker shows in a status frame well
    // within this; after it, the switch's own report counts again.
    static constexpr qint64 expectedPositionMs = 2000;

    BrokerBridge(SwitchSeam *seam, BrokerClient *client, const BrokerSettings &settings, QObject *parent = nullptr);

    void start();
    // Says "offline" and lets the client go.
    void shutdown();

public slots:
    // The band band follow reports; empty leaves it out of the state.
    void setBand(const QString &band);
    // Something the operator must hear at once, on BASE/error.
    void tellWarning(const QString &text);

signals:
    // For the status bar and stderr.
    void announce(const QString &text);
    // For stderr only.
    void note(const QString &text);

private:
    void brokerConnected();
    // The switch as it will be once the words queued from the broker have
    // been carried out.
    SwitchSnapshot switchAfterQueuedWords() const;
    void frameDispatched(const QByteArray &frame);
    void messageReceived(const QString &topic, const QByteArray &payload, bool retained);
    void publishState(bool evenIfUnchanged);
    void publishFirmware();
    void serveTurns();
    void refuseCommand(const QString &reason, const QByteArray &command, const QString &sender);
    QByteArray stateMessage(const SwitchSnapshot &snapshot) const;
    // The sender a command topic names: USER for BASE/set/USER, "" for
    // BASE/set; null for any other topic.
    QString senderOf(const QString &topic) const;

    SwitchSeam *seam;
    BrokerClient *client;
    BrokerSettings settings;
    QString band;
    QByteArray publishedState;
    QByteArray firmwareFrame;
    CommandTurns turns;
    QElapsedTimer clock;
    // Refusals written to stderr lately, by sender, so a flood writes a
    // line now and then rather than one per command.
    struct RefusalLog
    {
        qint64 writtenAtMs = -1;
        int unwritten = 0;
    };
    QHash<QString, RefusalLog> refusalLog;
    BrokerOutage *outage;
    QTimer *turnTimer;
    bool stateBehind = false;
    int expectedPosition = -1;
    qint64 expectedSinceMs = 0;
};
