#pragma once

#include "remote/BrokerClient.h"
#include "remote/BrokerSettings.h"

#include <QObject>

// Tells of a broker that cannot be reached or was lost once per outage: the
// client keeps trying on its own, and each failed try would say it again.
class BrokerOutage : public QObject
{
    Q_OBJECT

public:
    BrokerOutage(BrokerClient *client, const BrokerSettings &settings, QObject *parent = nullptr);

    // Whether the outage that ends now was told.
    bool wasTold() const { return told; }
    // The next failure is a new outage.
    void reset() { told = false; }

signals:
    void lost(const QString &text);

private:
    void tell(const QString &text);

    bool told = false;
};
