#include "app/StationCommandLine.h"
#include "link/Transmitter.h"
#include "remote/RemoteOptions.h"
#include "settings/BandFollowDialog.h"
#include "settings/BrokerDialog.h"
#include "settings/StationKeys.h"
#include "settings/StationProfile.h"
#include "sim/DummyRig.h"
#include "sim/LocalBroker.h"
#include "support/BrokerWatcher.h"
#include "support/Files.h"
#include "support/ModalDismisser.h"
#include "support/PseudoTerminal.h"
#include "support/StationRun.h"

#include <QAction>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QProcess>
#include <QSpinBox>
#include <QPushButton>
#include <QSerialPort>
#include <QtTest>

#include <clocale>
#include <functional>
#include <map>

// Every setting has an effect: for every option of the command line and
// every key of station.ini, the program is started with it (the station as
// the program composes it, with the real window and a virtual switch; or
// the panel's own process) and the effect is looked for where it shows:
// bytes at the switch or at a radio's port, the line the port was set to,
// messages at a real broker, the status bar. The rows are checked against
// the program's own lists of options and keys, so a setting added without
// a row here fails.
class tst_SettingsEffects : public QObject
{
    Q_OBJECT

    using Effect = std::function<void(tst_SettingsEffects &)>;

private slots:
    void initTestCase()
    {
        // As the program does at start, before Hamlib runs on its thread.
        std::setlocale(LC_NUMERIC, "C");
        // No secret store answers: a remembered broker logs in with its
        // user and no password, as a broker without accounts lets it.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tqx5r-test-bus");
        qunsetenv(RemoteOptions::passwordVariable);
    }

    void init()
    {
        memory = std::make_unique<QTemporaryDir>();
        memoryPath = memory->filePath(QStringLiteral("bands.ini"));
        QVERIFY(writeFile(memoryPath, "[General]\n40m=5\n20m=3\n"));
        port = StationRun::freeUdpPort();
    }

    void cleanup()
    {
        run.reset();
        watcher.reset();
        broker.reset();
        rig.reset();
        radio.reset();
        memory.reset();
        qunsetenv(RemoteOptions::passwordVariable);
    }

    void everyOptionAndKeyHasARow()
    {
        QStringList settings = StationCommandLine().optionNames();
        settings << StationKeys::names();
        QStringList rows = effects().keys();
        settings.sort();
        rows.sort();
        QCOMPARE(rows, settings);
    }

    void effect_data()
    {
        QTest::addColumn<QString>("setting");
        for (const QString &setting : effects().keys())
            QTest::newRow(qPrintable(setting)) << setting;
    }
    void effect()
    {
        QFETCH(QString, setting);
        effects().value(setting)(*this);
    }

