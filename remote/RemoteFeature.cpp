#include "remote/RemoteFeature.h"

#include "panel/MainWindow.h"
#include "remote/BrokerBridge.h"
#include "remote/BrokerLink.h"
#include "remote/BrokerState.h"
#include "remote/DiscoveryPublisher.h"
#include "remote/MosquittoClient.h"

RemoteFeature::RemoteFeature(MainWindow &window, const BrokerSettings &settings, QObject *parent)
    : QObject(parent)
{
    if (settings.remotePanel()) {
        // The window keeps using its link until it goes, so it owns it.
        auto *client = new MosquittoClient(settings);
        brokerState = new BrokerState(client, settings, this);
        remoteLink = new BrokerLink(client, settings, &window);
        connect(remoteLink, &BrokerLink::note, this, &RemoteFeature::note);
        window.setLink(remoteLink);
        return;
    }
    auto *client = new MosquittoClient(settings, this);
    brokerState = new BrokerState(client, settings, this);
    ownerBridge = new BrokerBridge(window.seam(), client, settings, this);
    if (!settings.discoveryPrefixInUse().isEmpty())
        discoveryPublisher = new DiscoveryPublisher(window.seam(), client, settings, this);
    connect(ownerBridge, &BrokerBridge::announce, this, &RemoteFeature::announce);
    connect(ownerBridge, &BrokerBridge::note, this, &RemoteFeature::note);
    ownerBridge->start();
}

void RemoteFeature::setPassword(const QString &password)
{
    if (remoteLink)
        remoteLink->setPassword(password);
}

RemoteFeature::~RemoteFeature()
{
    if (ownerBridge)
        ownerBridge->shutdown();
}
