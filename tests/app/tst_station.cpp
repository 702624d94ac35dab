#include "app/Station.h"
#include "app/StationCommandLine.h"
#include "band/BandMemory.h"
#include "panel/SwitchSeam.h"
#include "settings/BandFollowDialog.h"
#include "settings/BrokerDialog.h"
#include "settings/CaptionsDialog.h"
#include "settings/SettingsDialog.h"
#include "sim/DummyRig.h"
#include "sim/LocalBroker.h"
#include "support/BrokerWatcher.h"
#include "support/Files.h"
#include "support/LinkedPanel.h"
#include "support/ModalDismisser.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <clocale>
#include <memory>

// The station as an operator sets it up from the window: the Station menu,
// its dialogs, and what is remembered for the next start; and as a hurried
// operator meets it (dialogs closed with OK as they stand, settings changed
// twice in a row, a slow password, a port where no switch answers). Each
// test has a configuration folder of its own.
class tst_Station : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // As the program does at start, before Hamlib runs on its thread.
        std::setlocale(LC_NUMERIC, "C");
        // No secret store answers here: the password is kept for the run only.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tqx5r-test-bus");
    }

    void init()
    {
        config = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", config->path().toLocal8Bit());
        linked = std::make_unique<LinkedPanel>();
        told.clear();
        connect(linked->window->statusBar(), &QStatusBar::messageChanged, this,
                [this](const QString &text) { told << text; });
    }

    void cleanup()
    {
        station.reset();
        linked.reset();
        config.reset();
        if (silentMaster >= 0)
            ::close(silentMaster);
        silentMaster = -1;
    }

    void firstStartIsTheBarePanel()
    {
        startStation();
        QStringList menus;
        for (QAction *action : linked->window->menuBar()->actions())
            menus << action->text();
        QCOMPARE(menus, (QStringList{"File", "Station", "Help"}));
        QCOMPARE(entries("menuArquivo"), (QStringList{"Connect to TQX-5R", "Disconnect", "Serial Settings"}));
        QCOMPARE(entries("menuTools"), (QStringList{"About Qt", "About Veltrix"}));
        QCOMPARE(entries("menuStation"),
                 (QStringList{"Band Follow", "Band Follow Settings…", "Antenna Bands…", "Reconnect Automatically",
                              "Connect at Start", "Broker Settings…", "Antenna Captions…"}));
        auto *bandFollow = action("actionBand_Follow");
        QVERIFY(!bandFollow->isEnabled() && !bandFollow->isChecked());
        QCOMPARE(bandFollow->shortcut(), QKeySequence("Ctrl+B"));
        QVERIFY(!action("actionReconnect_Automatically")->isChecked());
        QVERIFY(!action("actionConnect_at_Start")->isChecked());
        QVERIFY(!linked->window->findChild<QLabel *>("bandFollowState"));

        station->start();
        QTest::qWait(300);
        const SerialSettings serial = linked->window->serialSettings();
        QCOMPARE(QStringList({serial.baudRateText, serial.dataBitsText, serial.parityText, serial.stopBitsText,
                              serial.flowControlText}),
                 (QStringList{"9600", "8", "None", "1", "None"}));
        QVERIFY(!linked->window->linkIsOpen());
        QVERIFY(linked->device->receivedBytes().isEmpty());
        // Looking is not changing: nothing is written.
        QVERIFY(QDir(config->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }

    void bandFollowOnAndOffAtRunTime()
    {
        DummyRig rig;
        QVERIFY2(rig.start(), qPrintable(rig.errorString()));
        QVERIFY(rig.setFrequency(3600000));
        rememberRigctld(rig.address());
        BandMemory memory(paths().bandMemoryFile);
        QVERIFY(memory.remember(BandPlan::bandForKey("20m"), 2));
        QVERIFY(memory.remember(BandPlan::bandForKey("40m"), 4));
        connectToSwitch();
        startStation();
        QVERIFY(action("actionBand_Follow")->isEnabled() && action("actionBand_Follow")->isChecked());
        QTRY_COMPARE(followLabel(), QString("80 m"));

        QVERIFY(rig.setFrequency(14200000));
        QTRY_COMPARE(selectsAtSwitch(), QList<QByteArray>{"IGS2;"});

        // Off: a band change sends nothing; the label says so.
        action("actionBand_Follow")->trigger();
        QCOMPARE(followLabel(), QString("Follow off"));
        linked->device->clearReceived();
        QVERIFY(rig.setFrequency(7100000));
        QTest::qWait(1500);
        QVERIFY(selectsAtSwitch().isEmpty());
        // On again: the band's remembered antenna is selected.
        action("actionBand_Follow")->trigger();
        QTRY_COMPARE(selectsAtSwitch(), QList<QByteArray>{"IGS4;"});
        QTRY_COMPARE(followLabel(), QString("40 m"));
        // The check is remembered.
        action("actionBand_Follow")->trigger();
        QVERIFY(!StationSettingsFile(paths().settingsFile).load().bandFollow.enabled);
    }

    void bandTableEditsTakeEffectWhileRunning()
    {
        DummyRig rig;
        QVERIFY2(rig.start(), qPrintable(rig.errorString()));
        QVERIFY(rig.setFrequency(3600000));
        rememberRigctld(rig.address());
        connectToSwitch();
        startStation();
        action("actionBand_Follow_Settings")->trigger();
        auto *dialog = linked->window->findChild<BandFollowDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        auto *box20 = dialog->findChild<QComboBox *>("bandBox_20m");
        QVERIFY(box20);
        // As the operator picks an entry: "None", then antennas 1 to 8.
        box20->setCurrentIndex(6);
        emit box20->activated(6);
        QTRY_COMPARE(BandMemory(paths().bandMemoryFile).load()[size_t(BandPlan::bandForKey("20m"))], 5);

        QVERIFY(rig.setFrequency(14200000));
        QTRY_COMPARE(selectsAtSwitch(), QList<QByteArray>{"IGS5;"});
        QVERIFY(dialog->findChild<QLabel *>("liveLabel")->text().contains("rigctld answering"));

        // A new choice for the band the radio is on moves the switch at once.
        linked->device->clearReceived();
        box20->setCurrentIndex(2);
        emit box20->activated(2);
        QTRY_COMPARE_WITH_TIMEOUT(selectsAtSwitch(), QList<QByteArray>{"IGS1;"}, 3000);

        // A hand edit of the memory file while the panel runs counts too.
        linked->device->clearReceived();
        QVERIFY(writeFile(paths().bandMemoryFile, "40m=8\n20m=7\n"));
        QTRY_COMPARE(box20->currentIndex(), 7);
        QTRY_COMPARE_WITH_TIMEOUT(selectsAtSwitch(), QList<QByteArray>{"IGS6;"}, 3000);
        QVERIFY(rig.setFrequency(7100000));
        QTRY_COMPARE_WITH_TIMEOUT(selectsAtSwitch(), (QList<QByteArray>{"IGS6;", "IGS7;"}), 3000);
    }

    void captionsShowAtOnceAndAfterARestart()
    {
        startStation();
        action("actionAntenna_Captions")->trigger();
        auto *dialog = linked->window->findChild<CaptionsDialog *>();
        QVERIFY(dialog);
        const QList<QLineEdit *> edits = dialog->findChildren<QLineEdit *>();
        QCOMPARE(edits.size(), positionCount);
        dialog->setCaptions({"Yagi", "Dipo", "", "", "", "", "", "Dumy"});
        ok(dialog);
        QCOMPARE(keyText(1), QString("Yagi"));
        QCOMPARE(keyText(8), QString("Dumy"));
        QFile user(paths().captionsFile);
        QVERIFY(user.open(QIODevice::ReadOnly));
        QVERIFY(user.readAll().contains("#K1 Yagi"));

        // A new panel in a new run shows them.
        station.reset();
        linked = std::make_unique<LinkedPanel>();
        QCOMPARE(keyText(1), QString());
        startStation();
        QCOMPARE(keyText(1), QString("Yagi"));
        QCOMPARE(keyText(2), QString("Dipo"));
    }

    // Remembered is the last connection that worked: a port that opened but
    // where no switch ever answered (a radio's, chosen by mistake) is not one.
    void connectAtStartConnectsTheNextProcess()
    {
        connectToSwitch();
        startStation();
        action("actionConnect_at_Start")->trigger();
        const StationSettings saved = StationSettingsFile(paths().settingsFile).load();
        QVERIFY(saved.connectAtStart);
        QCOMPARE(saved.lastConnection.portName, linked->device->devicePath());
        linked->window->closeSerialPortQuietly();
        ModalDismisser dismisser;
        linked->panel.connectTo(openSilentPort());
        QTRY_VERIFY(linked->window->linkIsOpen());
        QTest::qWait(3000);  // polls go out; nothing answers
        QCOMPARE(StationSettingsFile(paths().settingsFile).load().lastConnection.portName,
                 linked->device->devicePath());
        station.reset();
        linked->window->closeSerialPortQuietly();
        linked->device->clearReceived();

        QProcess panel;
        panel.start(QStringLiteral(TQX5R_PANEL_PATH), {"-platform", "offscreen"});
        QVERIFY(panel.waitForStarted(20000));
        QTRY_VERIFY_WITH_TIMEOUT(linked->device->receivedFrames().size() >= 2, 20000);
        QCOMPARE(linked->device->receivedFrames().first().bytes, QByteArray("IGW;"));
        panel.terminate();
        QVERIFY(panel.waitForFinished(20000));
        QCOMPARE(panel.exitCode(), 0);
    }

    void profilesKeepTheirOwnMemory()
    {
        QVERIFY(BandMemory(StationProfile::paths("shack-a").bandMemoryFile).remember(BandPlan::bandForKey("20m"), 2));
        Station::Options options;
        options.profile = "shack-b";
        station = std::make_unique<Station>(*linked->window, options);
        QVERIFY(station->paths().settingsFile.contains("shack-b"));
        QCOMPARE(BandMemory(station->paths().bandMemoryFile).load(), BandMemory::empty());
    }

    void garbledSettingsGiveDefaultsAndOneMessage()
    {
        const QByteArray garbage("\x00\x01[broken\nreconnect=maybe\n\xff\xfe", 24);
        QVERIFY(writeFile(paths().settingsFile, garbage));
        startStation();
        QCOMPARE(told.size(), 1);
        // In a few words; the whole, with the file, in the tooltip.
        QVERIFY2(!told.first().contains(paths().settingsFile), qPrintable(told.first()));
        QVERIFY(linked->window->statusBar()->toolTip().contains(paths().settingsFile));
        QVERIFY(!action("actionReconnect_Automatically")->isChecked());
        QCOMPARE(contents(paths().settingsFile), garbage);
    }

    // A named pipe where a file should be would hold the start up.
    void pipesInPlaceOfFilesDoNotHang()
    {
        QDir().mkpath(QFileInfo(paths().settingsFile).path());
        for (const QString &path : {paths().settingsFile, paths().bandMemoryFile, paths().captionsFile})
            QVERIFY(QProcess::execute("mkfifo", {path}) == 0);
        startStation();
        QVERIFY(linked->window->statusBar()->toolTip().contains("not a plain file"));
        QCOMPARE(BandMemory(paths().bandMemoryFile).load(), BandMemory::empty());
    }

    void gonePortAtStart_data()
    {
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("one clear message") << false;
        QTest::newRow("quiet retries") << true;
    }
    void gonePortAtStart()
    {
        QFETCH(bool, reconnect);
        StationSettings settings;
        settings.connectAtStart = true;
        settings.reconnect = reconnect;
        settings.lastConnection = defaultSerialSettings(config->filePath("no-such-port"));
        QVERIFY(StationSettingsFile(paths().settingsFile).save(settings));
        ModalDismisser dismisser;
        startStation();
        station->start();
        QCOMPARE(dismisser.count(), reconnect ? 0 : 1);
        QVERIFY(linked->window->statusBar()->currentMessage().contains(reconnect ? "retrying" : "Open error"));
    }

    void unknownHamlibModelIsSaidAndTheRestRuns()
    {
        StationSettings settings;
        settings.bandFollow.rig.kind = RigSourceSettings::Kind::SerialRadio;
        settings.bandFollow.rig.model = 999999;
        settings.bandFollow.rig.device = "/dev/ttyUSB9";
        settings.bandFollow.loggerPorts = QStringList{"0"};   // no port either
        QVERIFY(StationSettingsFile(paths().settingsFile).save(settings));
        startStation();
        QVERIFY(linked->window->statusBar()->currentMessage().contains("999999"));
        QVERIFY(action("actionBand_Follow")->isEnabled());
    }

    // Set up from the window: the bridge starts at once with the password,
    // which reaches no file. Publish, then "remote panel" (for the next
    // start), then Off: nothing may still take commands from the broker.
    void brokerFromTheWindowKeepsThePasswordOut()
    {
        LocalBroker broker;
        TestAccounts::addTo(broker);
        QVERIFY2(broker.start(), qPrintable(broker.errorString()));
        connectToSwitch();
        startStation();
        BrokerDialog *dialog = openBrokerDialog();
        QVERIFY(dialog);
        dialog->findChild<QRadioButton *>("publishButton")->click();
        dialog->findChild<QLineEdit *>("hostEdit")->setText("127.0.0.1");
        dialog->findChild<QLineEdit *>("portEdit")->setText(QString::number(broker.port()));
        dialog->findChild<QLineEdit *>("userEdit")->setText("owner");
        const QString password = TestAccounts::passwordOf("owner");
        dialog->findChild<QLineEdit *>("passwordEdit")->setText(password);
        ok(dialog);

        BrokerWatcher watcher(TestAccounts::settings(broker, "viewer"));
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last("online"), QByteArray("true"), 10000);
        const StationSettings saved = StationSettingsFile(paths().settingsFile).load();
        QCOMPARE(saved.broker.mode, BrokerSettings::Mode::Publish);
        QCOMPARE(saved.broker.user, QString("owner"));
        QCOMPARE(filesHolding(config->path(), password.toUtf8()), QStringList());

        openBrokerDialog()->findChild<QRadioButton *>("remoteButton")->click();
        ok(dialog);
        openBrokerDialog()->findChild<QRadioButton *>("offButton")->click();
        ok(dialog);
        QCOMPARE(StationSettingsFile(paths().settingsFile).load().broker.mode, BrokerSettings::Mode::Off);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last("online"), QByteArray("false"), 10000);
    }

    // A remote panel's selects would reach the switch as broker commands,
    // which nothing holds back: band follow runs only where the switch is.
    void remotePanelDoesNotFollowTheBand()
    {
        StationSettings settings;
        settings.bandFollow.loggerPorts = QStringList{"12060"};
        settings.broker.mode = BrokerSettings::Mode::RemotePanel;
        settings.broker.host = "127.0.0.1";
        settings.broker.port = 1;
        QVERIFY(StationSettingsFile(paths().settingsFile).save(settings));
        startStation();
        QVERIFY2(told.join('\n').contains("Band follow runs on the panel that owns the switch"),
                 qPrintable(told.join('\n')));
        QCOMPARE(followLabel(), QString("Follow off"));
    }

    // Remote panels learn the firmware revision however the broker was set
    // up: remembered (its password comes from the store after the port
    // connected) or in Broker Settings while connected.
    void firmwareReachesTheBrokerWhateverCameFirst_data()
    {
        QTest::addColumn<bool>("fromTheDialog");
        QTest::newRow("remembered, with Connect at Start") << false;
        QTest::newRow("set up in Broker Settings while connected") << true;
    }
    void firmwareReachesTheBrokerWhateverCameFirst()
    {
        QFETCH(bool, fromTheDialog);
        LocalBroker broker;
        QVERIFY2(broker.start(), qPrintable(broker.errorString()));
        BrokerSettings set;
        set.mode = BrokerSettings::Mode::Publish;
        set.host = "127.0.0.1";
        set.port = broker.port();
        StationSettings settings;
        settings.connectAtStart = true;
        settings.lastConnection = defaultSerialSettings(linked->device->devicePath());
        if (!fromTheDialog)
            settings.broker = set;
        QVERIFY(StationSettingsFile(paths().settingsFile).save(settings));
        startStation();
        station->start();
        QTRY_VERIFY(linked->window->seam()->snapshot().firmwareKnown);
        if (fromTheDialog) {
            BrokerDialog *dialog = openBrokerDialog();
            QVERIFY(dialog);
            dialog->setSettings(set);
            ok(dialog);
        }
        BrokerWatcher watcher(TestAccounts::settings(broker, "viewer"));
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last("firmware"), VirtualSwitch::firmwareFrame(1, 12), 10000);
    }

    // While a broker is set, the window says how it stands, beside band
    // follow's label: with the detail for a tooltip and a screen reader.
    void brokerStateShowsInTheWindow()
    {
        LocalBroker broker;
        broker.addUser("owner", "right-password");
        QVERIFY2(broker.start(), qPrintable(broker.errorString()));
        StationSettings settings;
        settings.broker.mode = BrokerSettings::Mode::Publish;
        settings.broker.host = "127.0.0.1";
        settings.broker.port = broker.port();
        settings.broker.user = "owner";
        QVERIFY(StationSettingsFile(paths().settingsFile).save(settings));
        connectToSwitch();
        startStation();
        // No secret store here: the login goes without a password.
        const auto label = [this] { return linked->window->findChild<QLabel *>("brokerState"); };
        QTRY_VERIFY_WITH_TIMEOUT(label() && label()->text() == "Broker: login refused", 10000);
        QVERIFY2(label()->toolTip().contains("refused the login of owner"), qPrintable(label()->toolTip()));
        QCOMPARE(label()->accessibleDescription(), label()->toolTip());
        // The panel's own texts do not hide it.
        QTRY_VERIFY(linked->panel.statusText().startsWith("Connected!") || !told.isEmpty());
        QCOMPARE(label()->text(), QString("Broker: login refused"));

        broker.stop();
        BrokerDialog *dialog = openBrokerDialog();
        QVERIFY(dialog);
        settings.broker.user.clear();
        dialog->setSettings(settings.broker);
        ok(dialog);
        QTRY_VERIFY_WITH_TIMEOUT(label() && label()->text() == "Broker: not reachable, retrying", 10000);
        QVERIFY(label()->toolTip().contains(QString("127.0.0.1:%1").arg(broker.port())));

        LocalBroker open;
        QVERIFY2(open.start(), qPrintable(open.errorString()));
        dialog = openBrokerDialog();
        settings.broker.port = open.port();
        dialog->setSettings(settings.broker);
        ok(dialog);
        QTRY_VERIFY_WITH_TIMEOUT(label() && label()->text() == "Broker: connected", 10000);

        // Off: the label goes.
        dialog = openBrokerDialog();
        settings.broker.mode = BrokerSettings::Mode::Off;
        dialog->setSettings(settings.broker);
        ok(dialog);
        QTRY_VERIFY(!label());
    }

    // Nothing is lost quietly: a Station dialog whose settings cannot be
    // saved stays open and says why; the status bar says it in a few words
    // that fit beside its labels, the whole in its tooltip and on stderr; a
    // menu opened after it does not wipe it.
    void aSaveThatFailsIsSaidAndTheDialogStaysOpen()
    {
        // The configuration folder cannot be made (a file is in its place):
        // no file of the station can be written, even by root.
        QVERIFY(writeFile(config->path() + "/tqx5r-panel", "not a folder"));
        QStringList warnings;
        startStation();
        station->setLog([](const QString &) {}, [&warnings](const QString &line) { warnings << line; });
        const auto staysOpenSaying = [&](QDialog *dialog, const QString &why) {
            QVERIFY(dialog->isVisible());
            auto *problem = dialog->findChild<QLabel *>("saveProblemLabel");
            QVERIFY(problem && problem->isVisible());
            QVERIFY2(problem->text().contains(why), qPrintable(problem->text()));
            QVERIFY2(warnings.join('\n').contains(why), qPrintable(warnings.join('\n')));
            QVERIFY(linked->window->statusBar()->toolTip().contains(why));
            const QString shown = linked->window->statusBar()->currentMessage();
            QVERIFY2(!shown.contains(config->path()), qPrintable(shown));
            warnings.clear();
        };

        action("actionAntenna_Captions")->trigger();
        auto *captions = linked->window->findChild<CaptionsDialog *>();
        captions->setCaptions({"Yagi", "", "", "", "", "", "", ""});
        ok(captions);
        staysOpenSaying(captions, config->path());
        QCOMPARE(keyText(1), QString("Yagi"));

        action("actionBand_Follow_Settings")->trigger();
        auto *bandFollow = linked->window->findChild<BandFollowDialog *>();
        bandFollow->findChild<QSpinBox *>("hangBox")->setValue(1500);
        ok(bandFollow);
        staysOpenSaying(bandFollow, "station.ini");

        BrokerDialog *broker = openBrokerDialog();
        broker->findChild<QLineEdit *>("topicEdit")->setText("shack");
        ok(broker);
        staysOpenSaying(broker, "station.ini");

        // The short text fits beside the labels, and stays while a menu is open.
        const QString shown = linked->window->statusBar()->currentMessage();
        int room = linked->window->statusBar()->width();
        for (const char *label : {"bandFollowState", "brokerState"}) {
            if (const auto *shownLabel = linked->window->findChild<QLabel *>(label))
                room -= shownLabel->width();
        }
        QVERIFY2(linked->window->statusBar()->fontMetrics().horizontalAdvance(shown) < room, qPrintable(shown));
        QMenu *menu = linked->panel.child<QMenu>("menuStation");
        linked->window->menuBar()->setActiveAction(menu->menuAction());
        QTRY_VERIFY(menu->isVisible());
        menu->setActiveAction(action("actionConnect_at_Start"));
        QCoreApplication::processEvents();
        QCOMPARE(linked->window->statusBar()->currentMessage(), shown);
        menu->hide();
    }

    // A broker given on the command line with its password file: OK in the
    // dialog, with nothing typed, must not restart the bridge without it.
    void brokerDialogOkKeepsTheCommandLinePassword()
    {
        LocalBroker broker;
        TestAccounts::addTo(broker);
        QVERIFY2(broker.start(), qPrintable(broker.errorString()));
        qputenv("TQX5R_MQTT_PASSWORD", TestAccounts::passwordOf("owner").toUtf8());
        const Station::Options options =
            optionsFrom({"--mqtt", TestAccounts::settings(broker, "owner").address(), "--mqtt-user", "owner"});
        connectToSwitch();
        startStation(options);
        BrokerWatcher watcher(TestAccounts::settings(broker, "viewer"));
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last("online"), QByteArray("true"), 10000);

        BrokerDialog *dialog = openBrokerDialog();
        // The secret store's answer (none here) has come.
        QTRY_VERIFY(!dialog->findChild<QLabel *>("passwordStateLabel")->text().contains("Asking"));
        // A change that restarts the bridge: it must log in again.
        dialog->findChild<QCheckBox *>("discoveryBox")->click();
        watcher.forget();
        ok(dialog);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last("online"), QByteArray("true"), 10000);
        QVERIFY(!broker.log().contains("not authorised"));
    }

    // A bad band follow option turns band follow off for the run; the
    // Band Follow check must then not say it is on.
    void bandFollowCheckSaysWhatRuns()
    {
        rememberRigctld("127.0.0.1:1");
        startStation(optionsFrom({"--follow-hang", "99999"}));
        QCOMPARE(followLabel(), QString("Follow off"));
        QVERIFY2(!action("actionBand_Follow")->isChecked(), "the check says on while band follow is off");
    }

    // Sources and hang time from the command line are for this run; OK in
    // the dialog, with nothing changed, must not make them the remembered ones.
    void bandDialogOkWritesNoCommandLineSource()
    {
        startStation(optionsFrom({"--logger-udp", "12060", "--follow-hang", "2000"}));
        action("actionBand_Follow_Settings")->trigger();
        auto *dialog = linked->window->findChild<BandFollowDialog *>();
        QVERIFY(dialog && dialog->isVisible());
        ok(dialog);
        const StationSettings saved = StationSettingsFile(paths().settingsFile).load();
        QCOMPARE(saved.bandFollow.loggerPorts, QStringList());
        QCOMPARE(saved.bandFollow.hangMs, BandFollowSettings::defaultHangMs);
    }

    // A remote panel never opens a serial port, also while its password is
    // still on its way from the secret store (a locked keyring can take long).
    void remotePanelOpensNoSerialPortWhileThePasswordComes()
    {
        StationSettings settings;
        settings.broker.mode = BrokerSettings::Mode::RemotePanel;
        settings.broker.host = "127.0.0.1";
        settings.broker.port = 1;
        settings.broker.user = "op";
        QVERIFY(StationSettingsFile(paths().settingsFile).save(settings));
        startStation();
        // Before the event loop has brought the store's answer.
        ModalDismisser dismisser;
        linked->panel.connectTo(linked->device->devicePath());
        QTest::qWait(1500);
        QVERIFY2(linked->device->receivedBytes().isEmpty(), "the remote panel opened the serial port and polled it");
    }

    // A broker host typed into the file by hand as "user:password@host" (how
    // many tools take a login): the password reaches neither status nor log.
    void passwordInAHandEditedHostIsNeverShown()
    {
        QVERIFY(writeFile(paths().settingsFile, "[Broker]\nMode=publish\nHost=op:s3cretpw@127.0.0.1\nPort=1\nUser=op\n"));
        station = std::make_unique<Station>(*linked->window, Station::Options());
        station->setLog([this](const QString &text) { told << text; }, [this](const QString &text) { told << text; });
        station->build();
        QTest::qWait(3000);
        QVERIFY2(!told.join('\n').contains("s3cretpw"), qPrintable(told.join('\n')));
    }

    // The dialogs are not modal: choosing the menu entry again (to find a
    // dialog gone behind the window) brings it forward as it is.
    void reopeningADialogKeepsWhatWasTyped()
    {
        startStation();
        const QList<QPair<const char *, const char *>> dialogs{{"actionAntenna_Captions", "key1Edit"},
                                                              {"actionBand_Follow_Settings", "otherPortsEdit"}};
        for (const auto &[entry, field] : dialogs) {
            action(entry)->trigger();
            auto *edit = linked->window->findChild<QLineEdit *>(field);
            QVERIFY(edit);
            edit->setText("2333");
            action(entry)->trigger();
            QCOMPARE(edit->text(), QString("2333"));
        }
    }

