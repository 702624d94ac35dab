#include "sim/LocalWebServer.h"

#include "sim/LoopbackPorts.h"
#include "sim/TestCertificates.h"

#include <QElapsedTimer>
#include <QFile>

#include <unistd.h>

namespace {

constexpr int startTimeoutMs = 10000;
constexpr int connectRetryMs = 20;

// The station's names in the shipped site file, and what stands in for them
// here. Each must be found, so the file cannot drift from what is tested.
struct Substitution
{
    QByteArray station;
    QByteArray here;
};

} // namespace

LocalWebServer::LocalWebServer(const QString &webDirectory, const TestCertificates &certificates)
    : webDirectory(webDirectory)
    , certificates(certificates)
    , listenPort(LoopbackPorts::freeLoopbackPort())
{
    process.setProcessChannelMode(QProcess::MergedChannels);
}

LocalWebServer::~LocalWebServer()
{
    stop();
}

QString LocalWebServer::url() const
{
    return QStringLiteral("https://localhost:%1/").arg(listenPort);
}

bool LocalWebServer::writeConfiguration()
{
    QFile siteFile(QStringLiteral(TQX5R_NGINX_SITE));
    if (!siteFile.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1").arg(siteFile.fileName());
        return false;
    }
    QByteArray site = siteFile.readAll();
    const QList<Substitution> substitutions{
        {"listen 443 ssl http2;", "listen 127.0.0.1:" + QByteArray::number(listenPort) + " ssl http2;"},
        {"listen [::]:443 ssl http2;", ""},
        {"server_name broker.lan;", "server_name localhost;"},
        {"/etc/mosquitto/certs/broker.crt", certificates.certificateFile().toLocal8Bit()},
        {"/etc/mosquitto/certs/broker.key", certificates.keyFile().toLocal8Bit()},
        {"/etc/mosquitto/certs/ca.crt", certificates.caFile().toLocal8Bit()},
        {"/usr/share/tqx5r-panel/web", webDirectory.toLocal8Bit()},
        {"https://127.0.0.1:8884", "https://127.0.0.1:" + QByteArray::number(brokerPort)},
        {"proxy_ssl_name broker.lan;", "proxy_ssl_name localhost;"},
    };
    for (const Substitution &s : substitutions) {
        if (!site.contains(s.station)) {
            error = QStringLiteral("the site file no longer holds \"%1\"").arg(QString::fromLatin1(s.station));
            return false;
        }
        site.replace(s.station, s.here);
    }
    const QByteArray folder = directory.path().toLocal8Bit();
    // As root, nginx's workers would drop to a user who cannot read our
    // private folders.
    const QByteArray user = ::geteuid() == 0 ? "user " + LoopbackPorts::currentUser() + ";\n" : QByteArray();
    const QByteArray config = "daemon off;\nmaster_process on;\nworker_processes 1;\n" + user
                              + "pid " + folder + "/nginx.pid;\nerror_log stderr warn;\n"
                                "events { worker_connections 64; }\n"
                                "http {\n"
                                "include /etc/nginx/mime.types;\ndefault_type application/octet-stream;\n"
                                "access_log " + folder + "/access.log;\n"
                                "client_body_temp_path " + folder + "/body;\nproxy_temp_path " + folder + "/proxy;\n"
                                "fastcgi_temp_path " + folder + "/fastcgi;\nuwsgi_temp_path " + folder + "/uwsgi;\n"
                                "scgi_temp_path " + folder + "/scgi;\n"
                              + site + "}\n";
    QFile file(directory.filePath(QStringLiteral("nginx.conf")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(config) != config.size()) {
        error = QStringLiteral("cannot write %1").arg(file.fileName());
        return false;
    }
    return true;
}

bool LocalWebServer::start()
{
    if (!directory.isValid() || listenPort == 0 || !writeConfiguration()) {
        error = error.isEmpty() ? QStringLiteral("cannot set up nginx") : error;
        return false;
    }
    // -e: nginx would otherwise open Debian's own error log before reading ours.
    process.start(QStringLiteral("/usr/sbin/nginx"),
                  {QStringLiteral("-p"), directory.path(), QStringLiteral("-e"), QStringLiteral("stderr"),
                   QStringLiteral("-c"), directory.filePath(QStringLiteral("nginx.conf"))});
    QElapsedTimer clock;
    clock.start();
    if (process.waitForStarted(startTimeoutMs)) {
        while (clock.elapsed() < startTimeoutMs && process.state() == QProcess::Running) {
            if (LoopbackPorts::canConnect(listenPort))
                return true;
            process.waitForFinished(connectRetryMs);
        }
    }
    error = QStringLiteral("nginx did not start: %1 %2").arg(process.errorString(), QString::fromLocal8Bit(log()));
    stop();
    return false;
}

void LocalWebServer::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    // SIGTERM: nginx's master ends its workers and then itself.
    process.terminate();
    if (!process.waitForFinished(startTimeoutMs)) {
        process.kill();
        process.waitForFinished(startTimeoutMs);
    }
    logged += process.readAll();
}

QByteArray LocalWebServer::log()
{
    logged += process.readAll();
    return logged;
}
