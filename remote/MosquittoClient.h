#pragma once

#include "remote/BrokerClient.h"
#include "remote/BrokerSettings.h"

#include <QHash>
#include <QSet>
#include <QStringList>

#include <memory>

// BrokerClient through libmosquitto, speaking MQTT 5 so that a publish the
// broker refuses is reported rather than silently dropped. A thread of its
// own connects, reads and writes; publish() only queues a packet for it.
class MosquittoClient : public BrokerClient
{
    Q_OBJECT

public:
    static constexpr int keepAliveSeconds = 15;
    static constexpr int firstRetryMs = 1000;
    static constexpr int longestRetryMs = 30000;
    // Messages handed over but not yet written (or, when acknowledged, not
    // yet confirmed); beyond this publish() drops, so a stalled broker cannot
    // make memory grow.
    static constexpr int maxOutstanding = 200;
    // The broker is told not to send larger packets.
    static constexpr int maxIncomingPacketBytes = 16 * 1024;

    explicit MosquittoClient(const BrokerSettings &settings, QObject *parent = nullptr);
    // Stops and waits a bounded time for the network thread to finish.
    ~MosquittoClient() override;

    void setWill(const QString &topic, const QByteArray &payload) override;
    void subscribe(const QString &topic, RetainFlag retainFlag = RetainFlag::StoredOnly) override;
    void setPassword(const QString &password) override { settings.password = password; }
    void start() override;
    void stop(int flushMs) override;
    bool isRunning() const override;
    bool isConnected() const override;
    bool publish(const QString &topic, const QByteArray &payload, bool retained, Delivery delivery) override;

    // Waits up to timeoutMs for a stopped client's network thread to end.
    bool waitStopped(int timeoutMs);

private:
    struct Worker;
    friend struct Worker;

    void report(const QString &text);
    void publishAnswered(int messageId, const QString &reason);

    BrokerSettings settings;
    QString willTopic;
    QByteArray willPayload;
    QList<QPair<QString, RetainFlag>> subscriptions;
    std::shared_ptr<Worker> worker;
    std::shared_ptr<Worker> stopping;
    // Acknowledged messages in flight, so a refusal can name the topic and
    // hand the message back.
    QHash<int, QPair<QString, QByteArray>> awaitingAnswer;
    int lastAcknowledgedId = -1;
    QSet<QString> reported;
};
