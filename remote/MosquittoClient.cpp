#include "remote/MosquittoClient.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// libmosquitto's words for an error end some with a full stop ("Lookup
// error."); the panel's own sentence goes on after them.
QString withoutFullStop(QString reason)
{
    while (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    return reason;
}

// The network thread looks at its stop flag this often while idle. A
// publish from the GUI thread wakes it at once (libmosquitto's threaded
// mode), so this only bounds how long a stop without a last message waits,
// and an idle client wakes once a second.
constexpr int loopTimeoutMs = 1000;
constexpr int flushStepMs = 20;
constexpr int disconnectGraceMs = 200;
constexpr int destructorWaitMs = 1000;
constexpr std::size_t recentAnswerCount = 64;
// Messages from the broker handed to the GUI thread and not yet taken; a
// flood beyond this is dropped rather than piled up in its event queue.
constexpr int maxPendingMessages = 1000;
constexpr int refusalCode = 0x80;
// A connection that lasted this long was a working one: losing it starts the
// back-off afresh. One the broker drops sooner counts as a failed attempt.
constexpr std::chrono::seconds stableConnection{30};
constexpr int acknowledgedQos = 1;
constexpr int fireAndForgetQos = 0;

void initLibrary()
{
    static const bool initialised = (mosquitto_lib_init(), true);
    Q_UNUSED(initialised);
}

// Never below zero: after a reconnect, answers for the old connection may
// still come in for messages the count has already forgotten.
void decrement(std::atomic<int> &counter)
{
    int value = counter.load();
    while (value > 0 && !counter.compare_exchange_weak(value, value - 1)) {
    }
}

std::atomic<quint64> generations{0};

} // namespace

// The libmosquitto handle and the thread that drives it. Shared between the
// client and its thread, so a thread that outlives a stopped client (stuck in
// a name lookup, say) still has what it uses.
struct MosquittoClient::Worker
{
    const quint64 generation = ++generations;
    mosquitto *mosq = nullptr;
    std::string host;
    int port = 0;
    // Each topic with its MQTT 5 subscription options.
    std::vector<std::pair<std::string, int>> subscriptions;

    std::atomic<bool> stopRequested{false};
    std::atomic<bool> connected{false};
    std::atomic<int> outstanding{0};
    std::atomic<int> pendingMessages{0};
    std::atomic<int> flushId{-1};
    std::atomic<int> flushMs{0};

    std::mutex sinkMutex;
    MosquittoClient *sink = nullptr; // cleared when the client stops

    std::mutex stateMutex;
    std::condition_variable changed;
    bool finished = false;

    std::mutex logMutex;
    std::string lastError;

    // Touched by the network thread only.
    std::deque<int> recentAnswers;
    QHash<int, QString> subscribing;
    bool loginRefused = false;
    std::chrono::steady_clock::time_point connectedSince;

    ~Worker()
    {
        if (mosq)
            mosquitto_destroy(mosq);
    }

    void post(std::function<void(MosquittoClient &)> call);
    void run();
    bool connectOnce();
    void pause(int ms);
    void closeCleanly();
    QString describe(int rc);
    bool answered(int id) const;

    static QString tr(const char *text) { return MosquittoClient::tr(text); }
    static void onConnect(mosquitto *mosq, void *data, int rc, int flags, const mosquitto_property *properties);
    static void onSubscribe(mosquitto *mosq, void *data, int id, int count, const int *granted,
                            const mosquitto_property *properties);
    static void onPublish(mosquitto *mosq, void *data, int id, int reasonCode, const mosquitto_property *properties);
    static void onMessage(mosquitto *mosq, void *data, const mosquitto_message *message,
                          const mosquitto_property *properties);
    static void onLog(mosquitto *mosq, void *data, int level, const char *text);
};

void MosquittoClient::Worker::post(std::function<void(MosquittoClient &)> call)
{
    std::lock_guard<std::mutex> lock(sinkMutex);
    if (!sink)
        return;
    MosquittoClient *client = sink;
    const quint64 from = generation;
    // Queued: runs on the client's thread, and is dropped if the client is
    // gone by then or has started another connection since.
    QMetaObject::invokeMethod(
        client,
        [client, from, call = std::move(call)] {
            if (client->worker && client->worker->generation == from)
                call(*client);
        },
        Qt::QueuedConnection);
}

