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

        // Learned from the switch's own front panel, one band after the other
        // (a choice counts for its band once no band change follows it at once).
        QVERIFY(rig.setFrequency(14200000));
        QTRY_COMPARE(band(), QString("20m"));
        moveFrontPanel(2);
        QTRY_COMPARE(memory()[static_cast<size_t>(BandPlan::bandForKey("20m"))], 2);
        QVERIFY(rig.setFrequency(7100000));
        QTRY_COMPARE(band(), QString("40m"));
        moveFrontPanel(4);
        QTRY_COMPARE(memory()[static_cast<size_t>(BandPlan::bandForKey("40m"))], 4);
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
        const quint16 port = freePort();
        QProcess panel;  // on the offscreen platform, like this test
        panel.start(QStringLiteral(TQX5R_PANEL_PATH), {"--port", linked->device->devicePath(), "--logger-udp",
                                                       QString::number(port), "--bands", memoryPath});
        QTRY_VERIFY_WITH_TIMEOUT(framesAtSwitch("IGT3;").size() >= 1, 20000);
        logger.writeDatagram(radioInfo(14200000, false), QHostAddress::LocalHost, port);
        QTRY_COMPARE(framesAtSwitch("IGS"), QList<QByteArray>{"IGS2;"});
        panel.terminate();
        QVERIFY(panel.waitForFinished(20000));
    }

    // A transmit packet that has arrived but not been read yet when the
    // select's turn comes holds it: the turn reads the logger's port first.
    // The poll thread is stopped; the test gives the turns.
    void transmitNewsAtTheTurnHoldsTheSelect()
    {
        QVERIFY(BandMemory(memoryPath).remember(BandPlan::bandForKey("20m"), 2));
        startFollowingLogger();
        linked->pollThread->stop();
        sendRadioInfo(14200000, false);
        sendRadioInfo(14210000, false);
        QTRY_COMPARE(band(), QString("20m"));
        // The select waits for a status frame read after the band counted.
        QVERIFY(!linked->window->seam()->guardedWordReady());
        pollOnce();
        QTRY_VERIFY(linked->window->seam()->guardedWordReady());

        sendRadioInfo(14210000, true);
        linked->window->callEnvioFila();
        QVERIFY(!linked->window->seam()->guardedWordReady());
        QTest::qWait(100);
        QVERIFY(framesAtSwitch("IGS").isEmpty());

        // After transmitting, the hang time passes before the select may go.
        sendRadioInfo(14210000, false);
        const qint64 receivedNs = VirtualSwitch::monotonicNs();
        QTRY_VERIFY(!follow->follower()->followRules().sourcesTransmitting());
        linked->window->callEnvioFila();
        QTest::qWait(100);
        QVERIFY(framesAtSwitch("IGS").isEmpty());
        // Once the hang time is over, a status frame read after it lets it go.
        QTRY_VERIFY_WITH_TIMEOUT(follow->follower()->hold() != FollowRules::Hold::AfterTransmit, 2000);
        QVERIFY(!linked->window->seam()->guardedWordReady());
        pollOnce();
        QTRY_VERIFY_WITH_TIMEOUT(linked->window->seam()->guardedWordReady(), 2000);
        QVERIFY(VirtualSwitch::monotonicNs() - receivedNs >= hangMs * 1000000);
        linked->window->callEnvioFila();
        QTRY_COMPARE(framesAtSwitch("IGS"), QList<QByteArray>{"IGS2;"});
    }

    // A logger changing band and keying the radio milliseconds apart, again
    // and again: no select ever reaches the switch while the radio transmits
    // or within the hang time after, and the switch ends on the antenna of
    // the band the radio stays on.
    void loggerRacingTheSelectNeverSwitchesIntoATransmission()
    {
        QVERIFY(BandMemory(memoryPath).remember(BandPlan::bandForKey("20m"), 2));
        QVERIFY(BandMemory(memoryPath).remember(BandPlan::bandForKey("40m"), 4));
        QVERIFY(BandMemory(memoryPath).remember(BandPlan::bandForKey("15m"), 6));
        startFollowingLogger();
        const qint64 frequencies[] = {14200000, 7100000, 21200000};
        struct Transmission
        {
            qint64 startNs;
            qint64 endNs;
        };
        QList<Transmission> transmissions;
        // Gaps between a band change and the transmission after it: before,
        // around and after the band counts and the select's turn.
        const int gapsMs[] = {5, 45, 290, 310, 330, 360, 400, 450};
        int round = 0;
        for (const int gapMs : gapsMs) {
            const qint64 hz = frequencies[round++ % 3];
            sendRadioInfo(hz, false);
            QTest::qWait(gapMs);
            const qint64 startNs = VirtualSwitch::monotonicNs();
            sendRadioInfo(hz, true);
            QTest::qWait(150);
            sendRadioInfo(hz, false);
            transmissions << Transmission{startNs, VirtualSwitch::monotonicNs()};
            QTest::qWait(200);
        }
        sendRadioInfo(21200000, false);
        QTRY_VERIFY_WITH_TIMEOUT(snapshot().position == 6, 5000);

        // A select written just before a transmit packet arrived may still be
        // on the line; 20 ms is far more than its seven bytes take.
        constexpr qint64 onTheLineNs = 20 * 1000000;
        for (const VirtualSwitch::ReceivedFrame &frame : linked->device->receivedFrames()) {
            if (!frame.bytes.startsWith("IGS"))
                continue;
            for (const Transmission &tx : transmissions) {
                QVERIFY2(frame.firstByteNs < tx.startNs + onTheLineNs || frame.firstByteNs >= tx.endNs + hangMs * 1000000,
                         qPrintable(QStringLiteral("%1 at %2 ms into a transmission")
                                        .arg(QString(frame.bytes.left(5)))
                                        .arg((frame.firstByteNs - tx.startNs) / 1000000)));
            }
        }
    }

