#include "support/BrokerWatcher.h"

#include "remote/RemoteOptions.h"
#include "sim/LocalBroker.h"
#include "sim/VirtualSwitch.h"

#include <QProcess>

QList<QByteArray> commandsAt(const VirtualSwitch &device)
{
    QList<QByteArray> commands;
    for (const VirtualSwitch::ReceivedFrame &frame : device.receivedFrames()) {
        if (!frame.bytes.startsWith("IGT3;") && frame.bytes != "IGW;")
            commands << frame.bytes;
    }
    return commands;
}

void startOwnerPanel(QProcess &panel, const QString &program, const QString &port, const LocalBroker &broker)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(RemoteOptions::passwordVariable, TestAccounts::passwordOf(QStringLiteral("owner")));
    panel.setProcessEnvironment(environment);
    panel.start(program, {QStringLiteral("--port"), port, QStringLiteral("--mqtt"),
                          QStringLiteral("127.0.0.1:%1").arg(broker.port()), QStringLiteral("--mqtt-user"),
                          QStringLiteral("owner")});
}

namespace TestAccounts {

void addTo(LocalBroker &broker)
{
    for (const char *user : {"owner", "operator", "operator2", "oldoperator", "viewer"})
        broker.addUser(QLatin1String(user), passwordOf(QLatin1String(user)));
    // As the README sets it up: each operator writes commands under their
    // own name; "operator" may also write the shared topic, as a script
    // would; oldoperator's lines predate commands under each name and allow
    // the shared topic only.
    broker.setAcl(QStringLiteral("user owner\ntopic readwrite tqx5r/#\n\n"
                                 "user operator\ntopic read tqx5r/#\ntopic write tqx5r/set\n\n"
                                 "user operator2\ntopic read tqx5r/#\n\n"
                                 "user oldoperator\ntopic read tqx5r/#\ntopic write tqx5r/set\n"
                                 "topic deny tqx5r/set/+\n\n"
                                 "user viewer\ntopic read tqx5r/#\ntopic deny tqx5r/set/+\n\n"
                                 "pattern write tqx5r/set/%u\n"));
}

QString passwordOf(const QString &user)
{
    return QStringLiteral("pw-%1-7").arg(user);
}

BrokerSettings settings(const LocalBroker &broker, const QString &user, bool remotePanel)
{
    BrokerSettings s;
    s.host = QStringLiteral("127.0.0.1");
    s.port = broker.port();
    s.user = user;
    s.password = passwordOf(user);
    s.mode = remotePanel ? BrokerSettings::Mode::RemotePanel : BrokerSettings::Mode::Publish;
    return s;
}

} // namespace TestAccounts

BrokerWatcher::BrokerWatcher(const BrokerSettings &settings)
    : settings(settings)
    , client(settings)
{
    client.subscribe(settings.topic + QStringLiteral("/#"));
    connect(&client, &BrokerClient::messageReceived, this,
            [this](const QString &topic, const QByteArray &payload, bool retained) {
                received.append({topic, payload, retained});
            });
    client.start();
}

QList<BrokerWatcher::Message> BrokerWatcher::on(const char *leaf) const
{
    QList<Message> found;
    for (const Message &message : received) {
        if (message.topic == settings.topicFor(leaf))
            found << message;
    }
    return found;
}

QByteArray BrokerWatcher::last(const char *leaf) const
{
    const QList<Message> found = on(leaf);
    return found.isEmpty() ? QByteArray() : found.last().payload;
}

bool BrokerWatcher::publish(const char *leaf, const QByteArray &payload, bool retained)
{
    return client.publish(settings.topicFor(leaf), payload, retained, BrokerClient::Delivery::Acknowledged);
}

bool BrokerWatcher::publishOn(const QString &topic, const QByteArray &payload)
{
    return client.publish(topic, payload, false, BrokerClient::Delivery::Acknowledged);
}
