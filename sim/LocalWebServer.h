#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class TestCertificates;

// Debian's nginx serving the web page over HTTPS as the README sets it up:
// the site file the package ships (web/tqx5r-panel.nginx.conf), with this
// machine's names put in for the station's — a free loopback port, the test
// certificates, the page's folder and the broker's WebSockets port — in a
// private folder with its own logs and temporary files. Stopped with the
// object.
class LocalWebServer
{
public:
    // The certificates must outlive the server.
    LocalWebServer(const QString &webDirectory, const TestCertificates &certificates);
    ~LocalWebServer();
    LocalWebServer(const LocalWebServer &) = delete;
    LocalWebServer &operator=(const LocalWebServer &) = delete;

    // Where /mqtt goes: a broker's WebSockets listener speaking TLS with the
    // same certificates. Before start().
    void passWebSocketsTo(int brokerWebSocketsPort) { brokerPort = brokerWebSocketsPort; }

    // Starts nginx and waits until it listens.
    bool start();
    void stop();

    // https://localhost:PORT/
    QString url() const;
    int port() const { return listenPort; }
    QString errorString() const { return error; }
    QByteArray log();

private:
    bool writeConfiguration();

    QString webDirectory;
    const TestCertificates &certificates;
    QTemporaryDir directory;
    QProcess process;
    int listenPort = 0;
    int brokerPort = 0;
    QString error;
    QByteArray logged;
};
