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

QString BrokerSettings::commandTopic() const
{
    const QString shared = topicFor(BrokerTopics::set);
    const bool nameable = !user.isEmpty() && !user.contains(QLatin1Char('/')) && !user.contains(QLatin1Char('+'))
                          && !user.contains(QLatin1Char('#')) && !user.contains(QChar::Null);
    return nameable ? shared + QLatin1Char('/') + user : shared;
}
