#include "remote/BrokerSettings.h"

QString BrokerSettings::address() const
{
    const QString shownHost = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(shownHost).arg(port);
}

QString BrokerSettings::topicFor(const char *leaf) const
{
    return topic + QLatin1Char('/') + QLatin1String(leaf);
}
