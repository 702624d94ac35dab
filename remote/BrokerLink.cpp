#include "remote/BrokerLink.h"

#include "link/Protocol.h"
#include "remote/CommandJson.h"
#include "remote/RelayedFrame.h"
#include "remote/StateJson.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
// Enough for the words one burst of keys queues.
constexpr int recentWordCount = 16;
}

BrokerLink::BrokerLink(BrokerClient *client, const BrokerSettings &settings, QObject *parent)
    : RemoteLink(parent)
    , client(client)
    , settings(settings)
    , outage(new BrokerOutage(client, settings, this))
{
    client->setParent(this);
    client->subscribe(settings.topicFor(BrokerTopics::frames));
    client->subscribe(settings.topicFor(BrokerTopics::firmware));
    client->subscribe(settings.topicFor(BrokerTopics::state));
    client->subscribe(settings.topicFor(BrokerTopics::error));
    connect(client, &BrokerClient::connected, this, &BrokerLink::brokerConnected);
    connect(client, &BrokerClient::disconnected, this, &BrokerLink::farEndLost);
    connect(outage, &BrokerOutage::lost, this, &BrokerLink::tell);
    connect(client, &BrokerClient::refused, this, &BrokerLink::tell);
    connect(client, &BrokerClient::messageReceived, this, &BrokerLink::messageReceived);
    connect(client, &BrokerClient::publishRefused, this, &BrokerLink::publishRefused);
}

QString BrokerLink::name() const
{
    return QStringLiteral("%1://%2/%3")
        .arg(settings.usesTls() ? QStringLiteral("mqtts") : QStringLiteral("mqtt"), settings.address(), settings.topic);
}

void BrokerLink::attach()
{
    RemoteLink::attach();
    // The broker's ACL may have changed meanwhile.
    sharedTopicOnly = false;
    outage->reset();
    emit status(tr("Connecting to the broker %1, topic %2").arg(settings.address(), settings.topic));
    client->start();
}

void BrokerLink::detach()
{
    client->stop(0);
    RemoteLink::detach();
}

void BrokerLink::sendCommand(CommandWord word)
{
    // A word whose turn comes while the broker is away is dropped, as one
    // is while a serial port is closed; the status bar keeps what it says
    // (the lost broker, or a split's "Not connected to TQX-5R").
    if (!client->isConnected())
        return;
    // Acknowledged, so a broker that does not let this user operate the
    // switch says so.
    const QByteArray message = CommandJson::wordMessage(word);
    if (!client->publish(commandTopic(), message, false,
                         BrokerClient::Delivery::Acknowledged)) {
        tell(tr("A command could not be sent: too much is waiting for the broker %1").arg(settings.address()));
        return;
    }
    recentlySent.append(message);
    if (recentlySent.size() > recentWordCount)
        recentlySent.removeFirst();
}

QString BrokerLink::commandTopic() const
{
    return sharedTopicOnly ? settings.topicFor(BrokerTopics::set) : settings.commandTopic();
}

void BrokerLink::publishRefused(const QString &topic, const QByteArray &payload)
{
    // A broker whose ACL predates commands under each user's name still
    // takes them on the shared topic; whether it does, its answer says.
    if (sharedTopicOnly || topic != settings.commandTopic() || topic == settings.topicFor(BrokerTopics::set))
        return;
    sharedTopicOnly = true;
    tell(tr("Commands go to %1 instead: the broker does not let %2 write %3")
             .arg(settings.topicFor(BrokerTopics::set), settings.user, topic));
    client->publish(commandTopic(), payload, false, BrokerClient::Delivery::Acknowledged);
}

void BrokerLink::setPassword(const QString &password)
{
    settings.password = password;
    client->setPassword(password);
    if (isOpen()) {
        detach();
        attach();
    }
}

bool BrokerLink::canSend() const
{
    return isOpen() && client->isConnected();
}

void BrokerLink::brokerConnected()
{
    outage->reset();
    emit status(tr("Connected to the broker %1, topic %2").arg(settings.address(), settings.topic));
    emit ready();
}

void BrokerLink::tell(const QString &text)
{
    emit status(text);
    emit note(text);
}

void BrokerLink::messageReceived(const QString &topic, const QByteArray &payload, bool retained)
{
    if (topic == settings.topicFor(BrokerTopics::error)) {
        // The owner refused one of this panel's commands (the switch not
        // connected, too many at once, ...): the operator is told.
        const QJsonObject report = QJsonDocument::fromJson(payload).object();
        const QByteArray command = report.value(QStringLiteral("command")).toString().toUtf8();
        // Another operator's refusal of the same word is theirs.
        const QJsonValue user = report.value(QStringLiteral("user"));
        if (!user.isUndefined() && user.toString() != settings.user)
            return;
        const QString warning = report.value(QStringLiteral("warning")).toString().left(CommandJson::maxQuotedBytes);
        if (!warning.isEmpty()) {
            // A command that went with a warning, or the owner's own warning
            // (transmitting on an antenna not for the band): said here too.
            if (command.isEmpty() || recentlySent.removeOne(command))
                tell(tr("The panel that owns the switch warns: %1").arg(warning));
            return;
        }
        if (recentlySent.removeOne(command))
            tell(tr("The panel that owns the switch refused a command: %1")
                     .arg(report.value(QStringLiteral("error")).toString().left(CommandJson::maxQuotedBytes)));
        return;
    }
    if (topic == settings.topicFor(BrokerTopics::state)) {
        const QStringList received = StateJson::captions(payload);
        if (!received.isEmpty() && received != captions) {
            captions = received;
            emit captionsReceived(captions);
        }
        return;
    }
    if (!RelayedFrame::isWholeSwitchFrame(payload))
        return;
    const bool firmware = payload.at(2) == Protocol::firmwareType;
    if (topic == settings.topicFor(BrokerTopics::frames)) {
        if (firmware)
            firmwareSeen = payload;
        deliver(payload);
        return;
    }
    // Live firmware frames come with the others on BASE/frames; the copy on
    // BASE/firmware is for a panel that attaches after the owner connected.
    // It comes live too when the owner reached the switch before the broker:
    // then the frame on BASE/frames could not go out.
    if (topic == settings.topicFor(BrokerTopics::firmware) && firmware && (retained || payload != firmwareSeen)) {
        firmwareSeen = payload;
        deliver(payload);
    }
}