private:
    // With the poll thread stopped: a poll, and its answer read.
    void pollOnce()
    {
        const qint64 before = linked->window->framesReceived();
        linked->window->callEnviar();
        QTRY_VERIFY_WITH_TIMEOUT((linked->window->callReceber(linked->window.get()), linked->window->framesReceived() > before), 2000);
    }

    static constexpr qint64 hangMs = BandFollowSettings::defaultHangMs;

    void startFollowing(const QString &rigAddress, int retryMs = HamlibSettings::defaultRetryMs)
    {
        BandFollowSettings settings;
        settings.rig.kind = RigSourceSettings::Kind::Rigctld;
        settings.rig.rigctldAddress = rigAddress;
        startFollowing(settings, retryMs);
    }

    void startFollowingLogger()
    {
        loggerPort = freePort();
        BandFollowSettings settings;
        settings.loggerPorts << QString::number(loggerPort);
        startFollowing(settings);
    }

    void startFollowing(const BandFollowSettings &settings, int retryMs = HamlibSettings::defaultRetryMs)
    {
        if (!linked) {
            linked = std::make_unique<LinkedPanel>();
            linked->connect();
            QTRY_VERIFY(snapshot().power);
        }
        statusTexts.reset();
        follow = std::make_unique<BandFollow>(settings, memoryPath, linked->window->seam(), nullptr, retryMs);
        statusTexts = std::make_unique<QSignalSpy>(follow.get(), &BandFollow::statusText);
    }

    static quint16 freePort()
    {
        QUdpSocket probe;
        return probe.bind(QHostAddress(QHostAddress::LocalHost), 0) ? probe.localPort() : 0;
    }
    static QByteArray radioInfo(qint64 hz, bool transmitting)
    {
        return QStringLiteral("<RadioInfo><RadioNr>1</RadioNr><ActiveRadioNr>1</ActiveRadioNr>"
                              "<Freq>%1</Freq><IsTransmitting>%2</IsTransmitting></RadioInfo>")
            .arg(hz / 10)
            .arg(transmitting ? "True" : "False")
            .toUtf8();
    }
    void sendRadioInfo(qint64 hz, bool transmitting)
    {
        const QByteArray packet = radioInfo(hz, transmitting);
        QCOMPARE(logger.writeDatagram(packet, QHostAddress::LocalHost, loggerPort), qint64(packet.size()));
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
    QUdpSocket logger;
    quint16 loggerPort = 0;
    std::unique_ptr<LinkedPanel> linked;
    std::unique_ptr<BandFollow> follow;
    std::unique_ptr<QSignalSpy> statusTexts;
};

QTEST_MAIN(tst_BandFollow)
#include "tst_bandfollow.moc"
