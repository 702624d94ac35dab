#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A Secret Service of the test's own: a D-Bus session daemon on a socket in a
// private folder (no service activation, so nothing else starts on it) and
// GNOME's keyring on that bus, its login keyring in the same folder, unlocked
// with a password handed over on its standard input. Both are stopped by PID
// with the object.
//
// D-Bus connections are made once per process: call start() before anything
// in the process touches the session bus; it points DBUS_SESSION_BUS_ADDRESS
// at the private bus.
class PrivateKeyring
{
public:
    PrivateKeyring();
    ~PrivateKeyring();
    PrivateKeyring(const PrivateKeyring &) = delete;
    PrivateKeyring &operator=(const PrivateKeyring &) = delete;

    bool start();
    void stop();
    // Freezes and thaws the keyring (SIGSTOP / SIGCONT), as a daemon that
    // hangs would.
    void pause();
    void resume();

    QString busAddress() const { return address; }
    QString folder() const { return directory.path(); }
    QString errorString() const { return error; }

private:
    bool waitForSecretService(int timeoutMs);

    QTemporaryDir directory;
    QProcess bus;
    QProcess keyring;
    QString address;
    QString error;
};
