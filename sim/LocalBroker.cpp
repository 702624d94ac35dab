#include "sim/LocalBroker.h"

#include <QElapsedTimer>
#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int startTimeoutMs = 10000;
constexpr int toolTimeoutMs = 30000;
constexpr int connectRetryMs = 20;

// A port the kernel has just handed out and nobody listens on.
int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool canConnect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

// Mosquitto started as root drops to its own user, who could not read the
// files in our folder; naming the user we run as keeps it as it is.
QByteArray currentUser()
{
    const passwd *entry = ::getpwuid(::geteuid());
    return entry ? QByteArray(entry->pw_name) : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

} // namespace

LocalBroker::LocalBroker()
    : listenPort(freeLoopbackPort())
{
    process.setProcessChannelMode(QProcess::MergedChannels);
}

LocalBroker::~LocalBroker()
{
    kill();
}

void LocalBroker::addUser(const QString &user, const QString &password)
{
    accounts.append({user, password});
}

void LocalBroker::setAcl(const QString &aclText)
{
    acl = aclText;
}

void LocalBroker::enableWebSockets(const QString &httpDir)
{
    if (webPort == 0)
        webPort = freeLoopbackPort();
    webDirectory = httpDir;
}

QString LocalBroker::webUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(webPort);
}

QString LocalBroker::caFile() const
{
    return directory.filePath(QStringLiteral("ca.crt"));
}

bool LocalBroker::run(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    tool.setWorkingDirectory(directory.path());
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    if (!tool.waitForFinished(toolTimeoutMs) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        error = QStringLiteral("%1 failed: %2 %3").arg(program, tool.errorString(), QString::fromLocal8Bit(tool.readAll()));
        return false;
    }
    return true;
}

bool LocalBroker::enableTls()
{
    const QStringList ecKey{QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                            QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    const QString openssl = QStringLiteral("openssl");
    tls = writeFile(directory.filePath(QStringLiteral("server.ext")), "subjectAltName=DNS:localhost\n")
          && run(openssl, QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + ecKey
                              + QStringList{QStringLiteral("-keyout"), QStringLiteral("ca.key"), QStringLiteral("-out"),
                                            QStringLiteral("ca.crt"), QStringLiteral("-days"), QStringLiteral("2"),
                                            QStringLiteral("-subj"), QStringLiteral("/CN=TQX-5R test CA")})
          && run(openssl, QStringList{QStringLiteral("req")} + ecKey
                              + QStringList{QStringLiteral("-keyout"), QStringLiteral("server.key"), QStringLiteral("-out"),
                                            QStringLiteral("server.csr"), QStringLiteral("-subj"),
                                            QStringLiteral("/CN=localhost")})
          && run(openssl, {QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), QStringLiteral("server.csr"),
                           QStringLiteral("-CA"), QStringLiteral("ca.crt"), QStringLiteral("-CAkey"), QStringLiteral("ca.key"),
                           QStringLiteral("-CAcreateserial"), QStringLiteral("-out"), QStringLiteral("server.crt"),
                           QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-extfile"), QStringLiteral("server.ext")});
    return tls;
}

bool LocalBroker::writeConfiguration()
{
    QByteArray config = "listener " + QByteArray::number(listenPort) + " 127.0.0.1\n"
                        "user " + currentUser() + "\n"
                        "persistence false\n"
                        "log_dest stderr\n";
    if (tls) {
        config += "cafile " + caFile().toLocal8Bit() + "\n"
                  "certfile " + directory.filePath(QStringLiteral("server.crt")).toLocal8Bit() + "\n"
                  "keyfile " + directory.filePath(QStringLiteral("server.key")).toLocal8Bit() + "\n";
    }
    if (accounts.isEmpty()) {
        config += "allow_anonymous true\n";
    } else {
        QByteArray passwords;
        for (const auto &account : qAsConst(accounts))
            passwords += account.first.toUtf8() + ':' + account.second.toUtf8() + '\n';
        const QString passwordFile = directory.filePath(QStringLiteral("passwords"));
        // Hashes the plain passwords in place.
        if (!writeFile(passwordFile, passwords) || !run(QStringLiteral("mosquitto_passwd"), {QStringLiteral("-U"), passwordFile}))
            return false;
        config += "allow_anonymous false\npassword_file " + passwordFile.toLocal8Bit() + "\n";
    }
    if (!acl.isEmpty()) {
        const QString aclFile = directory.filePath(QStringLiteral("acl"));
        if (!writeFile(aclFile, acl.toUtf8()))
            return false;
        config += "acl_file " + aclFile.toLocal8Bit() + "\n";
    }
    // Last, so the TLS lines above stay with the first listener.
    if (webPort != 0) {
        config += "listener " + QByteArray::number(webPort) + " 127.0.0.1\nprotocol websockets\n";
        if (!webDirectory.isEmpty())
            config += "http_dir " + webDirectory.toLocal8Bit() + "\n";
    }
    return writeFile(directory.filePath(QStringLiteral("mosquitto.conf")), config);
}

bool LocalBroker::start()
{
    if (!directory.isValid()) {
        error = QStringLiteral("no temporary folder");
        return false;
    }
    if (!configured) {
        configured = listenPort != 0 && writeConfiguration();
        if (!configured) {
            error = error.isEmpty() ? QStringLiteral("cannot set up the broker") : error;
            return false;
        }
    }
    process.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), directory.filePath(QStringLiteral("mosquitto.conf"))});
    if (!process.waitForStarted(startTimeoutMs) || !waitUntilListening(startTimeoutMs)) {
        error = QStringLiteral("mosquitto did not start: %1 %2").arg(process.errorString(), QString::fromLocal8Bit(log()));
        kill();
        return false;
    }
    return true;
}

bool LocalBroker::waitUntilListening(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        if (canConnect(listenPort) && (webPort == 0 || canConnect(webPort)))
            return true;
        if (process.waitForFinished(connectRetryMs) || process.state() != QProcess::Running)
            return false;
    }
    return false;
}

void LocalBroker::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(startTimeoutMs))
        kill();
    logged += process.readAll();
}

void LocalBroker::kill()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(startTimeoutMs);
    logged += process.readAll();
}

bool LocalBroker::isRunning() const
{
    return process.state() == QProcess::Running;
}

QByteArray LocalBroker::log()
{
    logged += process.readAll();
    return logged;
}