    // What the operator sets during the run wins over the command line,
    // whatever started the feature: each Station entry against the options
    // it stands for.
    void operatorWins_data()
    {
        QTest::addColumn<QString>("entry");
        for (const QString &entry : operatorRows().keys())
            QTest::newRow(qPrintable(entry)) << entry;
    }
    void operatorWins()
    {
        QFETCH(QString, entry);
        operatorRows().value(entry)(*this);
    }

private:
    static QMap<QString, Effect> operatorRows()
    {
        QMap<QString, Effect> rows;
        rows["Band Follow (Ctrl+B) against --logger-udp"] = [](tst_SettingsEffects &t) {
            t.startAndConnect({"--logger-udp", QString::number(t.port), "--bands", t.memoryPath, "--port", "DEVICE"});
            QAction *follow = t.run->linked->panel.child<QAction>("actionBand_Follow");
            QVERIFY(follow->isChecked());
            QTest::keyClick(t.run->linked->window.get(), Qt::Key_B, Qt::ControlModifier);
            QVERIFY(!follow->isChecked());
            QCOMPARE(t.run->followLabel(), QString("Follow off"));
            QVERIFY(t.sendFrom("127.0.0.1", StationRun::radioInfo(14200000, false)));
            QTest::qWait(1000);
            QCOMPARE(t.run->selects(), QList<QByteArray>());
            QTest::keyClick(t.run->linked->window.get(), Qt::Key_B, Qt::ControlModifier);
            QVERIFY(follow->isChecked());
            QVERIFY(t.sendFrom("127.0.0.1", StationRun::radioInfo(14200000, false)));
            QTRY_COMPARE(t.run->selects(), QList<QByteArray>{"IGS2;"});
        };
        rows["Band Follow (menu) against --rig-model"] = [](tst_SettingsEffects &t) {
            t.startRig();
            t.startAndConnect({"--rig-model", "2", "--rig-file", t.rig->address(), "--bands", t.memoryPath,
                               "--port", "DEVICE"});
            t.run->linked->panel.child<QAction>("actionBand_Follow")->trigger();
            QCOMPARE(t.run->followLabel(), QString("Follow off"));
            QVERIFY(t.rig->setFrequency(14200000));
            QTest::qWait(1500);
            QCOMPARE(t.run->selects(), QList<QByteArray>());
        };
        rows["Band Follow Settings against --follow-hang"] = [](tst_SettingsEffects &t) {
            t.startAndConnect({"--logger-udp", QString::number(t.port), "--follow-hang", "10000", "--bands",
                               t.memoryPath, "--port", "DEVICE"});
            BandFollowDialog *dialog = t.bandFollowDialog();
            QVERIFY(dialog);
            dialog->findChild<QSpinBox *>("hangBox")->setValue(1500);
            ok(dialog);
            t.waitsTheHangTime(1500);
        };
        rows["Band Follow Settings against --logger-from"] = [](tst_SettingsEffects &t) {
            t.startAndConnect({"--logger-udp", QString::number(t.port), "--logger-from", "10.1.1.1", "--bands",
                               t.memoryPath, "--port", "DEVICE"});
            BandFollowDialog *dialog = t.bandFollowDialog();
            QVERIFY(dialog);
            dialog->findChild<QLineEdit *>("sendersEdit")->setText("127.0.0.2");
            ok(dialog);
            t.followsOnlyTheAllowedSender();
        };
        rows["Band Follow Settings against --logger-radio"] = [](tst_SettingsEffects &t) {
            t.startAndConnect({"--logger-udp", QString::number(t.port), "--logger-radio", "1", "--bands",
                               t.memoryPath, "--port", "DEVICE"});
            BandFollowDialog *dialog = t.bandFollowDialog();
            QVERIFY(dialog);
            dialog->findChild<QComboBox *>("loggerRadioBox")->setCurrentIndex(2);
            ok(dialog);
            t.followsRadioTwo();
        };
        rows["Band Follow Settings against --logger-udp"] = [](tst_SettingsEffects &t) {
            const quint16 given = StationRun::freeUdpPort();
            t.startAndConnect({"--logger-udp", QString::number(given), "--bands", t.memoryPath, "--port", "DEVICE"});
            BandFollowDialog *dialog = t.bandFollowDialog();
            QVERIFY(dialog);
            dialog->findChild<QLineEdit *>("otherPortsEdit")->setText(QString::number(t.port));
            ok(dialog);
            t.followsTheLogger();
        };
        rows["Reconnect Automatically against --reconnect"] = [](tst_SettingsEffects &t) {
            t.startAndConnect({"--port", "DEVICE", "--reconnect"});
            QAction *reconnect = t.run->linked->panel.child<QAction>("actionReconnect_Automatically");
            QVERIFY(reconnect->isChecked());
            reconnect->trigger();
            QVERIFY(!reconnect->isChecked());
            ModalDismisser boxes;
            t.run->linked->device->vanish();
            QTRY_COMPARE_WITH_TIMEOUT(boxes.titles(), QStringList{"Critical Error"}, 5000);
            QVERIFY(!t.run->told.join('\n').contains("reconnecting"));
        };
        rows["Connect at Start against --port"] = [](tst_SettingsEffects &t) {
            t.startAndConnect({"--port", "DEVICE"});
            t.run->linked->panel.child<QAction>("actionConnect_at_Start")->trigger();
            const QString device = t.run->devicePath();
            // The next start, with no options, connects to the same port.
            t.run->station.reset();
            t.run->linked->window->closeSerialPortQuietly();
            t.run->linked->device->clearReceived();
            t.run->start();
            QTRY_VERIFY(t.run->linked->device->receivedBytes().startsWith("IGW;"));
            QCOMPARE(t.run->snapshot().linkName, device);
        };
        rows["Broker Settings against --mqtt"] = [](tst_SettingsEffects &t) {
            t.startBroker();
            t.startAndConnect({"--mqtt", t.brokerAddress(), "--port", "DEVICE"});
            t.publishesOn("tqx5r");
            t.run->linked->panel.child<QAction>("actionBroker_Settings")->trigger();
            auto *dialog = t.run->linked->window->findChild<BrokerDialog *>();
            QVERIFY(dialog);
            QTest::qWait(200);
            dialog->findChild<QLineEdit *>("topicEdit")->setText("shack/two");
            ok(dialog);
            t.watcher.reset();
            t.publishesOn("shack/two");
        };
        return rows;
    }

