#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

// Which computers a logger port takes packets from: any, or only senders in
// the subnets given ("192.168.1.20", "192.168.1.0/24").
class SenderFilter
{
public:
    using Subnet = QPair<QHostAddress, int>;

    // "ADDR" (that one address) or "ADDR/BITS".
    static std::optional<Subnet> parse(const QString &text);

    void allow(const Subnet &subnet) { subnets << subnet; }
    bool isEmpty() const { return subnets.isEmpty(); }
    const QList<Subnet> &allowed() const { return subnets; }
    // True for every sender when nothing is given.
    bool accepts(const QHostAddress &sender) const;

    static QString toString(const Subnet &subnet);

private:
    QList<Subnet> subnets;
};
