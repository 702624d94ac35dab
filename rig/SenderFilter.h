#pragma once

#include "rig/AllowedSender.h"

#include <QList>

// Which computers a logger port takes packets from: any, or only the senders
// allowed ("192.168.1.20", "192.168.1.0/24").
class SenderFilter
{
public:
    void allow(const AllowedSender &sender)
    {
        senders << sender;
        restricted = true;
    }
    // Senders were named but none could be read: nobody is accepted.
    void allowNone() { restricted = true; }
    bool isEmpty() const { return !restricted; }
    const QList<AllowedSender> &allowed() const { return senders; }
    // True for every sender when nothing is given.
    bool accepts(const QHostAddress &sender) const;

private:
    QList<AllowedSender> senders;
    bool restricted = false;
};