    BandFollowDialog *bandFollowDialog()
    {
        run->linked->panel.child<QAction>("actionBand_Follow_Settings")->trigger();
        return run->linked->window->findChild<BandFollowDialog *>();
    }
    static void ok(QDialog *dialog)
    {
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    }

    static QMap<QString, Effect> effects()
    {
        QMap<QString, Effect> rows;

        // The program's own.
        rows["help"] = [](tst_SettingsEffects &t) {
            const QByteArray out = t.panelSays({"--help"});
            QVERIFY2(out.contains("--logger-from") && out.contains("--mqtt-cafile"), out.constData());
        };
        rows["version"] = [](tst_SettingsEffects &t) {
            QVERIFY(t.panelSays({"--version"}).contains("tqx5r-panel 1."));
        };
        rows["port"] = [](tst_SettingsEffects &t) { t.connectsWith({"--port", "DEVICE"}); };
        rows["profile"] = [](tst_SettingsEffects &t) {
            t.run = std::make_unique<StationRun>();
            QVERIFY(t.run->remember("[Connection]\nConnectAtStart=true\nPort=DEVICE\n", "shack-b"));
            t.run->start({"--profile", "shack-b"});
            QTRY_VERIFY(t.run->linked->device->receivedBytes().startsWith("IGW;"));
        };
        rows["headless"] = [](tst_SettingsEffects &t) {
            t.run = std::make_unique<StationRun>();
            QProcess panel;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.remove("DISPLAY");
            environment.remove("QT_QPA_PLATFORM");
            panel.setProcessEnvironment(environment);
            panel.start(QStringLiteral(TQX5R_PANEL_PATH), {"--headless", "--port", t.run->devicePath()});
            QTRY_VERIFY_WITH_TIMEOUT(t.run->linked->pollsReceived() >= 2, 10000);
            QByteArray said;
            QTRY_VERIFY((said += panel.readAllStandardError()).contains("info: Connected to"));
            panel.terminate();
            QVERIFY(panel.waitForFinished(10000));
        };
        rows["reconnect"] = [](tst_SettingsEffects &t) {
            t.startAndConnect({"--port", "DEVICE", "--reconnect"});
            t.reconnectsAfterALoss();
        };

        // Band follow: the radio.
        rows["rig-model"] = [](tst_SettingsEffects &t) {
            t.startRig();
            t.startAndConnect({"--rig-model", "2", "--rig-file", t.rig->address(), "--bands", t.memoryPath,
                               "--port", "DEVICE"});
            t.followsTheRig();
        };
        rows["rig-file"] = [](tst_SettingsEffects &t) {
            t.startRadio();
            t.startAndConnect({"--rig-model", "1035", "--rig-file", t.radio->devicePath(), "--port", "DEVICE"});
            t.radioIsSpokenTo("FA;");
        };
        rows["rig-speed"] = [](tst_SettingsEffects &t) {
            t.startRadio();
            t.startAndConnect({"--rig-model", "1035", "--rig-file", t.radio->devicePath(), "--rig-speed", "4800",
                               "--port", "DEVICE"});
            t.radioIsSpokenTo("FA;", B4800);
        };
        rows["BandFollow/RigSource"] = [](tst_SettingsEffects &t) {
            t.startRig();
            t.startRemembering("[BandFollow]\nRigSource=rigctld\nRigctldAddress=" + t.rig->address().toUtf8() + "\n");
            t.followsTheRig();
        };
        rows["BandFollow/RigctldAddress"] = rows["BandFollow/RigSource"];
        rows["BandFollow/RigModel"] = [](tst_SettingsEffects &t) {
            t.startRadio();
            // An Icom: its CI-V frames start with two 0xFE bytes.
            t.startRemembering("[BandFollow]\nRigSource=serial\nRigModel=3073\nRigDevice="
                               + t.radio->devicePath().toUtf8() + "\n");
            t.radioIsSpokenTo("\xfe\xfe");
        };
        rows["BandFollow/RigDevice"] = [](tst_SettingsEffects &t) {
            t.startRadio();
            t.startRemembering("[BandFollow]\nRigSource=serial\nRigModel=1035\nRigDevice="
                               + t.radio->devicePath().toUtf8() + "\n");
            t.radioIsSpokenTo("FA;");
        };
        rows["BandFollow/RigSpeed"] = [](tst_SettingsEffects &t) {
            t.startRadio();
            t.startRemembering("[BandFollow]\nRigSource=serial\nRigModel=1035\nRigSpeed=4800\nRigDevice="
                               + t.radio->devicePath().toUtf8() + "\n");
            t.radioIsSpokenTo("FA;", B4800);
        };

        // Band follow: the logger.
        rows["logger-udp"] = [](tst_SettingsEffects &t) {
            t.startAndConnect({"--logger-udp", QString::number(t.port), "--bands", t.memoryPath, "--port", "DEVICE"});
            t.followsTheLogger();
        };
        rows["BandFollow/LoggerPorts"] = [](tst_SettingsEffects &t) {
            t.startRemembering(t.loggerIni());
            t.followsTheLogger();
        };
        rows["bands"] = [](tst_SettingsEffects &t) {
            QVERIFY(writeFile(t.memoryPath, "[General]\n20m=7\n"));
            t.startAndConnect({"--logger-udp", QString::number(t.port), "--bands", t.memoryPath, "--port", "DEVICE"});
            QVERIFY(t.sendFrom("127.0.0.1", StationRun::radioInfo(14200000, false)));
            QTRY_COMPARE(t.run->selects(), QList<QByteArray>{"IGS6;"});
        };
        rows["antennas"] = [](tst_SettingsEffects &t) {
            const QString rules = t.memory->filePath("rules.ini");
            QVERIFY(writeFile(rules, "[Bands]\n6=6m\n[Rules]\nRefuseOffBand=true\n"));
            t.startAndConnect({"--logger-udp", QString::number(t.port), "--bands", t.memoryPath, "--antennas", rules,
                               "--port", "DEVICE"});
            t.followsTheLogger();
            t.run->linked->panel.child<QPushButton>("botaoTecla6")->click();
            QTRY_VERIFY(t.run->told.contains("Antenna 6 is not for 20 m; not selected"));
            QTest::qWait(500);
            QCOMPARE(t.run->selects(), QList<QByteArray>{"IGS2;"});
        };
        rows["BandFollow/Enabled"] = [](tst_SettingsEffects &t) {
            t.startRemembering(t.loggerIni("Enabled=false\n"));
            QVERIFY(t.sendFrom("127.0.0.1", StationRun::radioInfo(14200000, false)));
            QTest::qWait(1000);
            QCOMPARE(t.run->selects(), QList<QByteArray>());
            QCOMPARE(t.run->followLabel(), QString("Follow off"));
        };
        rows["logger-from"] = [](tst_SettingsEffects &t) {
            t.startAndConnect({"--logger-udp", QString::number(t.port), "--logger-from", "127.0.0.2", "--bands",
                               t.memoryPath, "--port", "DEVICE"});
            t.followsOnlyTheAllowedSender();
        };
        rows["BandFollow/AllowedSenders"] = [](tst_SettingsEffects &t) {
            t.startRemembering(t.loggerIni("AllowedSenders=127.0.0.2\n"));
            t.followsOnlyTheAllowedSender();
        };
        rows["logger-radio"] = [](tst_SettingsEffects &t) {
            t.startAndConnect({"--logger-udp", QString::number(t.port), "--logger-radio", "2", "--bands",
                               t.memoryPath, "--port", "DEVICE"});
            t.followsRadioTwo();
        };
        rows["BandFollow/LoggerRadio"] = [](tst_SettingsEffects &t) {
            t.startRemembering(t.loggerIni("LoggerRadio=2\n"));
            t.followsRadioTwo();
        };
        rows["follow-hang"] = [](tst_SettingsEffects &t) {
            t.startAndConnect({"--logger-udp", QString::number(t.port), "--follow-hang", "1500", "--bands",
                               t.memoryPath, "--port", "DEVICE"});
            t.waitsTheHangTime(1500);
        };
        rows["BandFollow/HangMs"] = [](tst_SettingsEffects &t) {
            t.startRemembering(t.loggerIni("HangMs=1500\n"));
            t.waitsTheHangTime(1500);
        };

        // The connection.
        rows["Connection/ConnectAtStart"] = [](tst_SettingsEffects &t) {
            t.startRemembering("");
            QVERIFY(t.run->linked->device->receivedBytes().startsWith("IGW;"));
        };
        rows["Connection/Port"] = rows["Connection/ConnectAtStart"];
        rows["Connection/Reconnect"] = [](tst_SettingsEffects &t) {
            t.startRemembering("", "Reconnect=true\n");
            t.reconnectsAfterALoss();
        };
        rows["Connection/BaudRate"] = [](tst_SettingsEffects &t) {
            t.startRemembering("", "BaudRate=19200\n");
            QCOMPARE(serialPort->baudRate(), 19200);
        };
        rows["Connection/DataBits"] = [](tst_SettingsEffects &t) {
            t.startRemembering("", "DataBits=7\n");
            QCOMPARE(serialPort->dataBits(), QSerialPort::Data7);
        };
        rows["Connection/Parity"] = [](tst_SettingsEffects &t) {
            t.startRemembering("", "Parity=2\n");
            QCOMPARE(serialPort->parity(), QSerialPort::EvenParity);
        };
        rows["Connection/StopBits"] = [](tst_SettingsEffects &t) {
            t.startRemembering("", "StopBits=2\n");
            QCOMPARE(serialPort->stopBits(), QSerialPort::TwoStop);
        };
        rows["Connection/FlowControl"] = [](tst_SettingsEffects &t) {
            t.startRemembering("", "FlowControl=2\n");
            QCOMPARE(serialPort->flowControl(), QSerialPort::SoftwareControl);
        };
        // The broker, from the command line.
        rows["mqtt"] = [](tst_SettingsEffects &t) {
            t.startBroker();
            t.startAndConnect({"--mqtt", t.brokerAddress(), "--port", "DEVICE"});
            t.publishesOn("tqx5r");
        };
        rows["mqtt-topic"] = [](tst_SettingsEffects &t) {
            t.startBroker();
            t.startAndConnect({"--mqtt", t.brokerAddress(), "--mqtt-topic", "shack/two", "--port", "DEVICE"});
            t.publishesOn("shack/two");
        };
        rows["mqtt-user"] = [](tst_SettingsEffects &t) {
            t.startBroker(true);
            qputenv(RemoteOptions::passwordVariable, TestAccounts::passwordOf("owner").toUtf8());
            t.startAndConnect({"--mqtt", t.brokerAddress(), "--mqtt-user", "owner", "--port", "DEVICE"});
            t.publishesOn("tqx5r");
        };
        rows["mqtt-password-file"] = [](tst_SettingsEffects &t) {
            t.startBroker(true);
            const QString file = t.memory->filePath("password");
            QVERIFY(writeFile(file, TestAccounts::passwordOf("owner").toUtf8() + "\n"));
            QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
            t.startAndConnect({"--mqtt", t.brokerAddress(), "--mqtt-user", "owner", "--mqtt-password-file", file,
                               "--port", "DEVICE"});
            t.publishesOn("tqx5r");
        };
        rows["mqtt-cafile"] = [](tst_SettingsEffects &t) {
            t.startBroker(false, true);
            t.startAndConnect({"--mqtt", QStringLiteral("localhost:%1").arg(t.broker->port()), "--mqtt-cafile",
                               t.broker->caFile(), "--port", "DEVICE"});
            t.publishesOn("tqx5r");
        };
        rows["mqtt-discovery"] = [](tst_SettingsEffects &t) {
            t.startBroker();
            t.startAndConnect({"--mqtt", t.brokerAddress(), "--mqtt-discovery", "--port", "DEVICE"});
            t.discoveryUnder("homeassistant");
        };
        rows["mqtt-discovery-prefix"] = [](tst_SettingsEffects &t) {
            t.startBroker();
            t.startAndConnect({"--mqtt", t.brokerAddress(), "--mqtt-discovery-prefix", "ha", "--port", "DEVICE"});
            t.discoveryUnder("ha");
        };
        rows["remote"] = [](tst_SettingsEffects &t) {
            t.startBroker();
            t.run = std::make_unique<StationRun>();
            t.watch("tqx5r");
            t.run->start({"--remote", t.brokerAddress()});
            t.remotePanelCommands();
        };

        // The broker, remembered.
        rows["Broker/Mode"] = [](tst_SettingsEffects &t) {
            t.startBroker();
            t.startRemembering("[Broker]\nMode=publish\nHost=127.0.0.1\nPort=" + QByteArray::number(t.broker->port())
                               + "\n");
            t.publishesOn("tqx5r");
        };
        rows["Broker/Host"] = rows["Broker/Mode"];
        rows["Broker/Port"] = rows["Broker/Mode"];
        rows["Broker/Topic"] = [](tst_SettingsEffects &t) {
            t.startBroker();
            t.startRemembering("[Broker]\nMode=publish\nHost=127.0.0.1\nTopic=shack/two\nPort="
                               + QByteArray::number(t.broker->port()) + "\n");
            t.publishesOn("shack/two");
        };
        rows["Broker/User"] = [](tst_SettingsEffects &t) {
            t.startBroker();
            t.startRemembering("[Broker]\nMode=publish\nHost=127.0.0.1\nUser=op-remembered\nPort="
                               + QByteArray::number(t.broker->port()) + "\n");
            t.publishesOn("tqx5r");
            QVERIFY(t.broker->log().contains("u'op-remembered'"));
        };
        rows["Broker/CaFile"] = [](tst_SettingsEffects &t) {
            t.startBroker(false, true);
            t.startRemembering("[Broker]\nMode=publish\nHost=localhost\nCaFile=" + t.broker->caFile().toUtf8()
                               + "\nPort=" + QByteArray::number(t.broker->port()) + "\n");
            t.publishesOn("tqx5r");
        };
        rows["Broker/Discovery"] = [](tst_SettingsEffects &t) {
            t.startBroker();
            t.startRemembering("[Broker]\nMode=publish\nHost=127.0.0.1\nDiscovery=true\nPort="
                               + QByteArray::number(t.broker->port()) + "\n");
            t.discoveryUnder("homeassistant");
        };
        rows["Broker/DiscoveryPrefix"] = [](tst_SettingsEffects &t) {
            t.startBroker();
            t.startRemembering("[Broker]\nMode=publish\nHost=127.0.0.1\nDiscovery=true\nDiscoveryPrefix=ha\nPort="
                               + QByteArray::number(t.broker->port()) + "\n");
            t.discoveryUnder("ha");
        };
        return rows;
    }

