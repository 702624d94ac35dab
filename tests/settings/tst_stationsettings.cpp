#include "app/StationCommandLine.h"
#include "band/BandFollowSettings.h"
#include "band/BandMemory.h"
#include "remote/BrokerSettings.h"
#include "settings/StationOverrides.h"
#include "settings/StationProfile.h"
#include "settings/StationSettingsFile.h"
#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Every field away from its default, texts included.
StationSettings everythingSet()
{
    StationSettings s;
    s.bandFollow.enabled = false;
    s.bandFollow.rig.kind = RigSourceSettings::Kind::SerialRadio;
    s.bandFollow.rig.rigctldAddress = "[::1]:4533";
    s.bandFollow.rig.model = 1035;
    s.bandFollow.rig.device = "/dev/serial/by-id/usb-Radio, \"CAT\" port";
    s.bandFollow.rig.speed = 38400;
    s.bandFollow.loggerPorts = QStringList{"12060", "239.255.0.1:2237"};
    s.bandFollow.allowedSenders = QStringList{"192.168.1.0/24"};
    s.bandFollow.loggerRadio = 2;
    s.bandFollow.hangMs = 0;
    s.reconnect = true;
    s.connectAtStart = true;
    s.lastConnection = {"COM3", 250000, "250000", QSerialPort::Data7, "7", QSerialPort::MarkParity, "Mark",
                        QSerialPort::OneAndHalfStop, "1.5", QSerialPort::SoftwareControl, "XON/XOFF"};
    s.broker.mode = BrokerSettings::Mode::RemotePanel;
    s.broker.host = "fd00::7";
    s.broker.port = 8884;
    s.broker.topic = "shack/switch-2";
    s.broker.user = QString::fromUtf8("op=2; ü");
    s.broker.caFile = "/etc/ssl/shack ca.pem";
    s.broker.discovery = true;
    s.broker.discoveryPrefix = "ha";
    return s;
}

// The effective settings in a line a table can hold.
QString summary(const EffectiveStation &e)
{
    QStringList parts;
    const BandFollowSettings &f = e.bandFollow();
    QString follow = e.bandFollowRuns ? QStringLiteral("follow on") : QStringLiteral("follow off");
    if (e.bandFollowRuns) {
        if (f.rig.kind == RigSourceSettings::Kind::Rigctld)
            follow += " rigctld " + f.rig.rigctldAddress;
        if (f.rig.kind == RigSourceSettings::Kind::SerialRadio)
            follow += QStringLiteral(" radio %1 %2 %3").arg(f.rig.model).arg(f.rig.device).arg(f.rig.speed);
        if (!f.loggerPorts.isEmpty())
            follow += " udp " + f.loggerPorts.join(',');
        if (!f.allowedSenders.isEmpty())
            follow += " from " + f.allowedSenders.join(',');
        if (f.loggerRadio != BandFollowSettings::activeRadio)
            follow += QStringLiteral(" radio %1").arg(f.loggerRadio);
        follow += QStringLiteral(" hang %1").arg(f.hangMs);
    }
    parts << follow << (e.reconnect() ? "reconnect" : "no reconnect");
    parts << (e.connectAtStart ? QStringLiteral("connect %1 %2 %3%4").arg(e.connectAtStart->portName)
                                         .arg(e.connectAtStart->baudRateText, e.connectAtStart->dataBitsText,
                                              e.connectAtStart->parityText)
                               : QStringLiteral("stay disconnected"));
    const BrokerSettings &broker = e.broker();
    switch (broker.mode) {
    case BrokerSettings::Mode::Off:
        parts << "no broker";
        break;
    case BrokerSettings::Mode::Publish:
    case BrokerSettings::Mode::RemotePanel:
        parts << QStringLiteral("%1 %2:%3 password from %4%5")
                     .arg(broker.mode == BrokerSettings::Mode::Publish ? "publish" : "remote", broker.host)
                     .arg(broker.effectivePort())
                     .arg(e.passwordFrom == EffectiveStation::PasswordFrom::SecretStore ? "store" : e.brokerPassword)
                     .arg(broker.discovery ? " discovery " + broker.discoveryPrefix : QString());
        break;
    }
    return parts.join(" | ");
}

} // namespace

