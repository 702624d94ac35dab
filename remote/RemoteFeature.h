#pragma once

#include "remote/BrokerSettings.h"

#include <QObject>

class BrokerBridge;
class BrokerLink;
class BrokerState;
class DiscoveryPublisher;
class MainWindow;

// The broker side of the program, as the options ask for it: the bridge for
// the panel that owns the switch, or the broker link that makes the window a
// remote panel. Create it after the window and destroy it before.
class RemoteFeature : public QObject
{
    Q_OBJECT

public:
    RemoteFeature(MainWindow &window, const BrokerSettings &settings, QObject *parent = nullptr);
    // The owner says "offline" on the broker first, waiting a bounded time.
    ~RemoteFeature() override;

    // The owner's bridge (band follow feeds it the band); null on a remote panel.
    BrokerBridge *bridge() const { return ownerBridge; }
    // Home Assistant discovery, when asked for; null otherwise.
    DiscoveryPublisher *discovery() const { return discoveryPublisher; }
    // How the broker stands, for the window to show.
    BrokerState *state() const { return brokerState; }
    // A remote panel's password, when it comes later than the panel starts.
    void setPassword(const QString &password);

signals:
    // For the status bar and stderr.
    void announce(const QString &text);
    // For stderr only.
    void note(const QString &text);

private:
    BrokerBridge *ownerBridge = nullptr;
    DiscoveryPublisher *discoveryPublisher = nullptr;
    BrokerLink *remoteLink = nullptr;
    BrokerState *brokerState = nullptr;
};
