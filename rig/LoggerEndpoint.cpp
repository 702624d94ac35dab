#include "rig/LoggerEndpoint.h"

std::optional<LoggerEndpoint> LoggerEndpoint::parse(const QString &text)
{
    LoggerEndpoint endpoint;
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        endpoint.address = QHostAddress(text.left(colon).trimmed());
        if (endpoint.address.protocol() != QAbstractSocket::IPv4Protocol)
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
    return address.isNull() ? QString::number(port) : QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

QHostAddress LoggerEndpoint::bindAddress() const
{
    if (address.isNull())
        return QHostAddress(QHostAddress::LocalHost);
    return isMulticast() ? QHostAddress(QHostAddress::AnyIPv4) : address;
}
