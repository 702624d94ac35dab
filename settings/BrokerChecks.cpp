#include "settings/BrokerChecks.h"

#include "remote/RemoteOptions.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHostAddress>

namespace {

constexpr int highestPort = 65535;

QString tr(const char *text)
{
    return QCoreApplication::translate("BrokerChecks", text);
}

} // namespace

namespace BrokerChecks {

bool Problems::any() const
{
    return !host.isEmpty() || !port.isEmpty() || !topic.isEmpty() || !password.isEmpty() || !caFile.isEmpty()
           || !discoveryPrefix.isEmpty();
}

QString plainHost(const QString &host)
{
    QString plain = host.trimmed();
    if (plain.startsWith(QLatin1Char('[')) && plain.endsWith(QLatin1Char(']')))
        plain = plain.mid(1, plain.size() - 2);
    return plain;
}

QString checkHost(const QString &host)
{
    const QString plain = plainHost(host);
    if (plain.isEmpty())
        return tr("Give the broker's host name or address.");
    if (plain.contains(QLatin1Char(':'))) {
        // Only an IPv6 address has colons; "broker:1884" is a port typed here.
        if (QHostAddress(plain).protocol() != QAbstractSocket::IPv6Protocol)
            return tr("'%1' is not a host name or address; the port goes in its own field.").arg(plain);
        return QString();
    }
    QString parsedHost;
    int parsedPort = 0;
    if (!RemoteOptions::parseAddress(plain, 1, &parsedHost, &parsedPort) || parsedHost != plain)
        return tr("'%1' is not a host name or address.").arg(plain);
    return QString();
}

QString checkPort(const QString &text, int *port)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        if (port)
            *port = 0;
        return QString();
    }
    // The command line's rule, on a made-up host.
    QString host;
    int value = 0;
    if (!RemoteOptions::parseAddress(QStringLiteral("broker:") + trimmed, 1, &host, &value))
        return tr("'%1' is not a port: a number from 1 to %2, or empty for the usual one.").arg(trimmed).arg(highestPort);
    if (port)
        *port = value;
    return QString();
}

QString checkTopic(const QString &topic)
{
    if (!RemoteOptions::validTopic(topic))
        return tr("'%1' cannot be a base topic: no '+', '#' or '/' at the end, 1 to %2 characters.")
            .arg(topic)
            .arg(RemoteOptions::maxTopicLength);
    return QString();
}

QString checkCaFile(const QString &path)
{
    if (path.isEmpty())
        return QString();
    const QFileInfo info(path);
    if (!info.isFile() || !info.isReadable())
        return tr("Cannot read the CA file '%1'.").arg(path);
    return QString();
}

QString checkDiscoveryPrefix(const QString &prefix)
{
    if (!RemoteOptions::validTopic(prefix))
        return tr("'%1' cannot be a discovery prefix: no '+', '#' or '/' at the end, 1 to %2 characters.")
            .arg(prefix)
            .arg(RemoteOptions::maxTopicLength);
    return QString();
}

Problems check(const BrokerSettings &settings, const QString &password)
{
    Problems problems;
    if (settings.mode == BrokerSettings::Mode::Off)
        return problems;
    problems.host = checkHost(settings.host);
    if (settings.port < 0 || settings.port > highestPort)
        problems.port = checkPort(QString::number(settings.port));
    problems.topic = checkTopic(settings.topic);
    if (!password.isEmpty() && settings.user.isEmpty())
        problems.password = tr("A password needs a user name.");
    problems.caFile = checkCaFile(settings.caFile);
    // Only the panel that publishes the switch announces it.
    if (settings.discovery && settings.mode == BrokerSettings::Mode::Publish)
        problems.discoveryPrefix = checkDiscoveryPrefix(settings.discoveryPrefix);
    return problems;
}

} // namespace BrokerChecks