// Remembered settings: where each profile keeps them, that they come back as
// they were saved, that a damaged file costs nothing, and how the command line
// stands over them for one run.
class tst_StationSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    }

    void profileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("problem");
        QTest::newRow("plain") << "contest" << "";
        QTest::newRow("letters of any script") << QString::fromUtf8("Funkbude-Süd") << "";
        QTest::newRow("longest") << QString(64, 'a') << "";
        QTest::newRow("too long") << QString(65, 'a') << "at most 64";
        QTest::newRow("empty") << "" << "cannot be empty";
        QTest::newRow("parent folder") << ".." << "'.'";
        QTest::newRow("slash") << "a/b" << "'/'";
        QTest::newRow("blank") << "my shack" << "' '";
        QTest::newRow("control character") << QString("a\nb") << "U+000a";
        QTest::newRow("Windows device") << "nul" << "device name";
        QTest::newRow("Windows device with extension") << "COM1.ini" << "device name";
    }
    void profileNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, problem);
        const QString found = StationProfile::nameProblem(name);
        QVERIFY2(problem.isEmpty() ? found.isEmpty() : found.contains(problem), qPrintable(found));
    }

    // The default profile keeps the band memory where band follow has always
    // kept it; a named one has a folder of its own with all three files.
    void pathsPerProfile()
    {
        const QString folder = config.path() + "/tqx5r-panel";
        const StationProfile::Paths standard = StationProfile::paths();
        QCOMPARE(standard.settingsFile, folder + "/station.ini");
        QCOMPARE(standard.bandMemoryFile, BandMemory::defaultPath());
        QCOMPARE(standard.captionsFile, folder + "/settings.cfg");

        const StationProfile::Paths named = StationProfile::paths("contest");
        QCOMPARE(named.folder, folder + "/profiles/contest");
        for (const QString &path : {named.settingsFile, named.bandMemoryFile, named.captionsFile})
            QCOMPARE(QFileInfo(path).absolutePath(), named.folder);
    }

    void roundTripAndFirstStart()
    {
        const QString path = StationProfile::paths("roundtrip").settingsFile;
        StationSettingsFile file(path);
        QVERIFY(file.load() == StationSettings());
        QCOMPARE(file.problem(), QString());
        QVERIFY2(!QFileInfo::exists(path), "reading must not create the file");

        const StationSettings saved = everythingSet();
        QVERIFY(file.save(saved));
        StationSettingsFile again(path);
        const StationSettings loaded = again.load();
        QCOMPARE(again.problem(), QString());
        QVERIFY(loaded == saved);
        QVERIFY(!(loaded == StationSettings()));

        // Keys a later version may add survive a save.
        {
            QSettings later(path, QSettings::IniFormat);
            later.setIniCodec("UTF-8");
            later.setValue("Future/Key", "kept");
        }
        QVERIFY(again.save(StationSettings()));
        QCOMPARE(QSettings(path, QSettings::IniFormat).value("Future/Key").toString(), QString("kept"));
        QVERIFY(StationSettingsFile(path).load() == StationSettings());
    }

    void damagedFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("problem");
        QTest::addColumn<bool>("reconnectKept");

        QTest::newRow("binary") << QByteArray("[Connection]\nReconnect=true\n\0\0\x01\x02", 32) << "control characters"
                                << false;
        QTest::newRow("not UTF-8") << QByteArray("[Connection]\nReconnect=true\nPort=\xff\xfe\n") << "not UTF-8" << false;
        QTest::newRow("not INI") << QByteArray("[Connection]\nReconnect=true\nthis is a letter, not settings\n")
                                 << "not in the INI format" << false;
        QTest::newRow("too large") << QByteArray("[Connection]\nReconnect=true\n;") + QByteArray(300 * 1024, 'x')
                                   << "larger than 256 KiB" << false;
        // Values that make no sense fall back one by one; the rest is taken.
        QTest::newRow("bad values") << QByteArray("[Connection]\nReconnect=true\nParity=7\n[BandFollow]\nHangMs=-5\n"
                                                  "Enabled=maybe\n[Broker]\nMode=sideways\nPort=70000\n")
                                    << "BandFollow/Enabled, BandFollow/HangMs, Connection/Parity, Broker/Mode, Broker/Port"
                                    << true;
    }
    // Defaults and one message; the file stays as it is until a setting
    // changes, and is then kept byte for byte beside the new one.
    void damagedFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);
        QFETCH(bool, reconnectKept);
        const QString profilePath = StationProfile::paths(QString(QTest::currentDataTag()).replace(' ', '-')).settingsFile;
        QVERIFY(writeFile(profilePath, bytes));

        StationSettingsFile file(profilePath);
        StationSettings loaded = file.load();
        QVERIFY2(file.problem().contains(problem), qPrintable(file.problem()));
        QVERIFY(file.problem().contains(profilePath));
        QVERIFY(file.problem().contains(profilePath + ".bad"));
        StationSettings expected;
        expected.reconnect = reconnectKept;
        QVERIFY(loaded == expected);
        QCOMPARE(contents(profilePath), bytes);

        loaded.connectAtStart = true;
        QVERIFY(file.save(loaded));
        QCOMPARE(file.keptCopy(), profilePath + ".bad");
        QCOMPARE(contents(profilePath + ".bad"), bytes);
        // The copy is set aside once: the next save writes the good file.
        loaded.reconnect = !loaded.reconnect;
        QVERIFY(file.save(loaded));
        QVERIFY(!QFileInfo::exists(profilePath + ".bad.2"));
        StationSettingsFile after(profilePath);
        QVERIFY(after.load() == loaded);
        QCOMPARE(after.problem(), QString());

        // A second damaged file does not replace the first copy.
        QVERIFY(writeFile(profilePath, bytes));
        StationSettingsFile third(profilePath);
        third.load();
        QVERIFY(third.problem().contains(profilePath + ".bad.2"));
        QVERIFY(third.save(loaded));
        QCOMPARE(contents(profilePath + ".bad"), bytes);
        QCOMPARE(contents(profilePath + ".bad.2"), bytes);
    }

    // A remembered connection lacking a line parameter (an older or
    // hand-written file), or with one that makes no sense, connects with
    // Serial Settings' default for it and says which.
    void lastConnectionTakesTheDialogsDefaults_data()
    {
        QTest::addColumn<QByteArray>("connection");
        QTest::addColumn<QString>("said");
        QTest::newRow("only the port") << QByteArray("Port=/dev/ttyUSB4\n")
                                       << "has no Connection/BaudRate, Connection/DataBits, Connection/Parity";
        QTest::newRow("a baud rate that is no number") << QByteArray("Port=/dev/ttyUSB4\nBaudRate=abc\nDataBits=8\n"
                                                                     "Parity=0\nStopBits=1\nFlowControl=0\n")
                                                       << "make no sense and their defaults are used: Connection/BaudRate";
        QTest::newRow("zeros, as a record never filled holds them")
            << QByteArray("Port=/dev/ttyUSB4\nBaudRate=0\nDataBits=0\nParity=0\nStopBits=0\nFlowControl=0\n")
            << "Connection/BaudRate, Connection/DataBits, Connection/StopBits";
    }
    void lastConnectionTakesTheDialogsDefaults()
    {
        QFETCH(QByteArray, connection);
        QFETCH(QString, said);
        const QString path = StationProfile::paths(QString(QTest::currentDataTag()).replace(' ', '-')).settingsFile;
        QVERIFY(writeFile(path, "[Connection]\nConnectAtStart=true\n" + connection));
        StationSettingsFile file(path);
        const StationSettings loaded = file.load();
        QVERIFY2(file.problem().contains(said), qPrintable(file.problem()));
        QVERIFY(sameSerialSettings(loaded.lastConnection, defaultSerialSettings("/dev/ttyUSB4")));
        QVERIFY(loaded.connectAtStart);
    }

    void folderInPlaceOfTheFile()
    {
        const QString path = StationProfile::paths("folder").settingsFile;
        QVERIFY(QDir().mkpath(path));
        StationSettingsFile file(path);
        QVERIFY(file.load() == StationSettings());
        QVERIFY2(file.problem().contains("it is a folder"), qPrintable(file.problem()));
        StationSettings changed;
        changed.reconnect = true;
        QVERIFY(file.save(changed));
        QVERIFY(QFileInfo(path + ".bad").isDir());
        QVERIFY(StationSettingsFile(path).load() == changed);
    }

    void overrides_data()
    {
        QTest::addColumn<QString>("remembered");  // words: rigctld logger off reconnect connect publish remote
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("effective");

        const QString rigctld = "follow on rigctld shack:4532 hang 500";
        const QString connect = "connect /dev/ttyUSB3 19200 7Even";
        QTest::newRow("first start") << "" << QStringList()
                                     << "follow off | no reconnect | stay disconnected | no broker";
        QTest::newRow("all remembered") << "rigctld reconnect connect publish" << QStringList()
                                        << rigctld + " | reconnect | " + connect
                                               + " | publish broker.lan:1883 password from store";
        QTest::newRow("follow switched off") << "rigctld off" << QStringList()
                                             << "follow off | no reconnect | stay disconnected | no broker";
        QTest::newRow("connect at start, no port yet") << "connect-empty" << QStringList()
                                                       << "follow off | no reconnect | stay disconnected | no broker";
        QTest::newRow("--port wins with default line") << "connect" << QStringList{"--port", "/dev/ttyUSB9"}
                                                       << "follow off | no reconnect | connect /dev/ttyUSB9 9600 8None | no broker";
        QTest::newRow("--reconnect") << "" << QStringList{"--reconnect"}
                                     << "follow off | reconnect | stay disconnected | no broker";
        const QStringList follow{"--rig-model", "1", "--rig-file", "/dev/ttyUSB1", "--rig-speed", "38400",
                                 "--logger-udp", "12060"};
        QTest::newRow("sources replace remembered ones") << "rigctld logger off" << follow
                                                         << "follow on radio 1 /dev/ttyUSB1 38400 udp 12060 hang 500 | "
                                                            "no reconnect | stay disconnected | no broker";
        QTest::newRow("senders, radio and hang reach the run")
            << "logger" << QStringList{"--logger-from", "127.0.0.1", "--logger-radio", "2", "--follow-hang", "3000"}
            << "follow on udp 2237 from 127.0.0.1 radio 2 hang 3000 | no reconnect | stay disconnected | no broker";
        QTest::newRow("... with the sources") << "" << follow + QStringList{"--logger-from", "10.0.0.0/8", "--follow-hang", "0"}
                                              << "follow on radio 1 /dev/ttyUSB1 38400 udp 12060 from 10.0.0.0/8 hang 0 | "
                                                 "no reconnect | stay disconnected | no broker";
        QTest::newRow("bad band follow option") << "rigctld" << QStringList{"--follow-hang", "-5"}
                                                << "follow off | no reconnect | stay disconnected | no broker";
        QTest::newRow("hang time over remembered sources") << "logger" << QStringList{"--follow-hang", "0"}
                                                           << "follow on udp 2237 hang 0 | no reconnect | "
                                                              "stay disconnected | no broker";
        const QStringList mqtt{"--mqtt", "cli.lan:1884", "--mqtt-user", "cli"};
        QTest::newRow("--mqtt replaces the broker") << "publish" << mqtt
                                                    << "follow off | no reconnect | stay disconnected | "
                                                       "publish cli.lan:1884 password from pw-cli";
        QTest::newRow("bad broker option") << "publish connect" << QStringList{"--mqtt", "cli.lan:99999"}
                                           << "follow off | no reconnect | " + connect + " | no broker";
        QTest::newRow("--remote never opens a port")
            << "connect" << QStringList{"--remote", "cli.lan:1884", "--mqtt-user", "cli", "--port", "/dev/ttyUSB9"}
            << "follow off | no reconnect | stay disconnected | remote cli.lan:1884 password from pw-cli";
        QTest::newRow("remembered remote panel") << "remote connect" << QStringList()
                                                 << "follow off | no reconnect | stay disconnected | "
                                                    "remote broker.lan:1883 password from store";
        QTest::newRow("--mqtt-discovery") << "" << mqtt + QStringList{"--mqtt-discovery"}
                                          << "follow off | no reconnect | stay disconnected | "
                                             "publish cli.lan:1884 password from pw-cli discovery homeassistant";
    }
    void overrides()
    {
        QFETCH(QString, remembered);
        QFETCH(QStringList, arguments);
        QFETCH(QString, effective);

        const QStringList words = remembered.split(' ', Qt::SkipEmptyParts);
        StationSettings settings;
        if (words.contains("rigctld")) {
            settings.bandFollow.rig.kind = RigSourceSettings::Kind::Rigctld;
            settings.bandFollow.rig.rigctldAddress = "shack:4532";
        }
        if (words.contains("logger"))
            settings.bandFollow.loggerPorts = QStringList{"2237"};
        settings.bandFollow.enabled = !words.contains("off");
        settings.reconnect = words.contains("reconnect");
        settings.connectAtStart = words.contains("connect") || words.contains("connect-empty");
        if (words.contains("connect"))
            settings.lastConnection = {"/dev/ttyUSB3", 19200, "19200", QSerialPort::Data7, "7", QSerialPort::EvenParity,
                                       "Even", QSerialPort::OneStop, "1", QSerialPort::NoFlowControl, "None"};
        if (words.contains("publish") || words.contains("remote")) {
            settings.broker.mode = words.contains("publish") ? BrokerSettings::Mode::Publish
                                                             : BrokerSettings::Mode::RemotePanel;
            settings.broker.host = "broker.lan";
            settings.broker.user = "op";
        }

        // Read as the program reads its command line.
        qputenv("TQX5R_MQTT_PASSWORD", "pw-cli");
        Station::Options options;
        QString refusal;
        QVERIFY(StationCommandLine().read(QStringList{"tqx5r-panel"} + arguments, &options, &refusal));
        const StationOverrides &overrides = options.overrides;
        const EffectiveStation result = effectiveStation(settings, overrides, "/profile/bands.ini");
        QCOMPARE(summary(result).replace("7 Even", "7Even").replace("8 None", "8None"), effective);
        QCOMPARE(result.bandMemoryPath, QString("/profile/bands.ini"));
        QCOMPARE(result.brokerFromCommandLine, arguments.contains("--mqtt") || arguments.contains("--remote"));
    }

    // What band follow starts from: the logger entries that parse, each one
    // that does not left out and named; a sender that does not parse never
    // opens the port to everyone.
    void loggerSources()
    {
        BandFollowSettings follow;
        follow.loggerPorts = QStringList{"12060", "twelve", "12060", "239.255.0.1:2237"};
        follow.allowedSenders = QStringList{"10.0.0.300"};
        QStringList problems;
        const LoggerSources sources = LoggerSources::of(follow, &problems);
        QCOMPARE(sources.ports.size(), 2);
        QCOMPARE(problems.size(), 2);
        QVERIFY(problems.first().contains("'twelve'"));
        QVERIFY(problems.last().contains("'10.0.0.300'"));
        QVERIFY(!sources.senders.accepts(QHostAddress("127.0.0.1")));
        QVERIFY(LoggerSources::of(BandFollowSettings(), nullptr).senders.accepts(QHostAddress("127.0.0.1")));

    }

    // The broker as it runs: the usual port for TLS, and a password that is
    // never remembered.
    void brokerAsItRuns()
    {
        BrokerSettings broker;
        broker.host = "::1";
        broker.caFile = "/ca.pem";
        broker.mode = BrokerSettings::Mode::RemotePanel;
        broker.discovery = true;
        broker.password = "secret";
        QCOMPARE(broker.address(), QString("[::1]:8883"));
        QVERIFY(broker.remotePanel() && broker.usesTls());
        // A remote panel publishes no discovery configs.
        QCOMPARE(broker.discoveryPrefixInUse(), QString());
        const QString path = StationProfile::paths("secret").settingsFile;
        StationSettings settings;
        settings.broker = broker;
        QVERIFY(StationSettingsFile(path).save(settings));
        QVERIFY(!contents(path).contains("secret"));
        QVERIFY(StationSettingsFile(path).load() == settings);
    }

private:
    QTemporaryDir config;
};

QTEST_GUILESS_MAIN(tst_StationSettings)
#include "tst_stationsettings.moc"
