#include "remote/RemoteFeature.h"

#include "panel/MainWindow.h"
#include "remote/BrokerBridge.h"
#include "remote/BrokerLink.h"
#include "remote/MosquittoClient.h"

RemoteFeature::RemoteFeature(MainWindow &window, const BrokerSettings &settings, QObject *parent)
    : QObject(parent)
{
    if (settings.remotePanel) {
        // The window keeps using its link until it goes, so it owns it.
        auto *link = new BrokerLink(new MosquittoClient(settings), settings, &window);
        connect(link, &BrokerLink::note, this, &RemoteFeature::note);
        window.setLink(link);
        return;
    }
    ownerBridge = new BrokerBridge(window.seam(), new MosquittoClient(settings, this), settings, this);
    connect(ownerBridge, &BrokerBridge::announce, this, &RemoteFeature::announce);
    connect(ownerBridge, &BrokerBridge::note, this, &RemoteFeature::note);
    ownerBridge->start();
}

RemoteFeature::~RemoteFeature()
{
    if (ownerBridge)
        ownerBridge->shutdown();
}
