#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

// A sender whose logger packets are taken: one address ("192.168.1.20",
// "::1") or a network ("192.168.1.0/24", "fd00::/8").
struct AllowedSender
{
    QHostAddress network;
    int prefixLength = 0;

    // "ADDR" or "ADDR/BITS": a whole IPv4 or IPv6 address and, optionally,
    // the number of leading bits that must match (0-32 or 0-128). Shortened
    // addresses and netmasks are not taken, so what is written is what is
    // meant. Blanks around the text are ignored.
    static std::optional<AllowedSender> parse(const QString &text);

    // True for a sender inside the network; an IPv4 sender seen through an
    // IPv6 socket (::ffff:a.b.c.d) counts as its IPv4 address.
    bool matches(const QHostAddress &sender) const;

    // "192.168.1.0/24"; a single address without "/32" or "/128".
    QString toString() const;

    bool operator==(const AllowedSender &other) const
    {
        return network == other.network && prefixLength == other.prefixLength;
    }
};
