#include "link/Transmitter.h"
#include "panel/KeyPainting.h"
#include "remote/RemoteFeature.h"
#include "remote/RemoteOptions.h"
#include "sim/LocalBroker.h"
#include "support/BrokerWatcher.h"
#include "support/LinkedPanel.h"

#include <QAction>
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
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert(RemoteOptions::passwordVariable, TestAccounts::passwordOf("owner"));
        ownerPanel->setProcessEnvironment(environment);
        ownerPanel->start(QStringLiteral(TQX5R_PANEL_PATH), {"--port", device->devicePath(), "--mqtt",
                                                             QString("127.0.0.1:%1").arg(broker->port()),
                                                             "--mqtt-user", "owner"});
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

        // Its keys reach the switch through the owner's queue.
        device->clearReceived();
        QTest::keyClick(window, Qt::Key_F5);
        QTRY_COMPARE_WITH_TIMEOUT(commandsAtSwitch().value(0), QByteArray("IGS4;\0\0", 7), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(device->state().position, quint8(4), 5000);
        child<QRadioButton>("split")->click();
        QTest::keyClick(window, Qt::Key_F2);
        QTRY_COMPARE_WITH_TIMEOUT(commandsAtSwitch().value(1).left(7), QByteArray("IGP411;"), 5000);
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
        QTRY_VERIFY_WITH_TIMEOUT(statusText().contains(refused), 5000);
        // Refused again, not told again.
        QTest::keyClick(window, Qt::Key_F6);
        QTest::qWait(500);
        QCOMPARE(statusMessages.filter(refused).size(), 1);
        QCOMPARE(notes.size(), 1);
        QCOMPARE(commandsAtSwitch(), QList<QByteArray>());
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

        // The broker gone: a split cannot reach the switch, so it is not
        // claimed as configured, and the broker's message is not hidden.
        broker.reset();
        QTRY_VERIFY_WITH_TIMEOUT(statusText().startsWith("Lost the broker"), 10000);
        child<QRadioButton>("split")->click();
        QTest::keyClick(window, Qt::Key_F2);
        QCOMPARE(statusText(), QString("Not connected to TQX-5R"));
    }

private:
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
};

QTEST_MAIN(tst_RemotePanel)
#include "tst_remotepanel.moc"
