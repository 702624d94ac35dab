#pragma once

#include "link/RemoteLink.h"
#include "remote/BrokerClient.h"
#include "remote/BrokerOutage.h"
#include "remote/BrokerSettings.h"

// A remote panel's link: the frames another panel relays on the broker come
// in through the ordinary receive step, and the panel's command words go out
// on BASE/set/USER (BASE/set when the broker does not let the user write
// there). Attaching connects to the broker, detaching leaves it.
class BrokerLink : public RemoteLink
{
    Q_OBJECT

public:
    // Takes client over.
    BrokerLink(BrokerClient *client, const BrokerSettings &settings, QObject *parent = nullptr);

    QString name() const override;
    void attach() override;
    void detach() override;
    void sendCommand(CommandWord word) override;
    bool canSend() const override;
    // The password arrived (from the secret store): the next login uses it,
    // and an attached link logs in again at once.
    void setPassword(const QString &password);

signals:
    // Refusals and outages, for stderr (they also go to the status bar).
    void note(const QString &text);

private:
    void brokerConnected();
    void messageReceived(const QString &topic, const QByteArray &payload, bool retained);
    void tell(const QString &text);
    void publishRefused(const QString &topic, const QByteArray &payload);
    QString commandTopic() const;

    BrokerClient *client;
    BrokerSettings settings;
    QStringList captions;
    // The last firmware frame delivered, so its copy on BASE/firmware is not
    // delivered twice.
    QByteArray firmwareSeen;
    BrokerOutage *outage;
    // The word messages sent lately, to recognise the owner's refusals of
    // this panel's own commands on BASE/error.
    QList<QByteArray> recentlySent;
    // The broker refused the user's own command topic: the shared one serves.
    bool sharedTopicOnly = false;
};