private:
    // The options a command line gives, read as the program reads them.
    static Station::Options optionsFrom(const QStringList &arguments)
    {
        Station::Options options;
        QString refusal;
        if (!StationCommandLine().read(QStringList{"tqx5r-panel"} + arguments, &options, &refusal))
            qFatal("refused: %s", qPrintable(refusal));
        return options;
    }

    StationProfile::Paths paths() const { return StationProfile::paths(); }

    void startStation(const Station::Options &options = {})
    {
        station = std::make_unique<Station>(*linked->window, options);
        station->build();
    }

    void connectToSwitch()
    {
        linked->connect();
        QTRY_VERIFY(linked->window->seam()->snapshot().power);
    }

    BrokerDialog *openBrokerDialog()
    {
        action("actionBroker_Settings")->trigger();
        auto *dialog = linked->window->findChild<BrokerDialog *>();
        if (dialog)
            QTest::qWait(200);
        return dialog;
    }

    static void ok(QDialog *dialog) { dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click(); }

    // A pseudo-terminal that never answers, as a radio's port would not.
    QString openSilentPort()
    {
        silentMaster = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (silentMaster < 0 || ::grantpt(silentMaster) != 0 || ::unlockpt(silentMaster) != 0)
            return QString();
        return QString::fromLocal8Bit(::ptsname(silentMaster));
    }

    void rememberRigctld(const QString &address)
    {
        StationSettings settings;
        settings.bandFollow.rig.kind = RigSourceSettings::Kind::Rigctld;
        settings.bandFollow.rig.rigctldAddress = address;
        QVERIFY(StationSettingsFile(paths().settingsFile).save(settings));
    }

    QAction *action(const char *name) const { return linked->panel.child<QAction>(name); }
    QStringList entries(const char *menu) const
    {
        QStringList texts;
        for (QAction *entry : linked->panel.child<QMenu>(menu)->actions())
            texts << entry->text();
        return texts;
    }
    QString followLabel() const
    {
        const auto *label = linked->window->findChild<QLabel *>("bandFollowState");
        return label ? label->text() : QString();
    }
    QString keyText(int key) const
    {
        return linked->panel.child<QPushButton>(QStringLiteral("botaoTecla%1").arg(key))->text();
    }
    QList<QByteArray> selectsAtSwitch() const
    {
        QList<QByteArray> frames;
        for (const VirtualSwitch::ReceivedFrame &frame : linked->device->receivedFrames()) {
            if (frame.bytes.startsWith("IGS"))
                frames << frame.bytes.left(5);
        }
        return frames;
    }

    std::unique_ptr<QTemporaryDir> config;
    std::unique_ptr<LinkedPanel> linked;
    std::unique_ptr<Station> station;
    QStringList told;  // status bar messages
    int silentMaster = -1;
};

QTEST_MAIN(tst_Station)
#include "tst_station.moc"