    // --- What each row starts ---------------------------------------------------

    void startAndConnect(const QStringList &arguments)
    {
        if (!run)
            run = std::make_unique<StationRun>();
        run->start(arguments);
        QTRY_VERIFY(run->snapshot().power);
    }

    // Remembered settings and nothing on the command line; the connection
    // at start comes from them too.
    void startRemembering(const QByteArray &ini, const QByteArray &connection = {})
    {
        run = std::make_unique<StationRun>();
        // The profile's band memory holds what --bands names elsewhere.
        QVERIFY(writeFile(StationProfile::paths().bandMemoryFile, contents(memoryPath)));
        QVERIFY(run->remember(ini + "[Connection]\nConnectAtStart=true\nPort=DEVICE\n" + connection));
        run->start();
        QTRY_VERIFY(run->snapshot().power);
    }

    QByteArray loggerIni(const QByteArray &more = {}) const
    {
        return "[BandFollow]\nLoggerPorts=" + QByteArray::number(port) + "\n" + more;
    }

    void startRig()
    {
        rig = std::make_unique<DummyRig>();
        QVERIFY2(rig->start(), qPrintable(rig->errorString()));
        QVERIFY(rig->setFrequency(3600000));
    }
    void startRadio() { radio = std::make_unique<PseudoTerminal>(); }

