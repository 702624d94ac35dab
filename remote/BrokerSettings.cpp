#include "remote/BrokerSettings.h"

QString BrokerSettings::address() const
{
    const QString shownHost = host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(host) : host;
    return QStringLiteral("%1:%2").arg(shownHost).arg(effectivePort());
}

int BrokerSettings::effectivePort() const
{
    if (port != 0)
        return port;
    return usesTls() ? tlsPort : plainPort;
}

QString BrokerSettings::discoveryPrefixInUse() const
{
    return mode == Mode::Publish && discovery ? discoveryPrefix : QString();
}

bool BrokerSettings::operator==(const BrokerSettings &other) const
{
    return mode == other.mode && host == other.host && port == other.port && topic == other.topic
           && user == other.user && caFile == other.caFile && discovery == other.discovery
           && discoveryPrefix == other.discoveryPrefix;
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
