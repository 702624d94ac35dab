#include "remote/BrokerOutage.h"

BrokerOutage::BrokerOutage(BrokerClient *client, const BrokerSettings &settings, QObject *parent)
    : QObject(parent)
{
    const QString address = settings.address();
    connect(client, &BrokerClient::disconnected, this, [this, address](const QString &reason) {
        tell(tr("Lost the broker %1: %2; reconnecting").arg(address, reason));
    });
    connect(client, &BrokerClient::connectFailed, this, [this, address](const QString &reason) {
        tell(tr("Cannot reach the broker %1: %2; trying again").arg(address, reason));
    });
}

void BrokerOutage::tell(const QString &text)
{
    if (told)
        return;
    told = true;
    emit lost(text);
}
