#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class TestCertificates;

// A private Mosquitto broker for tests and the bench: its own folder, a free
// loopback port, a generated configuration and, when accounts are added, a
// password file (made with mosquitto_passwd, the passwords never on a
// command line) and an ACL. Optionally TLS, with a CA and a certificate for
// "localhost" made by openssl, and a second listener speaking MQTT over
// WebSockets that also serves a folder of static files, as a station serves
// the web page, or takes the WebSockets a web server in front passes on, over
// TLS too. The broker is stopped with the object.
class LocalBroker
{
public:
    LocalBroker();
    ~LocalBroker();
    LocalBroker(const LocalBroker &) = delete;
    LocalBroker &operator=(const LocalBroker &) = delete;

    // Before start(). Without accounts anyone may connect and do anything.
    void addUser(const QString &user, const QString &password);
    void setAcl(const QString &aclText);
    // TLS on the MQTT listener, with certificates made for the broker.
    bool enableTls();
    // A WebSockets listener on a free loopback port of its own, with the same
    // accounts and ACL; plain HTTP requests to it get the files in httpDir
    // (none when empty). With certificates (which must outlive the broker),
    // it speaks TLS.
    void enableWebSockets(const QString &httpDir = QString(), const TestCertificates *certificates = nullptr);

    // Starts the broker (again, on the same port, chosen when the object is
    // made) and waits until it listens.
    bool start();
    // Asks the broker to end and waits for it.
    void stop();
    // Kills it at once, as a crash or power cut would.
    void kill();
    bool isRunning() const;

    int port() const { return listenPort; }
    // 0 without enableWebSockets().
    int webSocketsPort() const { return webPort; }
    // http://127.0.0.1:PORT/ of the WebSockets listener.
    QString webUrl() const;
    QString caFile() const;
    QString errorString() const { return error; }
    // What the broker logged so far.
    QByteArray log();

private:
    bool writeConfiguration();
    bool run(const QString &program, const QStringList &arguments);
    bool waitUntilListening(int timeoutMs);

    QTemporaryDir directory;
    QProcess process;
    QList<QPair<QString, QString>> accounts;
    QString acl;
    std::unique_ptr<TestCertificates> certificates;
    const TestCertificates *webCertificates = nullptr;
    bool configured = false;
    int listenPort = 0;
    int webPort = 0;
    QString webDirectory;
    QString error;
    QByteArray logged;
};