    void startBroker(bool accounts = false, bool tls = false)
    {
        broker = std::make_unique<LocalBroker>();
        brokerTls = tls;
        if (accounts)
            TestAccounts::addTo(*broker);
        if (tls)
            QVERIFY(broker->enableTls());
        QVERIFY2(broker->start(), qPrintable(broker->errorString()));
    }
    QString brokerAddress() const { return QStringLiteral("127.0.0.1:%1").arg(broker->port()); }
    void watch(const QString &topic)
    {
        BrokerSettings settings = TestAccounts::settings(*broker, "owner");
        if (brokerTls) {
            settings.host = QStringLiteral("localhost");
            settings.caFile = broker->caFile();
        }
        settings.topic = topic;
        watcher = std::make_unique<BrokerWatcher>(settings);
    }

    // The panel's own process, for what it prints and ends with.
    static QByteArray panelSays(const QStringList &arguments)
    {
        QProcess panel;
        panel.start(QStringLiteral(TQX5R_PANEL_PATH), arguments);
        if (!panel.waitForFinished(20000) || panel.exitCode() != 0)
            return QByteArray();
        return panel.readAllStandardOutput();
    }

    // --- Where the effects show ----------------------------------------------------

    void connectsWith(const QStringList &arguments)
    {
        run = std::make_unique<StationRun>();
        run->start(arguments);
        QTRY_VERIFY(run->linked->device->receivedBytes().startsWith("IGW;"));
    }

