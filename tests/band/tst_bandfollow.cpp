#include "band/BandFollow.h"
#include "band/BandFollower.h"
#include "panel/SwitchSeam.h"
#include "sim/DummyRig.h"
#include "support/LinkedPanel.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>

#include <clocale>
#include <memory>

// Band follow end to end: the real rigctld with Hamlib's dummy radio, the
// real window and poll thread and the virtual switch at the far end of a
// pseudo-terminal; and the panel's own process following a logger's packet.
class tst_BandFollow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Nothing may reach the real home folder.
        qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
        // Hamlib needs LC_NUMERIC at "C", which tqx5r-panel sets at start.
        std::setlocale(LC_NUMERIC, "C");
    }

    void init()
    {
        memoryPath = dir.filePath(QStringLiteral("%1.ini").arg(QTest::currentTestFunction()));
    }

    void cleanup()
    {
        statusTexts.reset();
        follow.reset();
        linked.reset();
    }

    void followsTheRigAndLearnsFromTheFrontPanel()
    {
        DummyRig rig;
        QVERIFY2(rig.start(), qPrintable(rig.errorString()));
        startFollowing(rig.address());
        const auto memory = [this] { return BandMemory(memoryPath).load(); };

        // Learned from the switch's own front panel, one band after the other.
        QVERIFY(rig.setFrequency(14200000));
        QTRY_COMPARE(band(), QString("20m"));
        moveFrontPanel(2);
        QVERIFY(rig.setFrequency(7100000));
        QTRY_COMPARE(band(), QString("40m"));
        moveFrontPanel(4);
        QTRY_COMPARE(memory()[static_cast<size_t>(BandPlan::bandForKey("40m"))], 4);
        QCOMPARE(memory()[static_cast<size_t>(BandPlan::bandForKey("20m"))], 2);
        QVERIFY(framesAtSwitch("IGS").isEmpty());

        // Back on 20 m: the switch gets Ant 3, as F3 would have sent it.
        QVERIFY(rig.setFrequency(14200000));
        QTRY_COMPARE(framesAtSwitch("IGS"), QList<QByteArray>{"IGS2;"});
        QVERIFY(statusTexts->contains(QVariantList{"20 m: Ant 3"}));

        // SEND on: the band change waits until the switch stops sending; the
        // radio's own PTT holds it the same way.
        moveFrontPanel(2, true);
        linked->device->clearReceived();
        QVERIFY(rig.setFrequency(7100000));
        QTRY_COMPARE(band(), QString("40m"));
        QTRY_VERIFY(framesAtSwitch("IGT3;").size() >= 3);
        QVERIFY(framesAtSwitch("IGS").isEmpty());
        moveFrontPanel(2, false);
        QTRY_COMPARE(framesAtSwitch("IGS"), QList<QByteArray>{"IGS4;"});

        QTRY_COMPARE(snapshot().position, quint8(4));
        linked->device->clearReceived();
        QVERIFY(rig.setPtt(true));
        QVERIFY(rig.setFrequency(14200000));
        QTRY_COMPARE(band(), QString("20m"));
        QTRY_VERIFY(framesAtSwitch("IGT3;").size() >= 3);
        QVERIFY(framesAtSwitch("IGS").isEmpty());
        QVERIFY(rig.setPtt(false));
        QTRY_COMPARE(framesAtSwitch("IGS"), QList<QByteArray>{"IGS2;"});

        // A restart reads what was learned.
        QTRY_COMPARE(snapshot().position, quint8(2));
        follow.reset();
        QVERIFY(rig.setFrequency(7100000));
        linked->device->clearReceived();
        startFollowing(rig.address());
        QTRY_COMPARE(framesAtSwitch("IGS"), QList<QByteArray>{"IGS4;"});
    }

    void absentRigIsReportedOnceAndFollowedWhenItAnswers()
    {
        DummyRig rig;
        QVERIFY2(rig.start(), qPrintable(rig.errorString()));
        const quint16 port = rig.port();
        rig.stop();
        const int retryMs = 100;
        startFollowing(rig.address(), retryMs);
        const QVariantList notAnswering{"Rig not answering"};
        QTRY_COMPARE(statusTexts->count(), 1);
        QCOMPARE(statusTexts->first(), notAnswering);

        // It comes up later: the next try finds it.
        QVERIFY2(rig.start(port), qPrintable(rig.errorString()));
        QVERIFY(rig.setFrequency(14200000));
        QTRY_COMPARE(band(), QString("20m"));
        QCOMPARE(statusTexts->count(), 2);
        QCOMPARE(statusTexts->last(), QVariantList{"Rig answering again"});

        // It goes away: said once more, however many tries fail.
        rig.stop();
        QTRY_COMPARE(statusTexts->count(), 3);
        QCOMPARE(statusTexts->last(), notAnswering);
        QTest::qWait(5 * retryMs);
        QCOMPARE(statusTexts->count(), 3);
    }

    void panelProcessFollowsALoggerBroadcast()
    {
        linked = std::make_unique<LinkedPanel>(); // its switch is for the panel process
        QVERIFY(BandMemory(memoryPath).remember(BandPlan::bandForKey("20m"), 2));
        QUdpSocket logger;
        QVERIFY(logger.bind(QHostAddress(QHostAddress::LocalHost), 0));
        const quint16 port = logger.localPort();
        logger.close();

        QProcess panel;  // on the offscreen platform, like this test
        panel.start(QStringLiteral(TQX5R_PANEL_PATH), {"--port", linked->device->devicePath(), "--logger-udp",
                                                       QString::number(port), "--bands", memoryPath});
        QTRY_VERIFY_WITH_TIMEOUT(framesAtSwitch("IGT3;").size() >= 1, 20000);
        logger.writeDatagram("<RadioInfo><RadioNr>1</RadioNr><ActiveRadioNr>1</ActiveRadioNr><Freq>1420000</Freq>"
                             "<IsTransmitting>False</IsTransmitting></RadioInfo>",
                             QHostAddress::LocalHost, port);
        QTRY_COMPARE(framesAtSwitch("IGS"), QList<QByteArray>{"IGS2;"});
        panel.terminate();
        QVERIFY(panel.waitForFinished(20000));
    }

