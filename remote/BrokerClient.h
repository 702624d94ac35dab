#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

// A connection to an MQTT broker as the bridge and the remote panel need it.
// Lives on the GUI thread; its network work runs elsewhere and never blocks
// the caller, and every signal arrives on the thread the client lives on.
class BrokerClient : public QObject
{
    Q_OBJECT

public:
    enum class Delivery {
        AtMostOnce,   // fire and forget
        Acknowledged, // the broker confirms, or says why it refused
    };

    using QObject::QObject;

    // Set before start(). The broker publishes the will (retained) when the
    // client vanishes without a clean stop.
    virtual void setWill(const QString &topic, const QByteArray &payload) = 0;
    // Which messages of a subscription come marked as retained.
    enum class RetainFlag {
        StoredOnly,  // only those the broker kept and hands over as the subscription starts
        AsPublished, // whatever the publisher set, also on messages that arrive live
    };

    // Topics subscribed to on every connection; set before start().
    virtual void subscribe(const QString &topic, RetainFlag retainFlag = RetainFlag::StoredOnly) = 0;
    // The password the next start() logs in with.
    virtual void setPassword(const QString &password) = 0;

    // Connects in the background and keeps reconnecting, with growing pauses,
    // until stop().
    virtual void start() = 0;
    // Lets what was published with Acknowledged reach the broker within
    // flushMs, then disconnects. Returns at once; no signal follows.
    virtual void stop(int flushMs) = 0;
    virtual bool isRunning() const = 0;
    virtual bool isConnected() const = 0;

    // Hands a message to the network side. False, and the message is
    // dropped, while not connected or while too much still waits to go out.
    virtual bool publish(const QString &topic, const QByteArray &payload, bool retained, Delivery delivery) = 0;

signals:
    void connected();
    void disconnected(const QString &reason);
    // An attempt to connect failed before the broker took the login.
    void connectFailed(const QString &reason);
    // The broker refused the login, a publish or a subscription. Each text
    // comes once per connection attempt or connection.
    void refused(const QString &text);
    // The broker refused the login (a wrong user or password, most often).
    void loginRefused(const QString &reason);
    // Each refused acknowledged message, after the text about it.
    void publishRefused(const QString &topic, const QByteArray &payload);
    void messageReceived(const QString &topic, const QByteArray &payload, bool retained);
};