    void reconnectsAfterALoss()
    {
        run->linked->device->vanish();
        QTRY_VERIFY_WITH_TIMEOUT(run->told.join('\n').contains("lost; reconnecting"), 5000);
    }

    void followsTheRig()
    {
        QVERIFY(rig->setFrequency(14200000));
        QTRY_COMPARE_WITH_TIMEOUT(run->selects(), QList<QByteArray>{"IGS2;"}, 5000);
    }

    void radioIsSpokenTo(const QByteArray &bytes, speed_t speed = 0)
    {
        QTRY_VERIFY_WITH_TIMEOUT(radio->written().contains(bytes), 10000);
        if (speed != 0)
            QCOMPARE(radio->speed(), speed);
        // The radio goes away: Hamlib gives up at once rather than trying on
        // while the row ends.
        radio.reset();
        QTRY_VERIFY_WITH_TIMEOUT(run->told.contains("Rig not answering"), 20000);
    }

    bool sendFrom(const QString &address, const QByteArray &packet) const
    {
        return StationRun::sendFrom(address, port, packet);
    }

    void followsTheLogger()
    {
        QVERIFY(sendFrom("127.0.0.1", StationRun::radioInfo(14200000, false)));
        QTRY_COMPARE(run->selects(), QList<QByteArray>{"IGS2;"});
    }

