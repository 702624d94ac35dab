#include "sim/LocalBroker.h"

#include "sim/LoopbackPorts.h"
#include "sim/TestCertificates.h"

#include <QElapsedTimer>
#include <QFile>

namespace {

constexpr int startTimeoutMs = 10000;
constexpr int toolTimeoutMs = 30000;
constexpr int connectRetryMs = 20;

// The lines that put the listener before them on TLS.
QByteArray tlsLines(const TestCertificates &certificates)
{
    return "cafile " + certificates.caFile().toLocal8Bit() + "\n"
           "certfile " + certificates.certificateFile().toLocal8Bit() + "\n"
           "keyfile " + certificates.keyFile().toLocal8Bit() + "\n";
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

} // namespace

LocalBroker::LocalBroker()
    : listenPort(LoopbackPorts::freeLoopbackPort())
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

void LocalBroker::enableWebSockets(const QString &httpDir, const TestCertificates *certificates)
{
    if (webPort == 0)
        webPort = LoopbackPorts::freeLoopbackPort();
    webDirectory = httpDir;
    webCertificates = certificates;
}

QString LocalBroker::webUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(webPort);
}

QString LocalBroker::caFile() const
{
    return certificates ? certificates->caFile() : QString();
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
    certificates = std::make_unique<TestCertificates>();
    if (!certificates->make()) {
        error = certificates->errorString();
        certificates.reset();
        return false;
    }
    return true;
}

bool LocalBroker::writeConfiguration()
{
    QByteArray config = "listener " + QByteArray::number(listenPort) + " 127.0.0.1\n"
                        "user " + LoopbackPorts::currentUser() + "\n"
                        "persistence false\n"
                        "log_dest stderr\n";
    if (certificates)
        config += tlsLines(*certificates);
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
        if (webCertificates)
            config += tlsLines(*webCertificates);
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
        if (LoopbackPorts::canConnect(listenPort) && (webPort == 0 || LoopbackPorts::canConnect(webPort)))
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
