#include "rig/LoggerEndpoint.h"

std::optional<LoggerEndpoint> LoggerEndpoint::parse(const QString &text)
{
    LoggerEndpoint endpoint;
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        endpoint.group = QHostAddress(text.left(colon).trimmed());
        if (endpoint.group.protocol() != QAbstractSocket::IPv4Protocol || !endpoint.group.isMulticast())
            return std::nullopt;
    }
    bool ok = false;
    const uint port = text.mid(colon + 1).trimmed().toUInt(&ok);
    if (!ok || port < 1 || port > 65535)
        return std::nullopt;
    endpoint.port = static_cast<quint16>(port);
    return endpoint;
}

QString LoggerEndpoint::toString() const
{
    return group.isNull() ? QString::number(port) : QStringLiteral("%1:%2").arg(group.toString()).arg(port);
}