    void followsOnlyTheAllowedSender()
    {
        QVERIFY(sendFrom("127.0.0.1", StationRun::radioInfo(14200000, false)));
        QTest::qWait(1000);
        QCOMPARE(run->selects(), QList<QByteArray>());
        QVERIFY(sendFrom("127.0.0.2", StationRun::radioInfo(7100000, false)));
        QTRY_COMPARE(run->selects(), QList<QByteArray>{"IGS4;"});
    }

    void followsRadioTwo()
    {
        // Radio 1 is the active one and on 20 m; radio 2 is on 40 m.
        QVERIFY(sendFrom("127.0.0.1", StationRun::radioInfo(14200000, false, 1, 1)));
        QVERIFY(sendFrom("127.0.0.1", StationRun::radioInfo(7100000, false, 2, 1)));
        QTest::qWait(1000);
        QCOMPARE(run->selects(), QList<QByteArray>{"IGS4;"});
    }

    void waitsTheHangTime(int hangMs)
    {
        QVERIFY(sendFrom("127.0.0.1", StationRun::radioInfo(14200000, true)));
        QTest::qWait(500);
        QVERIFY(sendFrom("127.0.0.1", StationRun::radioInfo(14200000, false)));
        QTest::qWait(hangMs - 300);
        QCOMPARE(run->selects(), QList<QByteArray>());
        QTRY_COMPARE_WITH_TIMEOUT(run->selects(), QList<QByteArray>{"IGS2;"}, 2000);
    }

