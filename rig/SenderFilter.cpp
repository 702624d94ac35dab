#include "rig/SenderFilter.h"

namespace {

constexpr int ipv4Bits = 32;
constexpr int ipv6Bits = 128;

} // namespace

std::optional<SenderFilter::Subnet> SenderFilter::parse(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (!trimmed.contains(QLatin1Char('/'))) {
        const QHostAddress address(trimmed);
        if (address.isNull())
            return std::nullopt;
        return Subnet(address, address.protocol() == QAbstractSocket::IPv4Protocol ? ipv4Bits : ipv6Bits);
    }
    const Subnet subnet = QHostAddress::parseSubnet(trimmed);
    if (subnet.first.isNull() || subnet.second < 0)
        return std::nullopt;
    return subnet;
}

bool SenderFilter::accepts(const QHostAddress &sender) const
{
    if (subnets.isEmpty())
        return true;
    // A sender may show as an IPv4 address mapped into IPv6.
    bool mapped = false;
    const quint32 ipv4 = sender.toIPv4Address(&mapped);
    const QHostAddress plain = mapped ? QHostAddress(ipv4) : sender;
    for (const Subnet &subnet : subnets) {
        if (plain.isInSubnet(subnet))
            return true;
    }
    return false;
}

QString SenderFilter::toString(const Subnet &subnet)
{
    return QStringLiteral("%1/%2").arg(subnet.first.toString()).arg(subnet.second);
}
