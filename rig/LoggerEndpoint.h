#pragma once

#include <QHostAddress>
#include <QString>

#include <optional>

// Where a logger's packets arrive: a UDP port and the address to listen on.
// Without an address only this computer is heard (loggers send to 127.0.0.1
// by default), so nothing on the network can move the antenna. A unicast
// address listens on that interface (0.0.0.0 on every one); an IPv4
// multicast address is a group to join, on every interface.
struct LoggerEndpoint
{
    QHostAddress address;   // null: this computer only
    quint16 port = 0;

    // "PORT" or "ADDR:PORT", ADDR an IPv4 address.
    static std::optional<LoggerEndpoint> parse(const QString &text);
    QString toString() const;

    bool isMulticast() const { return address.isMulticast(); }
    // Open to other programs too: only a multicast group, whose packets
    // reach every member.
    bool isShared() const { return isMulticast(); }
    // What the socket binds to.
    QHostAddress bindAddress() const;

    bool operator==(const LoggerEndpoint &other) const { return address == other.address && port == other.port; }
};
