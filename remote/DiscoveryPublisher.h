#pragma once

#include "remote/BrokerSettings.h"
#include "remote/DiscoveryConfig.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class BrokerClient;
class SwitchSeam;

// Keeps Home Assistant's discovery configs for the switch retained under the
// discovery prefix: published on every connection to the broker, again when
// Home Assistant announces itself on <prefix>/status, and when the key
// captions change. They stay when the panel exits;
// the entities then go unavailable through BASE/online. Create it before the
// client starts, so its subscription is part of every connection.
class DiscoveryPublisher : public QObject
{
    Q_OBJECT

public:
    DiscoveryPublisher(SwitchSeam *seam, BrokerClient *client, const BrokerSettings &settings,
                       QObject *parent = nullptr);

    // Whether band follow runs, and so whether there is a band to show.
    void setBandFollow(bool running);

private:
    DiscoveryConfig::Inputs inputs() const;
    void publish();
    void messageReceived(const QString &topic, const QByteArray &payload);

    SwitchSeam *seam;
    BrokerClient *client;
    BrokerSettings settings;
    bool bandFollow = false;
    bool onConnection = false;
    bool allPublished = false;
    // The captions the published configs were made from.
    QStringList publishedCaptions;
};
