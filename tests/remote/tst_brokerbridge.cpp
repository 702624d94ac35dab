#include "panel/SwitchSeam.h"
#include "remote/RemoteFeature.h"
#include "sim/LocalBroker.h"
#include "support/BrokerWatcher.h"
#include "support/LinkedPanel.h"

#include <QAction>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QtTest>

#include <memory>

// The panel that owns the switch, on a real Mosquitto: the window and poll
// thread against the virtual switch, the broker started by the test, and a
// watching client playing dashboard and script.
class tst_BrokerBridge : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        announcements.clear();
        broker = std::make_unique<LocalBroker>();
        TestAccounts::addTo(*broker);
        rig = std::make_unique<LinkedPanel>();
    }

    void cleanup()
    {
        watcher.reset();
        owner.reset();
        rig.reset();
        broker.reset();
    }

    void retainedStateRelayedFramesAndCommands()
    {
        // A dashboard that comes later finds the retained state and firmware.
        startOwnerThenWatcher();
        QTRY_COMPARE_WITH_TIMEOUT(lastState().value("antenna").toInt(), 1, 5000);
        QCOMPARE(watcher->on("state").first().retained, true);
        QCOMPARE(lastState().value("firmware").toString(), QString("1.12"));
        QCOMPARE(lastState().value("link").toObject().value("port").toString(), rig->device->devicePath());
        QCOMPARE(watcher->on("firmware").value(0).payload, VirtualSwitch::firmwareFrame(1, 12));
        QTRY_VERIFY_WITH_TIMEOUT(watcher->on("frames").size() >= 3, 5000);
        QCOMPARE(watcher->on("frames").last().payload.left(3), QByteArray("IGT"));

        // A change at the switch is published once; steady polls publish nothing.
        SwitchState moved = rig->device->state();
        moved.position = 5;
        moved.busyMask = 0xFB;
        rig->device->setState(moved);
        QTRY_COMPARE_WITH_TIMEOUT(lastState().value("antenna").toInt(), 6, 5000);
        QCOMPARE(lastState().value("busy").toArray(), QJsonArray({3}));
        const int states = watcher->on("state").size();
        const int frames = watcher->on("frames").size();
        QTRY_VERIFY_WITH_TIMEOUT(watcher->on("frames").size() >= frames + 4, 5000);
        QCOMPARE(watcher->on("state").size(), states);
        // Nor does a change the state does not carry: the operator starting
        // to choose a split TX antenna.
        child<QRadioButton>("split")->click();
        QVERIFY(rig->window->seam()->snapshot().choosingSplitTx);
        QTRY_VERIFY_WITH_TIMEOUT(watcher->on("frames").size() >= frames + 8, 5000);
        QCOMPARE(watcher->on("state").size(), states);
        child<QRadioButton>("split")->click();

        // A command becomes the word the panel's own key would queue. The
        // split right after it names the antenna just selected, not the one
        // the switch still reported when it came.
        QVERIFY(watcher->publish("set", R"({"antenna":4})"));
        QVERIFY(watcher->publish("set", R"({"split":{"tx":6}})"));
        QTRY_COMPARE_WITH_TIMEOUT(commandsAtSwitch().size(), 2, 5000);
        QCOMPARE(commandsAtSwitch().first().left(5), QByteArray("IGS3;"));
        QCOMPARE(commandsAtSwitch().last().left(7), QByteArray("IGP351;"));
        QVERIFY(watcher->on("error").isEmpty());

        // A clean exit says offline before it goes, and leaves no switch in
        // use and no firmware behind.
        owner.reset();
        QTRY_COMPARE_WITH_TIMEOUT(watcher->last("online"), QByteArray("false"), 5000);
        QCOMPARE(lastState().value("link").toObject().value("connected").toBool(true), false);
        QVERIFY(lastState().value("antenna").isNull());
        QCOMPARE(watcher->last("firmware"), QByteArray());
        // ... and leaves with a clean DISCONNECT, not a dropped connection.
        QTRY_VERIFY2_WITH_TIMEOUT(broker->log().contains(" disconnected."), broker->log().constData(), 5000);
    }

    void refusedCommandsNeverReachTheSwitch()
    {
        QVERIFY2(broker->start(), qPrintable(broker->errorString()));
        watcher = std::make_unique<BrokerWatcher>(TestAccounts::settings(*broker, "operator"));
        QTRY_VERIFY_WITH_TIMEOUT(watcher->isConnected(), 5000);
        // Kept by the broker, a command would act again at every reconnect.
        QVERIFY(watcher->publish("set", R"({"antenna":3})", true));
        // Back from the broker, so it is kept there before the panel subscribes.
        QTRY_COMPARE_WITH_TIMEOUT(watcher->on("set").size(), 1, 5000);
        startOwner(TestAccounts::settings(*broker, "owner"));
        connectToSwitch();
        auto *key1 = child<QPushButton>("botaoTecla1");
        const QString keyLook = key1->styleSheet();
        QTRY_COMPARE_WITH_TIMEOUT(watcher->last("online"), QByteArray("true"), 5000);

        const QList<QByteArray> refused{"{\"antenna\":", R"({"antenna":9})", R"({"rotor":"2"})", R"({"volume":3})",
                                        R"({"word":833})", R"({"antenna":2,"rotor":1})",
                                        R"({"superSplit":)" + QByteArray(300, '[') + QByteArray(300, ']') + "}"};
        for (const QByteArray &command : refused)
            QVERIFY(watcher->publish("set", command));
        QTRY_COMPARE_WITH_TIMEOUT(watcher->on("error").size(), refused.size() + 1, 5000);
        QVERIFY(watcher->on("error").first().payload.contains("retained"));
        const QJsonObject report = QJsonDocument::fromJson(watcher->on("error").at(2).payload).object();
        QVERIFY(report.value("error").toString().contains("antenna must be"));
        QCOMPARE(report.value("command").toString(), QString(R"({"antenna":9})"));
        QVERIFY(!watcher->on("error").first().retained);

        // Disconnected from the switch, even a good command is refused.
        child<QAction>("actionDisconnect")->trigger();
        QVERIFY(watcher->publish("set", R"({"antenna":2})"));
        QTRY_COMPARE_WITH_TIMEOUT(watcher->on("error").size(), refused.size() + 2, 5000);
        QVERIFY(watcher->last("error").contains("not connected"));
        QCOMPARE(commandsAtSwitch(), QList<QByteArray>());
        QCOMPARE(key1->styleSheet(), keyLook);
    }

    // A retained command is refused as it arrives; then fifty commands a
    // second for six seconds: the switch is still polled and heard several
    // times every second, never taken for silent.
    void commandFloodCannotStarveThePolls()
    {
        startOwnerThenWatcher();
        QTRY_VERIFY_WITH_TIMEOUT(watcher->last("state").contains("\"power\":true"), 5000);
        // Kept by the broker while the owner listens: refused at once, not
        // only when the broker hands it over again after a reconnect. A live
        // command after it goes through; the retained one never did.
        QVERIFY(watcher->publish("set", R"({"antenna":4})", true));
        QTRY_COMPARE_WITH_TIMEOUT(watcher->on("error").size(), 1, 5000);
        QVERIFY(watcher->last("error").contains("retained"));
        QVERIFY(watcher->publish("set", R"({"antenna":2})"));
        QTRY_COMPARE_WITH_TIMEOUT(commandsAtSwitch().size(), 1, 5000);
        QTest::qWait(300);
        QCOMPARE(commandsAtSwitch().size(), 1);
        QCOMPARE(commandsAtSwitch().first().left(5), QByteArray("IGS1;"));
        QCOMPARE(watcher->on("error").size(), 1);
        const int statesBefore = watcher->on("state").size();
        QStringList texts;
        connect(rig->window->statusBar(), &QStatusBar::messageChanged, this,
                [&texts](const QString &text) { texts << text; });

        constexpr int seconds = 6;
        constexpr int perSecond = 50;
        const qint64 startNs = VirtualSwitch::monotonicNs();
        QElapsedTimer flood;
        flood.start();
        for (int sent = 0; sent < seconds * perSecond;) {
            if (flood.elapsed() >= sent * 1000 / perSecond) {
                QVERIFY(watcher->publish("set", QStringLiteral(R"({"antenna":%1})").arg(sent % 8 + 1).toUtf8()));
                ++sent;
            }
            QTest::qWait(2);
        }
        const QList<qint64> answers = rig->device->statusFrameWrittenNs();
        for (int second = 0; second < seconds; ++second) {
            const qint64 from = startNs + second * 1000000000LL;
            const auto inSecond = std::count_if(answers.begin(), answers.end(), [from](qint64 ns) {
                return ns >= from && ns < from + 1000000000LL;
            });
            QVERIFY2(inSecond >= 3, qPrintable(QStringLiteral("%1 status frames in second %2").arg(inSecond).arg(second)));
        }
        QVERIFY2(!texts.join('\n').contains("No answer"), qPrintable(texts.join('\n')));
        for (const BrokerWatcher::Message &state : watcher->on("state").mid(statesBefore))
            QVERIFY2(!state.payload.contains("\"power\":false"), state.payload.constData());
        // Most were refused, and said so.
        QVERIFY(watcher->on("error").size() > seconds * perSecond / 2);
    }

    // One operator floods under their own name at twenty commands a second;
    // another's commands, under theirs, still reach the switch within a
    // turn or two, and each refusal names the one refused.
    void oneOperatorCannotLockOutAnother()
    {
        startOwnerThenWatcher();
        BrokerWatcher flooder(TestAccounts::settings(*broker, "operator2"));
        QTRY_VERIFY_WITH_TIMEOUT(flooder.isConnected(), 5000);
        QSignalSpy notes(owner.get(), &RemoteFeature::note);
        rig->device->clearReceived();

        constexpr int perSecond = 20;
        constexpr int seconds = 5;
        QList<qint64> pressedNs;
        QElapsedTimer flood;
        flood.start();
        for (int sent = 0; sent < seconds * perSecond;) {
            if (flood.elapsed() >= sent * 1000 / perSecond) {
                QVERIFY(flooder.publish("set/operator2", QByteArray(sent % 2 ? R"({"antenna":8})" : R"({"antenna":7})")));
                // The other operator presses antennas 2, 3, 4, 5 once a second.
                if (sent % perSecond == perSecond / 2) {
                    const int antenna = 2 + sent / perSecond;
                    if (antenna <= 5) {
                        pressedNs << VirtualSwitch::monotonicNs();
                        QVERIFY(watcher->publish("set/operator", QStringLiteral(R"({"antenna":%1})").arg(antenna).toUtf8()));
                    }
                }
                ++sent;
            }
            QTest::qWait(2);
        }
        QTest::qWait(1000);
        const QList<VirtualSwitch::ReceivedFrame> frames = rig->device->receivedFrames();
        for (int i = 0; i < pressedNs.size(); ++i) {
            const QByteArray select = QStringLiteral("IGS%1;").arg(i + 1).toLatin1();
            const auto reached = std::find_if(frames.begin(), frames.end(), [&](const VirtualSwitch::ReceivedFrame &f) {
                return f.bytes.startsWith(select) && f.firstByteNs >= pressedNs[i];
            });
            QVERIFY2(reached != frames.end(), select.constData());
            const qint64 waitedMs = (reached->firstByteNs - pressedNs[i]) / 1000000;
            QVERIFY2(waitedMs < 1500, qPrintable(QStringLiteral("%1 waited %2 ms").arg(select.constData()).arg(waitedMs)));
        }
        // The flooder was refused, by name, on the error topic and on stderr
        // (a line now and then, not one per command).
        const QList<BrokerWatcher::Message> errors = watcher->on("error");
        QVERIFY(errors.size() > seconds * perSecond / 2);
        for (const BrokerWatcher::Message &error : errors)
            QCOMPARE(QJsonDocument::fromJson(error.payload).object().value("user").toString(), QString("operator2"));
        QVERIFY(!notes.isEmpty() && notes.size() <= 2);
        QVERIFY2(notes.first().first().toString().startsWith("Refused a command from operator2: too many commands"),
                 qPrintable(notes.first().first().toString()));

        // Alone again, the shared topic works as before, and its refusals name no one.
        QVERIFY(watcher->publish("set", R"({"antenna":9})"));
        QTRY_COMPARE_WITH_TIMEOUT(watcher->on("error").size(), errors.size() + 1, 5000);
        QVERIFY(!QJsonDocument::fromJson(watcher->last("error")).object().contains("user"));
        QVERIFY(watcher->publish("set", R"({"antenna":6})"));
        QTRY_VERIFY_WITH_TIMEOUT(commandsAtSwitch().last().startsWith("IGS5;"), 5000);

        // Where the ACL lets someone name any sender, the name cannot forge
        // a line of the log.
        BrokerWatcher anyone(TestAccounts::settings(*broker, "owner"));
        QTRY_VERIFY_WITH_TIMEOUT(anyone.isConnected(), 5000);
        notes.clear();
        // (The broker itself turns away control characters in topics; a line
        // separator and a direction override it lets through.)
        QVERIFY(anyone.publishOn(QString::fromUtf8("tqx5r/set/x\u2028Refused nothing\u202e"), R"({"antenna":0})"));
        QTRY_COMPARE_WITH_TIMEOUT(notes.size(), 1, 5000);
        QCOMPARE(notes.first().first().toString().left(44), QString("Refused a command from x?Refused nothing?: a"));
    }

    void wrongPasswordIsReportedOnceAndThePanelWorksOn()
    {
        QVERIFY2(broker->start(), qPrintable(broker->errorString()));
        BrokerSettings settings = TestAccounts::settings(*broker, "owner");
        settings.password = QStringLiteral("not the password");
        startOwner(settings);
        connectToSwitch();
        // Refused again at each retry, told once.
        QTRY_VERIFY2_WITH_TIMEOUT(broker->log().count("not authorised") >= 2, broker->log().constData(), 10000);
        QCOMPARE(announced("refused the login"), 1);
        QVERIFY(!announcements.join(' ').contains(settings.password));

        QTest::keyClick(rig->window.get(), Qt::Key_F3);
        QTRY_COMPARE_WITH_TIMEOUT(commandsAtSwitch().value(0).left(5), QByteArray("IGS2;"), 5000);
    }

    void aNameThatCannotBeLookedUpIsOneSentence()
    {
        BrokerSettings settings = TestAccounts::settings(*broker, "owner");
        settings.host = QStringLiteral("no-such-broker.invalid");
        startOwner(settings);
        QTRY_COMPARE_WITH_TIMEOUT(announced("Cannot reach the broker no-such-broker.invalid"), 1, 10000);
        const QString said = announcements.filter("Cannot reach the broker").value(0);
        QVERIFY2(said.endsWith("; trying again") && !said.contains(".;"), qPrintable(said));
    }

    void brokerAwayAtStartAndRestarted()
    {
        // The broker is not there yet: the panel works on by itself.
        startOwner(TestAccounts::settings(*broker, "owner"));
        connectToSwitch();
        QTest::keyClick(rig->window.get(), Qt::Key_F2);
        QTRY_COMPARE_WITH_TIMEOUT(commandsAtSwitch().value(0).left(5), QByteArray("IGS1;"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(announced("Cannot reach the broker"), 1, 5000);
        // Tried again after the first back-off, and not told again.
        QTest::qWait(MosquittoClient::firstRetryMs * 3 / 2);
        QCOMPARE(announced("Cannot reach the broker"), 1);

        QVERIFY2(broker->start(), qPrintable(broker->errorString()));
        watcher = std::make_unique<BrokerWatcher>(TestAccounts::settings(*broker, "viewer"));
        QTRY_COMPARE_WITH_TIMEOUT(lastState().value("antenna").toInt(), 2, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(announced("Publishing TQX-5R on the broker"), 1, 5000);

        // Killed and started again without its retained messages: the panel
        // reconnects and publishes them again.
        watcher.reset();
        broker->kill();
        QVERIFY2(broker->start(), qPrintable(broker->errorString()));
        watcher = std::make_unique<BrokerWatcher>(TestAccounts::settings(*broker, "viewer"));
        QTRY_COMPARE_WITH_TIMEOUT(lastState().value("antenna").toInt(), 2, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(watcher->last("online"), QByteArray("true"), 5000);
        QCOMPARE(watcher->on("firmware").value(0).payload, VirtualSwitch::firmwareFrame(1, 12));
    }

    void tlsChecksCertificateAndHostName()
    {
        QVERIFY2(broker->enableTls(), qPrintable(broker->errorString()));
        QVERIFY2(broker->start(), qPrintable(broker->errorString()));
        BrokerSettings settings = TestAccounts::settings(*broker, "owner");
        settings.caFile = broker->caFile();
        settings.host = QStringLiteral("localhost");
        startOwner(settings);
        BrokerSettings watching = TestAccounts::settings(*broker, "viewer");
        watching.caFile = broker->caFile();
        watching.host = settings.host;
        watcher = std::make_unique<BrokerWatcher>(watching);
        QTRY_COMPARE_WITH_TIMEOUT(watcher->last("online"), QByteArray("true"), 5000);

        // The certificate names localhost, not the address.
        settings.host = QStringLiteral("127.0.0.1");
        RemoteFeature wrongName(*rig->window, settings);
        QSignalSpy told(&wrongName, &RemoteFeature::announce);
        QTRY_VERIFY_WITH_TIMEOUT(!told.isEmpty(), 5000);
        QVERIFY2(told.first().first().toString().contains("certificate verify failed"),
                 qPrintable(told.first().first().toString()));
    }

private:
    void startOwner(const BrokerSettings &settings)
    {
        owner = std::make_unique<RemoteFeature>(*rig->window, settings);
        connect(owner.get(), &RemoteFeature::announce, this, [this](const QString &text) { announcements << text; });
    }

    // The broker, the owner on it and at the switch, then a watcher.
    void startOwnerThenWatcher()
    {
        QVERIFY2(broker->start(), qPrintable(broker->errorString()));
        startOwner(TestAccounts::settings(*broker, "owner"));
        connectToSwitch();
        watcher = std::make_unique<BrokerWatcher>(TestAccounts::settings(*broker, "operator"));
        QTRY_COMPARE_WITH_TIMEOUT(watcher->last("online"), QByteArray("true"), 5000);
    }

    void connectToSwitch()
    {
        rig->connect();
        QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);
    }

    QJsonObject lastState() const { return QJsonDocument::fromJson(watcher->last("state")).object(); }
    QList<QByteArray> commandsAtSwitch() const { return commandsAt(*rig->device); }
    int announced(const QString &part) const
    {
        return static_cast<int>(std::count_if(announcements.begin(), announcements.end(),
                                              [&part](const QString &text) { return text.contains(part); }));
    }
    template<typename T> T *child(const char *name) const { return rig->panel.child<T>(name); }

    std::unique_ptr<LocalBroker> broker;
    std::unique_ptr<LinkedPanel> rig;
    std::unique_ptr<RemoteFeature> owner;
    std::unique_ptr<BrokerWatcher> watcher;
    QStringList announcements;
};

QTEST_MAIN(tst_BrokerBridge)
#include "tst_brokerbridge.moc"
