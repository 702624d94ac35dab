#include "support/PrivateKeyring.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QScopeGuard>
#include <QFile>

#include <signal.h>
#include <sys/types.h>

namespace {

const QByteArray unlockPassword = "test-keyring-unlock";

// A session bus that only routes: no service files, so asking for a name
// nobody owns fails at once instead of starting the desktop's own daemons.
const char *busConfiguration = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

} // namespace

PrivateKeyring::PrivateKeyring() = default;

PrivateKeyring::~PrivateKeyring()
{
    stop();
}

bool PrivateKeyring::start()
{
    if (!directory.isValid()) {
        error = QStringLiteral("no temporary folder");
        return false;
    }
    const QString configPath = directory.filePath(QStringLiteral("bus.conf"));
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly)
        || config.write(QString::fromLatin1(busConfiguration).arg(directory.path()).toUtf8()) < 0) {
        error = QStringLiteral("cannot write %1").arg(configPath);
        return false;
    }
    config.close();

    bus.setProcessChannelMode(QProcess::SeparateChannels);
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--config-file=") + configPath, QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    if (!bus.waitForStarted(10000)) {
        error = QStringLiteral("dbus-daemon did not start: %1").arg(bus.errorString());
        return false;
    }
    const QDeadlineTimer deadline(10000);
    while (!bus.canReadLine() && !deadline.hasExpired())
        bus.waitForReadyRead(100);
    address = QString::fromUtf8(bus.readLine()).trimmed();
    if (address.isEmpty()) {
        error = QStringLiteral("dbus-daemon gave no address");
        return false;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());

    // The keyring keeps its files, and looks for its control socket, in the
    // private folder only.
    QDir(directory.path()).mkpath(QStringLiteral("home"));
    QDir(directory.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(directory.filePath(QStringLiteral("run")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    environment.insert(QStringLiteral("HOME"), directory.filePath(QStringLiteral("home")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), directory.filePath(QStringLiteral("home/data")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), directory.filePath(QStringLiteral("home/config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), directory.filePath(QStringLiteral("run")));
    keyring.setProcessEnvironment(environment);
    keyring.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    keyring.start(QStringLiteral("gnome-keyring-daemon"),
                  {QStringLiteral("--foreground"), QStringLiteral("--unlock"), QStringLiteral("--components=secrets")});
    if (!keyring.waitForStarted(10000)) {
        error = QStringLiteral("gnome-keyring-daemon did not start: %1").arg(keyring.errorString());
        return false;
    }
    keyring.write(unlockPassword);
    keyring.waitForBytesWritten(5000);
    keyring.closeWriteChannel();
    return waitForSecretService(15000);
}

bool PrivateKeyring::waitForSecretService(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    // A connection of its own to the private bus: the process's session bus
    // connection may have been made before the address was set.
    const QString connectionName = QStringLiteral("tqx5r-private-keyring");
    QDBusConnection connection = QDBusConnection::connectToBus(address, connectionName);
    QDBusConnectionInterface *names = connection.interface();
    const auto disconnect = qScopeGuard([&] { QDBusConnection::disconnectFromBus(connectionName); });
    while (!deadline.hasExpired()) {
        if (names && names->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")))
            return true;
        if (keyring.state() != QProcess::Running) {
            error = QStringLiteral("gnome-keyring-daemon ended: %1").arg(QString::fromUtf8(keyring.readAll()));
            return false;
        }
        // Waits a little and keeps the process's pipes moving.
        keyring.waitForFinished(50);
    }
    error = QStringLiteral("the keyring did not take the Secret Service name in time");
    return false;
}

void PrivateKeyring::pause()
{
    if (keyring.state() == QProcess::Running)
        ::kill(static_cast<pid_t>(keyring.processId()), SIGSTOP);
}

void PrivateKeyring::resume()
{
    if (keyring.state() == QProcess::Running)
        ::kill(static_cast<pid_t>(keyring.processId()), SIGCONT);
}

void PrivateKeyring::stop()
{
    resume();
    for (QProcess *process : {&keyring, &bus}) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
}
