#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

// Where a logger's packets arrive: a UDP port, and a multicast group to join
// when the logger sends to one (null for broadcasts and packets addressed to
// this computer).
struct LoggerEndpoint
{
    QHostAddress group;
    quint16 port = 0;

    // "PORT" or "GROUP:PORT", GROUP an IPv4 multicast address.
    static std::optional<LoggerEndpoint> parse(const QString &text);
    QString toString() const;

    bool operator==(const LoggerEndpoint &other) const { return group == other.group && port == other.port; }
};
