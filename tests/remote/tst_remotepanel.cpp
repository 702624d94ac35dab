#include "link/Transmitter.h"
#include "panel/KeyPainting.h"
#include "remote/RemoteFeature.h"
#include "remote/RemoteOptions.h"
#include "sim/LocalBroker.h"
#include "support/BrokerWatcher.h"
#include "support/LinkedPanel.h"

#include <QAction>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QtTest>

#include <memory>

// A remote panel: the ordinary window and poll thread in this process, fed
// through a real Mosquitto by a tqx5r-panel process that owns the virtual
// switch. This window never opens the switch itself.
class tst_RemotePanel : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        statusMessages.clear();
        broker = std::make_unique<LocalBroker>();
        TestAccounts::addTo(*broker);
        QVERIFY2(broker->start(), qPrintable(broker->errorString()));
        rig = std::make_unique<LinkedPanel>();
        device = rig->device.get();
        window = rig->window.get();
        ownerPanel = std::make_unique<QProcess>();
        startOwnerPanel(*ownerPanel, QStringLiteral(TQX5R_PANEL_PATH), device->devicePath(), *broker);
        QVERIFY(ownerPanel->waitForStarted(20000));
    }

    void cleanup()
    {
        remote.reset();
        ownerPanel->terminate();
        ownerPanel->waitForFinished(5000);
        ownerPanel.reset();
        rig.reset();
        broker.reset();
    }

    void showsAndOperatesTheSwitch()
    {
        startRemote("operator");
        const QString broker = QString("127.0.0.1:%1, topic tqx5r").arg(this->broker->port());
        QCOMPARE(statusText(), "Connecting to the broker " + broker);
        QTRY_VERIFY_WITH_TIMEOUT(statusMessages.contains("Connected to the broker " + broker), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(keyActive("botaoTecla1"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>("labelFWVersion")->text(), QString("FW Revision: 1.12"), 5000);
        QVERIFY(child<QRadioButton>("power")->isChecked());
        QVERIFY(!child<QAction>("actionConnect_to_TQX_5R")->isEnabled());
        // The switch's own front panel: the remote panel follows, painted as at home.
        SwitchState moved = device->state();
        moved.position = 6;
        moved.busyMask = 0xFD;
        device->setState(moved);
        QTRY_COMPARE_WITH_TIMEOUT(rig->panel.keyColour(7), QColor(254, 237, 137), 5000);
        QVERIFY(child<QRadioButton>("busy2")->isChecked());

        // Its controls reach the switch through the owner's queue.
        device->clearReceived();
        child<QRadioButton>("split")->click();
        QTest::keyClick(window, Qt::Key_F2);
        QTRY_COMPARE_WITH_TIMEOUT(commandsAtSwitch().value(0).left(7), QByteArray("IGP611;"), 5000);
        QVERIFY(statusMessages.contains("Split configured succesfuly!"));

        // Captions come from the owner's state, once the switch has settled.
        BrokerWatcher owner(TestAccounts::settings(*this->broker, "owner"));
        QTRY_VERIFY_WITH_TIMEOUT(owner.last("state").contains(R"("split":{"on":true,"tx":2})"), 5000);
        QVERIFY(owner.publish("state", R"({"captions":["Yagi","","","","","","","Dumy!"]})"));
        QTRY_COMPARE_WITH_TIMEOUT(child<QPushButton>("botaoTecla8")->text(), QString("Dumy"), 5000);
        // An owner that reached its switch before the broker has only the
        // copy on tqx5r/firmware to give, and a panel already attached gets
        // it live.
        QVERIFY(owner.publish("firmware", VirtualSwitch::firmwareFrame(2, 3)));
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>("labelFWVersion")->text(), QString("FW Revision: 2.3"), 5000);

        // A remote panel never touches a serial port.
        QVERIFY(!serialPort->isOpen());
        QVERIFY(serialPort->portName().isEmpty());
    }

    void disconnectAndConnectAgain()
    {
        startRemote("operator");
        QTRY_VERIFY_WITH_TIMEOUT(keyActive("botaoTecla1"), 10000);
        child<QAction>("actionDisconnect")->trigger();
        QCOMPARE(statusText(), QString("Disconnected"));
        QVERIFY(child<QAction>("actionConnect_to_TQX_5R")->isEnabled());
        QVERIFY(!child<QRadioButton>("power")->isChecked());
        SwitchState moved = device->state();
        moved.position = 3;
        device->setState(moved);
        QTest::qWait(500);
        QVERIFY(keyActive("botaoTecla1"));

        child<QAction>("actionConnect_to_TQX_5R")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(keyActive("botaoTecla4"), 10000);
        QVERIFY(child<QRadioButton>("power")->isChecked());
    }

    void ownerGoneIsSilence()
    {
        startRemote("operator");
        BrokerWatcher watcher(TestAccounts::settings(*broker, "viewer"));
        QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 10000);
        ownerPanel->kill();
        QVERIFY(ownerPanel->waitForFinished(5000));
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), QString("No answer from TQX-5R"), 10000);
        QVERIFY(!child<QRadioButton>("power")->isChecked());
        // The broker said so for the owner, with its last will.
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last("online"), QByteArray("false"), 30000);
    }

    void userWhoMayNotOperateIsTold()
    {
        startRemote("viewer");
        QSignalSpy notes(remote.get(), &RemoteFeature::note);
        QTRY_VERIFY_WITH_TIMEOUT(keyActive("botaoTecla1"), 10000);
        const QString refused = "refused to take tqx5r/set: Not authorized";
        QTest::keyClick(window, Qt::Key_F5);
        // Neither its own command topic nor the shared one.
        QTRY_VERIFY_WITH_TIMEOUT(statusText().contains(refused), 5000);
        QVERIFY(statusMessages.filter("refused to take tqx5r/set/viewer: Not authorized").size() == 1);
        // Refused again, not told again.
        QTest::keyClick(window, Qt::Key_F6);
        QTest::qWait(500);
        QCOMPARE(statusMessages.filter(refused).size(), 1);
        QCOMPARE(notes.size(), 3);
        QCOMPARE(commandsAtSwitch(), QList<QByteArray>());
    }

    // Commands go under the operator's own name, where the broker lets only
    // them write; a broker whose ACL still has the shared topic only takes
    // them there, and the operator is told once.
    void commandsGoUnderTheOperatorsName_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("topic");
        QTest::addColumn<bool>("toldOfSharedTopic");
        QTest::newRow("own topic") << "operator2" << "tqx5r/set/operator2" << false;
        QTest::newRow("ACL with the shared topic only") << "oldoperator" << "tqx5r/set" << true;
    }
    void commandsGoUnderTheOperatorsName()
    {
        QFETCH(QString, user);
        QFETCH(QString, topic);
        QFETCH(bool, toldOfSharedTopic);
        BrokerWatcher owner(TestAccounts::settings(*broker, "owner"));
        startRemote(user);
        QTRY_VERIFY_WITH_TIMEOUT(keyActive("botaoTecla1"), 10000);
        QTest::keyClick(window, Qt::Key_F3);
        QTRY_COMPARE_WITH_TIMEOUT(commandsAtSwitch().value(0).left(5), QByteArray("IGS2;"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(keyActive("botaoTecla3"), 5000);
        QTest::keyClick(window, Qt::Key_F4);
        QTRY_COMPARE_WITH_TIMEOUT(commandsAtSwitch().value(1).left(5), QByteArray("IGS3;"), 5000);
        QStringList topics;
        for (const BrokerWatcher::Message &message : owner.on("set") + owner.on(qPrintable("set/" + user)))
            topics << message.topic;
        QCOMPARE(topics, QStringList({topic, topic}));
        QCOMPARE(statusMessages.filter("Commands go to tqx5r/set instead").size(), toldOfSharedTopic ? 1 : 0);
    }

    void failuresAreToldOnTheRemotePanel()
    {
        startRemote("operator");
        BrokerWatcher watcher(TestAccounts::settings(*broker, "viewer"));
        QTRY_VERIFY_WITH_TIMEOUT(keyActive("botaoTecla1"), 10000);
        // The owner's switch gone: the owner refuses this panel's command and
        // the operator here is told why.
        device->vanish();
        QTRY_VERIFY_WITH_TIMEOUT(watcher.last("state").contains(R"("link":{"connected":false)"), 10000);
        QTest::keyClick(window, Qt::Key_F3);
        QTRY_VERIFY_WITH_TIMEOUT(
            statusMessages.contains("The panel that owns the switch refused a command: the switch is not connected"),
            10000);
    }

    void brokerLossShowsOnThePanel()
    {
        startRemote("operator");
        auto *power = child<QRadioButton>("power");
        QTRY_VERIFY_WITH_TIMEOUT(power->isChecked() && keyActive("botaoTecla1"), 10000);
        // The broker gone: POWER goes out at once, and the broker's message
        // stays rather than "No answer".
        broker->stop();
        QTRY_VERIFY_WITH_TIMEOUT(statusText().startsWith("Lost the broker"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!power->isChecked(), 1000);
        QTest::qWait(2500);
        QVERIFY(!power->isChecked());
        QVERIFY2(statusText().startsWith("Lost the broker"), qPrintable(statusText()));

        // A split cannot reach the switch, so it is not claimed as
        // configured; its word is dropped when its turn comes, silently.
        auto *split = child<QRadioButton>("split");
        split->click();
        QTest::keyClick(window, Qt::Key_F2);
        QCOMPARE(statusText(), QString("Not connected to TQX-5R"));
        QTRY_VERIFY_WITH_TIMEOUT(rig->panel.queuedWords().isEmpty(), 5000);
        QTest::qWait(200);
        QCOMPARE(statusText(), QString("Not connected to TQX-5R"));
        // The lamp lit by the click stays until the switch reports again.
        QVERIFY(split->isChecked());

        // The broker back: the switch shows again, as it is.
        QVERIFY2(broker->start(), qPrintable(broker->errorString()));
        QTRY_VERIFY_WITH_TIMEOUT(power->isChecked(), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!split->isChecked() && keyActive("botaoTecla1"), 5000);
        QCOMPARE(commandsAtSwitch(), QList<QByteArray>());
    }

    void remotePanelProcessOnAnXServer()
    {
        // A second computer as its operator starts it: tqx5r-panel --remote
        // on an X server, read from the screen and driven by a key press.
        int display = 90;
        while (QFile::exists(QString("/tmp/.X11-unix/X%1").arg(display))
               || QFile::exists(QString("/tmp/.X%1-lock").arg(display)))
            ++display;
        QProcess xServer;
        xServer.start("Xvfb", {QString(":%1").arg(display), "-screen", "0", "800x300x24", "-nolisten", "tcp"});
        QVERIFY(xServer.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QString("/tmp/.X11-unix/X%1").arg(display)), 10000);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QT_QPA_PLATFORM");
        environment.insert("DISPLAY", QString(":%1").arg(display));
        environment.insert(RemoteOptions::passwordVariable, TestAccounts::passwordOf("operator"));
        QProcess remotePanel;
        remotePanel.setProcessEnvironment(environment);
        remotePanel.start(QStringLiteral(TQX5R_PANEL_PATH),
                          {"--remote", QString("127.0.0.1:%1").arg(broker->port()), "--mqtt-user", "operator"});
        QVERIFY(remotePanel.waitForStarted(20000));

        SwitchState moved = device->state();
        moved.position = 6;
        device->setState(moved);
        QTRY_COMPARE_WITH_TIMEOUT(activeKeyOnScreen(environment), 7, 30000);

        device->clearReceived();
        QProcess keyboard;
        keyboard.setProcessEnvironment(environment);
        keyboard.start("xdotool", {"search", "--sync", "--name", "TQX-5R Serial Controller", "windowfocus", "--sync",
                                   "key", "F5"});
        QVERIFY(keyboard.waitForFinished(20000));
        QCOMPARE(keyboard.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(commandsAtSwitch().value(0), QByteArray("IGS4;\0\0", 7), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(activeKeyOnScreen(environment), 5, 30000);

        // None of its open files is a terminal: it never opened the switch.
        const QDir descriptors(QString("/proc/%1/fd").arg(remotePanel.processId()));
        for (const QFileInfo &descriptor : descriptors.entryInfoList(QDir::System | QDir::NoDotAndDotDot))
            QVERIFY2(!descriptor.symLinkTarget().startsWith("/dev/pts") && !descriptor.symLinkTarget().startsWith("/dev/tty"),
                     qPrintable(descriptor.symLinkTarget()));
        remotePanel.terminate();
        QVERIFY(remotePanel.waitForFinished(20000));
        xServer.terminate();
        QVERIFY(xServer.waitForFinished(10000));
    }

private:
    // The key (1-8) painted as the antenna in use on the X screen, or 0: the
    // middle of the yellow area, matched to the nearest key of this
    // process's window, which has the same layout.
    int activeKeyOnScreen(const QProcessEnvironment &environment)
    {
        const QString picture = scratch.filePath("screen.png");
        QProcess screenshot;
        screenshot.setProcessEnvironment(environment);
        screenshot.start(QStringLiteral(TQX5R_SCREENSHOT_PATH), {"--timeout", "1", picture});
        if (!screenshot.waitForFinished(20000) || screenshot.exitCode() != 0)
            return 0;
        const QImage image = QImage(picture).convertToFormat(QImage::Format_RGB32);
        qint64 sumX = 0;
        qint64 count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixelColor(x, y) == QColor(254, 237, 137))
                    sumX += x, ++count;
            }
        }
        if (count == 0)
            return 0;
        const auto distance = [this, middle = sumX / count](int key) {
            const auto *button = child<QPushButton>(qPrintable(QString("botaoTecla%1").arg(key)));
            return std::abs(button->mapTo(window, button->rect().center()).x() - middle);
        };
        int nearest = 1;
        for (int key = 2; key <= 8; ++key)
            nearest = distance(key) < distance(nearest) ? key : nearest;
        return nearest;
    }

    void startRemote(const QString &user)
    {
        remote = std::make_unique<RemoteFeature>(*window, TestAccounts::settings(*broker, user, true));
        connect(child<QStatusBar>("statusBar"), &QStatusBar::messageChanged, this,
                [this](const QString &text) { statusMessages << text; });
        window->connectAtStart(QString());
    }
    template<typename T> T *child(const char *name) const { return rig->panel.child<T>(name); }
    QString statusText() const { return rig->panel.statusText(); }
    bool keyActive(const char *name) const { return child<QPushButton>(name)->styleSheet() == KeyPainting::activeKeyStyle; }
    QList<QByteArray> commandsAtSwitch() const { return commandsAt(*device); }

    std::unique_ptr<LocalBroker> broker;
    std::unique_ptr<LinkedPanel> rig;
    VirtualSwitch *device = nullptr;
    MainWindow *window = nullptr;
    std::unique_ptr<QProcess> ownerPanel;
    std::unique_ptr<RemoteFeature> remote;
    QStringList statusMessages;
    QTemporaryDir scratch;
};

QTEST_MAIN(tst_RemotePanel)
#include "tst_remotepanel.moc"
