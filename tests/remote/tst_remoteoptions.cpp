#include "remote/RemoteOptions.h"

#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

// The broker options as the command line gives them.
class tst_RemoteOptions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        passwordFile = dir.filePath("password");
        QFile file(passwordFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("s3cret pass\r\nsecond line\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        caFile = passwordFile; // only readability is checked here
        readableFile = dir.filePath("open");
        emptyFile = dir.filePath("empty");
        writableFile = dir.filePath("writable");
        foreignFile = dir.filePath("foreign");
        const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
        const QList<QPair<QString, QFile::Permissions>> files{{readableFile, ownerOnly | QFile::ReadOther},
                                                             {emptyFile, QFile::ReadOwner},
                                                             {writableFile, ownerOnly | QFile::WriteGroup},
                                                             {foreignFile, ownerOnly}};
        for (const auto &[path, permissions] : files) {
            QFile other(path);
            QVERIFY(other.open(QIODevice::WriteOnly));
            other.write(path == emptyFile ? "" : "s3cret\n");
            other.close();
            QVERIFY(other.setPermissions(permissions));
        }
        // Given to nobody; only root may do that, and only root can then
        // still read it.
        foreignOwned = ::geteuid() == 0 && ::chown(foreignFile.toLocal8Bit().constData(), 65534, 65534) == 0;
    }

    void addresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");

        QTest::newRow("host") << "broker.lan" << true << "broker.lan" << 1883;
        QTest::newRow("host and port") << "10.0.0.2:1884" << true << "10.0.0.2" << 1884;
        QTest::newRow("bare IPv6") << "::1" << true << "::1" << 1883;
        QTest::newRow("bracketed IPv6 and port") << "[fe80::1]:8883" << true << "fe80::1" << 8883;
        QTest::newRow("port 0") << "h:0" << false << "" << 0;
        QTest::newRow("port too high") << "h:65536" << false << "" << 0;
        QTest::newRow("port not a number") << "h:mqtt" << false << "" << 0;
        QTest::newRow("no host") << ":1883" << false << "" << 0;
        QTest::newRow("unclosed bracket") << "[::1:1883" << false << "" << 0;
        QTest::newRow("a URL") << "mqtt://h" << false << "" << 0;
        // A host name never holds an '@'; before the port is a login.
        QTest::newRow("a login before the host") << "op:hunter2@h" << false << "" << 0;
        QTest::newRow("a login before the host and port") << "op:hunter2@h:1883" << false << "" << 0;
        QTest::newRow("a user before the host") << "op@h" << false << "" << 0;
    }
    void addresses()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(QString, host);
        QFETCH(int, port);
        QString parsedHost;
        int parsedPort = 0;
        QCOMPARE(RemoteOptions::parseAddress(text, 1883, &parsedHost, &parsedPort), valid);
        if (valid) {
            QCOMPARE(parsedHost, host);
            QCOMPARE(parsedPort, port);
        }
    }

    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("environmentPassword");
        QTest::addColumn<bool>("enabled");
        // Settings as "address topic user password tls remote [discovery prefix]", or a warning.
        QTest::addColumn<QString>("expected");

        QTest::newRow("nothing asked") << QStringList{} << "pw" << false << "";
        QTest::newRow("owner with defaults") << QStringList{"--mqtt", "h"} << "" << true << "h:1883 tqx5r   plain owner";
        QTest::newRow("remote panel") << QStringList{"--remote", "h:1900", "--mqtt-topic", "shack/sw"} << "" << true
                                      << "h:1900 shack/sw   plain remote";
        QTest::newRow("password from the environment")
            << QStringList{"--mqtt", "localhost", "--mqtt-user", "op"} << "env pw" << true
            << "localhost:1883 tqx5r op env pw plain owner";
        QTest::newRow("password file: first line, before the environment")
            << QStringList{"--mqtt", "127.0.0.1", "--mqtt-user", "op", "--mqtt-password-file", "PASSWORD"} << "env pw"
            << true << "127.0.0.1:1883 tqx5r op s3cret pass plain owner";
        QTest::newRow("password to another computer without TLS")
            << QStringList{"--mqtt", "shack.example", "--mqtt-user", "op"} << "env pw" << true
            << "goes to shack.example unencrypted";
        // This computer is told by its address, not by how a name begins.
        QTest::newRow("password to a name that begins like a loopback address")
            << QStringList{"--mqtt", "127.evil.example", "--mqtt-user", "op"} << "env pw" << true
            << "goes to 127.evil.example unencrypted";
        QTest::newRow("password to another loopback address")
            << QStringList{"--mqtt", "127.0.0.2", "--mqtt-user", "op"} << "env pw" << true
            << "127.0.0.2:1883 tqx5r op env pw plain owner";
        QTest::newRow("password to IPv6 loopback in brackets")
            << QStringList{"--remote", "[::1]:1884", "--mqtt-user", "op"} << "env pw" << true
            << "[::1]:1884 tqx5r op env pw plain remote";
        QTest::newRow("password to localhost in capitals")
            << QStringList{"--mqtt", "LOCALHOST", "--mqtt-user", "op"} << "env pw" << true
            << "LOCALHOST:1883 tqx5r op env pw plain owner";
        QTest::newRow("password file others can read")
            << QStringList{"--mqtt", "localhost", "--mqtt-user", "op", "--mqtt-password-file", "OPEN"} << "" << true
            << "can be read by other users";
        QTest::newRow("password file others can change")
            << QStringList{"--mqtt", "localhost", "--mqtt-user", "op", "--mqtt-password-file", "WRITABLE"} << "" << true
            << "can be changed by other users";
        QTest::newRow("password file of another user")
            << QStringList{"--mqtt", "localhost", "--mqtt-user", "op", "--mqtt-password-file", "FOREIGN"} << "" << true
            << "belongs to another user";
        QTest::newRow("empty password file")
            << QStringList{"--mqtt", "localhost", "--mqtt-user", "op", "--mqtt-password-file", "EMPTY"} << "" << true
            << "holds no password";
        QTest::newRow("TLS port by default") << QStringList{"--mqtt", "h", "--mqtt-cafile", "CA"} << "" << true
                                             << "h:8883 tqx5r   tls owner";
        QTest::newRow("password without a user is not sent")
            << QStringList{"--mqtt", "h"} << "pw" << true << "password needs --mqtt-user";
        QTest::newRow("both modes") << QStringList{"--mqtt", "h", "--remote", "h"} << "" << false << "either --mqtt or --remote";
        QTest::newRow("bad address") << QStringList{"--mqtt", "h:x"} << "" << false << "not a broker address";
        QTest::newRow("wildcard topic") << QStringList{"--mqtt", "h", "--mqtt-topic", "a/#"} << "" << false
                                        << "cannot be a base topic";
        QTest::newRow("missing password file")
            << QStringList{"--mqtt", "h", "--mqtt-user", "op", "--mqtt-password-file", "/no/such/file"} << "" << false
            << "Cannot read the file given with --mqtt-password-file";
        // What may be a password typed in the wrong place is never repeated.
        QTest::newRow("a password given as the password file")
            << QStringList{"--mqtt", "h", "--mqtt-user", "op", "--mqtt-password-file", "hunter2"} << "" << false
            << "--mqtt-password-file: No such file";
        QTest::newRow("a login in the broker address")
            << QStringList{"--mqtt", "op:hunter2@h"} << "" << false << "The --mqtt value is not a broker address";
        QTest::newRow("a login in the broker address, with a port")
            << QStringList{"--remote", "op:hunter2@h:1883"} << "" << false << "The --remote value is not a broker address";
        QTest::newRow("missing CA file") << QStringList{"--mqtt", "h", "--mqtt-cafile", "/no/ca"} << "" << false
                                         << "Cannot read the CA file";
        QTest::newRow("broker options without a broker") << QStringList{"--mqtt-user", "op"} << "" << false
                                                         << "--mqtt-user is ignored";
        QTest::newRow("discovery, then another option")
            << QStringList{"--mqtt", "h", "--mqtt-discovery", "--mqtt-topic", "sw"} << "" << true
            << "h:1883 sw   plain owner homeassistant";
        QTest::newRow("own discovery prefix") << QStringList{"--mqtt", "h", "--mqtt-discovery-prefix", "ha/x"} << ""
                                              << true << "h:1883 tqx5r   plain owner ha/x";
        QTest::newRow("bad discovery prefix") << QStringList{"--mqtt", "h", "--mqtt-discovery-prefix", "ha/#"} << ""
                                              << false << "cannot be a discovery prefix";
        QTest::newRow("discovery on a remote panel") << QStringList{"--remote", "h", "--mqtt-discovery"} << "" << true
                                                     << "ignored by a remote panel";
        QTest::newRow("discovery without a broker") << QStringList{"--mqtt-discovery"} << "" << false
                                                    << "ignored without --mqtt";
    }
    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, environmentPassword);
        QFETCH(bool, enabled);
        QFETCH(QString, expected);
        arguments.replaceInStrings("PASSWORD", passwordFile);
        arguments.replaceInStrings("OPEN", readableFile);
        arguments.replaceInStrings("EMPTY", emptyFile);
        arguments.replaceInStrings("WRITABLE", writableFile);
        if (arguments.contains("FOREIGN") && !foreignOwned)
            QSKIP("only root can give a file to another user");
        arguments.replaceInStrings("FOREIGN", foreignFile);
        arguments.replaceInStrings(QRegularExpression("^CA$"), caFile);
        qputenv(RemoteOptions::passwordVariable, environmentPassword.toUtf8());

        RemoteOptions remoteOptions;
        QCommandLineParser parser;
        remoteOptions.add(parser);
        QVERIFY(parser.parse(QStringList{"tqx5r-panel"} + arguments));
        QStringList warnings;
        const std::optional<BrokerSettings> settings = remoteOptions.read(parser, &warnings);
        QCOMPARE(settings.has_value(), enabled);
        QVERIFY(!settings || !settings->remotePanel() || settings->discoveryPrefixInUse().isEmpty());
        // Read once, the password leaves the environment: nothing this
        // program starts inherits it.
        QVERIFY(!qEnvironmentVariableIsSet(RemoteOptions::passwordVariable));
        const QString allWarnings = warnings.join('\n');
        QVERIFY2(!allWarnings.contains("s3cret") && !allWarnings.contains("env pw") && !allWarnings.contains("hunter2")
                     && !allWarnings.contains(dir.path()),
                 qPrintable(allWarnings));
        if (expected.isEmpty() || !warnings.isEmpty()) {
            QVERIFY2(expected.isEmpty() ? warnings.isEmpty() : allWarnings.contains(expected), qPrintable(allWarnings));
            return;
        }
        const QString shown = QStringList{settings->address(), settings->topic, settings->user, settings->password,
                                          settings->usesTls() ? "tls" : "plain", settings->remotePanel() ? "remote" : "owner",
                                          settings->discoveryPrefixInUse()}
                                  .join(' ')
                                  .trimmed();
        QCOMPARE(shown, expected);
    }

private:
    QTemporaryDir dir;
    QString passwordFile;
    QString readableFile;
    QString emptyFile;
    QString writableFile;
    QString foreignFile;
    bool foreignOwned = false;
    QString caFile;
};

QTEST_GUILESS_MAIN(tst_RemoteOptions)
#include "tst_remoteoptions.moc"