private:
    void startFollowing(const QString &rigAddress, int retryMs = HamlibSettings::defaultRetryMs)
    {
        if (!linked) {
            linked = std::make_unique<LinkedPanel>();
            linked->connect();
            QTRY_VERIFY(snapshot().power);
        }
        BandFollowSettings settings;
        settings.rig = HamlibSettings();
        settings.rig->model = HamlibSettings::rigctldModel;
        settings.rig->file = rigAddress;
        settings.rig->speed = 9600; // as rigctl -s; rigctld's port has no speed
        settings.rig->retryMs = retryMs;
        settings.memoryPath = memoryPath;
        statusTexts.reset();
        follow = std::make_unique<BandFollow>(settings, linked->window->seam());
        statusTexts = std::make_unique<QSignalSpy>(follow.get(), &BandFollow::statusText);
    }

    void moveFrontPanel(int position, bool sending = false)
    {
        SwitchState state = linked->device->state();
        state.position = static_cast<quint8>(position);
        state.sending = sending;
        linked->device->setState(state);
        QTRY_VERIFY(snapshot().position == position && snapshot().send == sending);
    }

    // The frames from the panel that start with prefix, cut to five bytes.
    QList<QByteArray> framesAtSwitch(const QByteArray &prefix) const
    {
        QList<QByteArray> frames;
        for (const VirtualSwitch::ReceivedFrame &frame : linked->device->receivedFrames()) {
            if (frame.bytes.startsWith(prefix))
                frames << frame.bytes.left(5);
        }
        return frames;
    }

    QString band() const { return follow->follower()->band(); }
    const SwitchSnapshot &snapshot() const { return linked->window->seam()->snapshot(); }

    QTemporaryDir dir;
    QString memoryPath;
    std::unique_ptr<LinkedPanel> linked;
    std::unique_ptr<BandFollow> follow;
    std::unique_ptr<QSignalSpy> statusTexts;
};

QTEST_MAIN(tst_BandFollow)
#include "tst_bandfollow.moc"