QString MosquittoClient::Worker::describe(int rc)
{
    QString reason;
    if (rc == MOSQ_ERR_ERRNO)
        reason = QString::fromStdString(std::system_category().message(errno));
    else if (rc == MOSQ_ERR_KEEPALIVE) // libmosquitto has no words for it
        reason = tr("no answer from the broker within the keep-alive time");
    else
        reason = withoutFullStop(QString::fromUtf8(mosquitto_strerror(rc)));
    std::lock_guard<std::mutex> lock(logMutex);
    if (!lastError.empty()) {
        reason += QStringLiteral(" (%1)").arg(QString::fromStdString(lastError));
        lastError.clear();
    }
    return reason;
}

bool MosquittoClient::Worker::answered(int id) const
{
    return id < 0 || std::find(recentAnswers.begin(), recentAnswers.end(), id) != recentAnswers.end();
}

void MosquittoClient::Worker::pause(int ms)
{
    std::unique_lock<std::mutex> lock(stateMutex);
    changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopRequested.load(); });
}

bool MosquittoClient::Worker::connectOnce()
{
    mosquitto_property *properties = nullptr;
    mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE, maxIncomingPacketBytes);
    // Blocking, but on this thread: name lookup, TCP and TLS handshake.
    int rc = mosquitto_connect_bind_v5(mosq, host.c_str(), port, keepAliveSeconds, nullptr, properties);
    mosquitto_property_free_all(&properties);
    while (rc == MOSQ_ERR_SUCCESS && !stopRequested)
        rc = mosquitto_loop(mosq, loopTimeoutMs, 1);
    if (stopRequested)
        return false;

    const QString reason = describe(rc);
    if (connected.exchange(false)) {
        post([reason](MosquittoClient &c) { emit c.disconnected(reason); });
        return std::chrono::steady_clock::now() - connectedSince >= stableConnection;
    }
    if (!loginRefused)
        post([reason](MosquittoClient &c) { emit c.connectFailed(reason); });
    return false;
}

void MosquittoClient::Worker::run()
{
    int retryMs = firstRetryMs;
    while (!stopRequested) {
        loginRefused = false;
        // After losing a connection that worked for a while, try again soon;
        // after failed attempts (or a broker that keeps dropping the
        // connection at once), wait longer each time.
        if (connectOnce())
            retryMs = firstRetryMs;
        if (stopRequested)
            break;
        pause(retryMs);
        retryMs = std::min(retryMs * 2, longestRetryMs);
    }
    closeCleanly();
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        finished = true;
    }
    changed.notify_all();
}

