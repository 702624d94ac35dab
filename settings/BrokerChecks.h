#pragma once

#include "settings/StationSettings.h"

#include <QString>

// Whether the broker settings can be used, field by field, with the rules the
// command line uses for the same values. Nothing is checked while the broker
// is off: the values are only kept.
namespace BrokerChecks {

struct Problems
{
    QString host;
    QString port;
    QString topic;
    QString password;
    QString caFile;
    QString discoveryPrefix;

    bool any() const;
};

// A host name, an IPv4 address or an IPv6 address (brackets allowed); the
// port has its own field.
QString checkHost(const QString &host);
// Empty: the usual port (0); else 1 to 65535.
QString checkPort(const QString &text, int *port = nullptr);
QString checkTopic(const QString &topic);
QString checkCaFile(const QString &path);
QString checkDiscoveryPrefix(const QString &prefix);

// The host as stored: blanks and the brackets of an IPv6 address removed.
QString plainHost(const QString &host);

Problems check(const BrokerSettings &settings, const QString &password);

} // namespace BrokerChecks
