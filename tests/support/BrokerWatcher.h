#pragma once

#include "remote/BrokerSettings.h"
#include "remote/MosquittoClient.h"

#include <QList>
#include <QObject>

class LocalBroker;
class QProcess;
class VirtualSwitch;

// What the switch has read from panels apart from polls and firmware
// requests: the commands, oldest first.
QList<QByteArray> commandsAt(const VirtualSwitch &device);

// Test accounts on a local broker: "owner" may publish anything under tqx5r;
// "operator" and "operator2" may read it all and write commands on
// tqx5r/set/USER (their own name), "operator" also on tqx5r/set;
// "oldoperator" on tqx5r/set only, as before commands went under each
// user's name; "viewer" may only read.
namespace TestAccounts {
void addTo(LocalBroker &broker);
QString passwordOf(const QString &user);
// Settings that log in as user; a user not added gets a wrong password.
BrokerSettings settings(const LocalBroker &broker, const QString &user, bool remotePanel = false);
} // namespace TestAccounts

// Starts the panel program as the owner of the switch on port, publishing on
// the broker as "owner" (its password in the environment), without a display.
void startOwnerPanel(QProcess &panel, const QString &program, const QString &port, const LocalBroker &broker);

// A client that takes in everything under tqx5r, as a dashboard or script
// would, and can publish commands.
class BrokerWatcher : public QObject
{
public:
    struct Message
    {
        QString topic;
        QByteArray payload;
        bool retained = false;
    };

    explicit BrokerWatcher(const BrokerSettings &settings);

    bool isConnected() const { return client.isConnected(); }
    // Messages on tqx5r/leaf so far, oldest first.
    QList<Message> on(const char *leaf) const;
    QByteArray last(const char *leaf) const;
    bool publish(const char *leaf, const QByteArray &payload, bool retained = false);
    // On any topic, which may hold any character.
    bool publishOn(const QString &topic, const QByteArray &payload);
    void forget() { received.clear(); }

private:
    BrokerSettings settings;
    MosquittoClient client;
    QList<Message> received;
};