void MosquittoClient::Worker::closeCleanly()
{
    if (!connected.exchange(false))
        return;
    using Clock = std::chrono::steady_clock;
    const int awaited = flushId.load();
    const Clock::time_point flushEnd = Clock::now() + std::chrono::milliseconds(flushMs.load());
    int rc = MOSQ_ERR_SUCCESS;
    while (!answered(awaited) && Clock::now() < flushEnd && rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_loop(mosq, flushStepMs, 1);
    if (rc != MOSQ_ERR_SUCCESS)
        return;
    // Had the last acknowledged message not arrived, the broker publishes
    // the will instead.
    mosquitto_disconnect_v5(mosq, answered(awaited) ? MQTT_RC_NORMAL_DISCONNECTION : MQTT_RC_DISCONNECT_WITH_WILL_MSG,
                            nullptr);
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(disconnectGraceMs);
    while (Clock::now() < end && mosquitto_loop(mosq, flushStepMs, 1) == MOSQ_ERR_SUCCESS) {
    }
}

// --- libmosquitto callbacks, on the network thread ---------------------------------

void MosquittoClient::Worker::onConnect(mosquitto *mosq, void *data, int rc, int, const mosquitto_property *)
{
    auto *w = static_cast<Worker *>(data);
    if (rc != 0) {
        w->loginRefused = true;
        const QString reason = withoutFullStop(QString::fromUtf8(mosquitto_reason_string(rc)));
        w->post([reason](MosquittoClient &c) {
            c.report(tr("The broker %1 refused the login: %2").arg(c.settings.address(), reason));
            emit c.loginRefused(reason);
        });
        return;
    }
    w->outstanding.store(0);
    w->recentAnswers.clear();
    w->subscribing.clear();
    for (const auto &[topic, options] : w->subscriptions) {
        int id = 0;
        if (mosquitto_subscribe_v5(mosq, &id, topic.c_str(), fireAndForgetQos, options, nullptr) == MOSQ_ERR_SUCCESS)
            w->subscribing.insert(id, QString::fromStdString(topic));
    }
    w->connected.store(true);
    w->connectedSince = std::chrono::steady_clock::now();
    w->post([](MosquittoClient &c) {
        c.reported.clear();
        c.lastAcknowledgedId = -1;
        emit c.connected();
    });
}

void MosquittoClient::Worker::onSubscribe(mosquitto *, void *data, int id, int count, const int *granted, const mosquitto_property *)
{
    auto *w = static_cast<Worker *>(data);
    const QString topic = w->subscribing.take(id);
    if (count >= 1 && granted[0] >= refusalCode) {
        w->post([topic](MosquittoClient &c) {
            c.report(tr("The broker %1 refused the subscription to %2").arg(c.settings.address(), topic));
        });
    }
}

void MosquittoClient::Worker::onPublish(mosquitto *, void *data, int id, int reasonCode, const mosquitto_property *)
{
    auto *w = static_cast<Worker *>(data);
    decrement(w->outstanding);
    w->recentAnswers.push_back(id);
    if (w->recentAnswers.size() > recentAnswerCount)
        w->recentAnswers.pop_front();
    if (reasonCode >= refusalCode) {
        const QString reason = withoutFullStop(QString::fromUtf8(mosquitto_reason_string(reasonCode)));
        w->post([id, reason](MosquittoClient &c) { c.publishAnswered(id, reason); });
    }
}

void MosquittoClient::Worker::onMessage(mosquitto *, void *data, const mosquitto_message *message, const mosquitto_property *)
{
    auto *w = static_cast<Worker *>(data);
    if (!message->topic || message->payloadlen < 0 || message->payloadlen > MosquittoClient::maxIncomingPacketBytes)
        return;
    if (w->pendingMessages.fetch_add(1) >= maxPendingMessages) {
        decrement(w->pendingMessages);
        return;
    }
    const QString topic = QString::fromUtf8(message->topic);
    const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
    const bool retained = message->retain;
    w->post([w, topic, payload, retained](MosquittoClient &c) {
        decrement(w->pendingMessages);
        emit c.messageReceived(topic, payload, retained);
    });
}

void MosquittoClient::Worker::onLog(mosquitto *, void *data, int level, const char *text)
{
    // Kept to explain a failure (a certificate that does not verify, say).
    if (!(level & MOSQ_LOG_ERR) || !text)
        return;
    auto *w = static_cast<Worker *>(data);
    std::lock_guard<std::mutex> lock(w->logMutex);
    w->lastError = text;
}

// --- The client, on its own thread -----------------------------------------------

MosquittoClient::MosquittoClient(const BrokerSettings &settings, QObject *parent)
    : BrokerClient(parent)
    , settings(settings)
{
}

MosquittoClient::~MosquittoClient()
{
    stop(0);
    waitStopped(destructorWaitMs);
}

void MosquittoClient::setWill(const QString &topic, const QByteArray &payload)
{
    willTopic = topic;
    willPayload = payload;
}

void MosquittoClient::subscribe(const QString &topic, RetainFlag retainFlag)
{
    subscriptions.append({topic, retainFlag});
}

void MosquittoClient::start()
{
    if (worker)
        return;
    initLibrary();
    auto w = std::make_shared<Worker>();
    w->mosq = mosquitto_new(nullptr, true, w.get());
    if (!w->mosq) {
        emit connectFailed(tr("libmosquitto could not make a client"));
        return;
    }
    mosquitto_int_option(w->mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    // Publishing from this thread while the network thread runs the loop.
    mosquitto_threaded_set(w->mosq, true);
    if (!settings.user.isEmpty()) {
        const QByteArray user = settings.user.toUtf8();
        const QByteArray password = settings.password.toUtf8();
        mosquitto_username_pw_set(w->mosq, user.constData(), settings.password.isEmpty() ? nullptr : password.constData());
    }
    if (settings.usesTls()) {
        const QByteArray caFile = settings.caFile.toLocal8Bit();
        const int rc = mosquitto_tls_set(w->mosq, caFile.constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            emit connectFailed(
                tr("TLS with %1: %2").arg(settings.caFile, withoutFullStop(QString::fromUtf8(mosquitto_strerror(rc)))));
            return;
        }
        // The certificate must name the host we asked for.
        mosquitto_tls_insecure_set(w->mosq, false);
    }
    if (!willTopic.isEmpty()) {
        mosquitto_will_set_v5(w->mosq, willTopic.toUtf8().constData(), willPayload.size(), willPayload.constData(),
                              acknowledgedQos, true, nullptr);
    }
    mosquitto_connect_v5_callback_set(w->mosq, Worker::onConnect);
    mosquitto_subscribe_v5_callback_set(w->mosq, Worker::onSubscribe);
    mosquitto_publish_v5_callback_set(w->mosq, Worker::onPublish);
    mosquitto_message_v5_callback_set(w->mosq, Worker::onMessage);
    mosquitto_log_callback_set(w->mosq, Worker::onLog);

    w->host = settings.host.toStdString();
    w->port = settings.effectivePort();
    for (const auto &[topic, retainFlag] : qAsConst(subscriptions)) {
        // Without it the broker clears the flag on every message it forwards
        // live, so a retained message would look like any other until the
        // broker hands over its kept copy.
        const int options = retainFlag == RetainFlag::AsPublished ? MQTT_SUB_OPT_RETAIN_AS_PUBLISHED : 0;
        w->subscriptions.emplace_back(topic.toStdString(), options);
    }
    w->sink = this;
    worker = w;
    lastAcknowledgedId = -1;
    std::thread([w] { w->run(); }).detach();
}

void MosquittoClient::stop(int flushMs)
{
    if (!worker)
        return;
    worker->flushId.store(lastAcknowledgedId);
    worker->flushMs.store(flushMs);
    {
        std::lock_guard<std::mutex> lock(worker->sinkMutex);
        worker->sink = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(worker->stateMutex);
        worker->stopRequested.store(true);
    }
    worker->changed.notify_all();
    stopping = std::move(worker);
}

bool MosquittoClient::waitStopped(int timeoutMs)
{
    if (!stopping)
        return true;
    bool done = false;
    {
        std::unique_lock<std::mutex> lock(stopping->stateMutex);
        done = stopping->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                          [this] { return stopping->finished; });
    }
    // A thread still busy keeps its own share of the worker and ends on its own.
    stopping.reset();
    return done;
}

bool MosquittoClient::isRunning() const
{
    return worker != nullptr;
}

bool MosquittoClient::isConnected() const
{
    return worker && worker->connected.load();
}

bool MosquittoClient::publish(const QString &topic, const QByteArray &payload, bool retained, Delivery delivery)
{
    if (!isConnected())
        return false;
    if (worker->outstanding.fetch_add(1) >= maxOutstanding) {
        decrement(worker->outstanding);
        return false;
    }
    const bool acknowledged = delivery == Delivery::Acknowledged;
    int id = 0;
    // Thread-safe in threaded mode: the packet is queued and the network
    // thread woken to write it.
    const int rc = mosquitto_publish_v5(worker->mosq, &id, topic.toUtf8().constData(), payload.size(),
                                        payload.constData(), acknowledged ? acknowledgedQos : fireAndForgetQos,
                                        retained, nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
        decrement(worker->outstanding);
        return false;
    }
    if (acknowledged) {
        lastAcknowledgedId = id;
        if (awaitingAnswer.size() >= maxOutstanding)
            awaitingAnswer.clear();
        awaitingAnswer.insert(id, {topic, payload});
    }
    return true;
}

void MosquittoClient::report(const QString &text)
{
    if (reported.contains(text))
        return;
    reported.insert(text);
    emit refused(text);
}

void MosquittoClient::publishAnswered(int messageId, const QString &reason)
{
    const auto [topic, payload] = awaitingAnswer.take(messageId);
    report(tr("The broker %1 refused to take %2: %3")
               .arg(settings.address(), topic.isEmpty() ? tr("a message") : topic, reason));
    if (!topic.isEmpty())
        emit publishRefused(topic, payload);
}
