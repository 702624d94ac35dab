#include "rig/AllowedSender.h"

namespace {

constexpr int ipv4Bits = 32;
constexpr int ipv6Bits = 128;

int addressBits(const QHostAddress &address)
{
    return address.protocol() == QAbstractSocket::IPv4Protocol ? ipv4Bits : ipv6Bits;
}

// Digits only: no sign, no blanks inside, no base prefix.
std::optional<int> prefix(const QString &text, int highest)
{
    if (text.isEmpty() || text.size() > 3)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    if (value > highest)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<AllowedSender> AllowedSender::parse(const QString &text)
{
    const QString trimmed = text.trimmed();
    const int slash = trimmed.indexOf(QLatin1Char('/'));
    const QString addressText = slash < 0 ? trimmed : trimmed.left(slash);

    // QHostAddress also reads "10.1" or "167772161" as IPv4 addresses; only
    // the dotted form with four parts names one here.
    const QHostAddress address(addressText);
    if (address.isNull())
        return std::nullopt;
    if (address.protocol() == QAbstractSocket::IPv4Protocol && addressText.count(QLatin1Char('.')) != 3)
        return std::nullopt;
    if (address.protocol() != QAbstractSocket::IPv4Protocol && address.protocol() != QAbstractSocket::IPv6Protocol)
        return std::nullopt;

    AllowedSender sender;
    sender.prefixLength = addressBits(address);
    if (slash >= 0) {
        const std::optional<int> bits = prefix(trimmed.mid(slash + 1), addressBits(address));
        if (!bits)
            return std::nullopt;
        sender.prefixLength = *bits;
    }
    // The network itself, host bits cleared, so equal networks compare equal.
    sender.network = QHostAddress::parseSubnet(QStringLiteral("%1/%2").arg(address.toString()).arg(sender.prefixLength)).first;
    if (sender.network.isNull())
        return std::nullopt;
    return sender;
}

bool AllowedSender::matches(const QHostAddress &sender) const
{
    QHostAddress address = sender;
    bool mapped = false;
    const quint32 ipv4 = sender.toIPv4Address(&mapped);
    if (mapped)
        address = QHostAddress(ipv4);
    return address.isInSubnet(network, prefixLength);
}

QString AllowedSender::toString() const
{
    if (prefixLength == addressBits(network))
        return network.toString();
    return QStringLiteral("%1/%2").arg(network.toString()).arg(prefixLength);
}