    void publishesOn(const QString &topic)
    {
        if (!watcher)
            watch(topic);
        QTRY_VERIFY_WITH_TIMEOUT(watcher->last("state").contains("\"antenna\""), 10000);
        QCOMPARE(watcher->last("online"), QByteArray("true"));
    }

    void discoveryUnder(const QString &prefix)
    {
        watch(prefix);
        QTRY_VERIFY_WITH_TIMEOUT(!watcher->on("select/tqx5r/antenna/config").isEmpty(), 10000);
    }

    void remotePanelCommands()
    {
        QTRY_VERIFY_WITH_TIMEOUT(watcher->isConnected(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(run->linked->window->linkIsOpen(), 10000);
        QTest::qWait(500);
        run->linked->panel.child<QPushButton>("botaoTecla3")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!watcher->on("set").isEmpty(), 5000);
    }

    std::unique_ptr<QTemporaryDir> memory;
    QString memoryPath;
    quint16 port = 0;
    std::unique_ptr<StationRun> run;
    std::unique_ptr<DummyRig> rig;
    std::unique_ptr<PseudoTerminal> radio;
    std::unique_ptr<LocalBroker> broker;
    bool brokerTls = false;
    std::unique_ptr<BrokerWatcher> watcher;
};

QTEST_MAIN(tst_SettingsEffects)
#include "tst_settingseffects.moc"
