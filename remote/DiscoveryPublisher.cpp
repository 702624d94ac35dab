#include "remote/DiscoveryPublisher.h"

#include "panel/SwitchSeam.h"
#include "remote/BrokerClient.h"

namespace {

const QByteArray homeAssistantOnline = QByteArrayLiteral("online");

QStringList captionsOf(const SwitchSnapshot &s)
{
    return QStringList(s.captions.begin(), s.captions.end());
}

} // namespace

DiscoveryPublisher::DiscoveryPublisher(SwitchSeam *seam, BrokerClient *client, const BrokerSettings &settings,
                                       QObject *parent)
    : QObject(parent)
    , seam(seam)
    , client(client)
    , settings(settings)
{
    client->subscribe(settings.discoveryPrefix + QStringLiteral("/status"));
    connect(client, &BrokerClient::connected, this, [this] {
        onConnection = true;
        publish();
    });
    connect(client, &BrokerClient::disconnected, this, [this] { onConnection = false; });
    connect(client, &BrokerClient::messageReceived, this,
            [this](const QString &topic, const QByteArray &payload, bool) { messageReceived(topic, payload); });
    connect(seam, &SwitchSeam::stateChanged, this, [this](const SwitchSnapshot &snapshot) {
        // Before the connection is announced, its own publishing is still to come.
        if (onConnection && (!allPublished || captionsOf(snapshot) != publishedCaptions))
            publish();
    });
}

void DiscoveryPublisher::setBandFollow(bool running)
{
    if (running == bandFollow)
        return;
    bandFollow = running;
    publish();
}

DiscoveryConfig::Inputs DiscoveryPublisher::inputs() const
{
    DiscoveryConfig::Inputs in;
    in.prefix = settings.discoveryPrefix;
    in.baseTopic = settings.topic;
    in.captions = captionsOf(seam->snapshot());
    in.bandFollow = bandFollow;
    return in;
}

void DiscoveryPublisher::publish()
{
    if (!client->isConnected())
        return;
    const DiscoveryConfig::Inputs in = inputs();
    bool allTaken = true;
    for (const DiscoveryConfig::Config &config : DiscoveryConfig::build(in))
        allTaken = client->publish(config.topic, config.payload, true, BrokerClient::Delivery::Acknowledged) && allTaken;
    // A config the client could not take goes out with the next change.
    allPublished = allTaken;
    publishedCaptions = in.captions;
}

void DiscoveryPublisher::messageReceived(const QString &topic, const QByteArray &payload)
{
    // Home Assistant (re)started: it has forgotten the entities unless the
    // broker kept their configs, so they are sent again.
    if (topic == settings.discoveryPrefix + QStringLiteral("/status") && payload.trimmed() == homeAssistantOnline)
        publish();
}
