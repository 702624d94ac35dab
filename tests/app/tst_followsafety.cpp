#include "band/BandMemory.h"
#include "settings/BandFollowDialog.h"
#include "support/Files.h"
#include "support/StationRun.h"

#include <QAction>
#include <QLabel>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <thread>

// Band follow where it meets the rest of the program, as a station owner
// would try it: the station composed from a command line, the real window
// and poll thread, a virtual switch on a pseudo-terminal, a logger's packets
// on a real UDP port. The switch is never moved into a transmission, by a
// stranger, against the operator's hand, or more often than the band stands.
class tst_FollowSafety : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        memory = std::make_unique<QTemporaryDir>();
        memoryPath = memory->filePath(QStringLiteral("bands.ini"));
        QVERIFY(writeFile(memoryPath, "[General]\n160m=1\n80m=2\n40m=5\n20m=3\n15m=7\n"));
        port = StationRun::freeUdpPort();
    }

    void cleanup()
    {
        run.reset();
        memory.reset();
    }

    // A switch that answers its polls late: the SEND its answer reports is
    // read at the turn of the select it would stop, and stops it; a select
    // is never written once a frame saying SEND has fully come.
    void aSendReportReadAtTheTurnStopsTheSelect()
    {
        startFollowing();
        linked().device->setPollAnswerDelay(97);
        const qint64 bands[] = {7100000, 14200000};
        const QByteArray antennas[] = {"IGS4;", "IGS2;"};
        int raced = 0;
        for (int round = 0; round < 10; ++round) {
            const qint64 hz = bands[round % 2];
            linked().device->clearReceived();
            const qint64 roundStartNs = VirtualSwitch::monotonicNs();
            // Transmitting on the new band: the select waits for the hang time.
            QVERIFY(send(StationRun::radioInfo(hz, true)));
            QTest::qWait(400 + QRandomGenerator::global()->bounded(150));
            QVERIFY(send(StationRun::radioInfo(hz, false)));
            // The transmitter is keyed again just as the hang time ends.
            linked().device->setSendingAtPoll(3 + round % 2);
            QTest::qWait(1500);
            // No select may leave within the hang time after a SEND frame
            // that had fully come when its turn read the line.
            QList<qint64> sendFrames = linked().device->sendFrameWrittenNs();
            for (const VirtualSwitch::ReceivedFrame &select : run->selectFrames()) {
                qint64 lastSendNs = -1;
                for (const qint64 ns : sendFrames) {
                    if (ns < select.firstByteNs - selectLatencyNs)
                        lastSendNs = ns;
                }
                QVERIFY2(lastSendNs < 0 || select.firstByteNs - lastSendNs >= hangNs,
                         qPrintable(QStringLiteral("round %1: a select %2 ms after a whole SEND frame")
                                        .arg(round)
                                        .arg((select.firstByteNs - lastSendNs) / 1e6)));
            }
            const bool sendCame = std::any_of(sendFrames.begin(), sendFrames.end(),
                                              [roundStartNs](qint64 ns) { return ns > roundStartNs; });
            raced += sendCame && run->selects().isEmpty() ? 1 : 0;
            // The transmission ends; the band's antenna follows.
            linked().device->setSendingAtPoll(0);
            SwitchState state = linked().device->state();
            state.sending = false;
            linked().device->setState(state);
            QTRY_COMPARE_WITH_TIMEOUT(run->selects().value(0), antennas[round % 2], 3000);
        }
        // The SEND came before the select in most rounds.
        QVERIFY2(raced >= 3, qPrintable(QString::number(raced)));
    }

    // The status frame after a key press is not painted, but what it
    // reports still holds band follow back; and a key whose word never
    // reached the switch is not learned.
    void aSkippedFrameStillHoldsAndAnUnsentKeyTeachesNothing()
    {
        startFollowing();
        QVERIFY(send(StationRun::radioInfo(14200000, false)));
        QTRY_COMPARE(run->selects(), QList<QByteArray>{"IGS2;"});
        QTRY_COMPARE(run->snapshot().position, quint8(2));

        action("actionDisconnect")->trigger();
        QTest::keyClick(linked().window.get(), Qt::Key_F5);
        QVERIFY(send(StationRun::radioInfo(7100000, false)));
        QTRY_COMPARE(run->followLabel(), QString("40 m · held: not connected"));
        SwitchState state = linked().device->state();
        state.sending = true;
        linked().device->setState(state);
        linked().device->clearReceived();
        action("actionConnect_to_TQX_5R")->trigger();
        QTRY_VERIFY(run->snapshot().reported.send);
        QTest::qWait(1500);
        QCOMPARE(run->selects(), QList<QByteArray>());
        QCOMPARE(BandMemory(memoryPath).load()[size_t(BandPlan::bandForKey("20m"))], 2);

        state.sending = false;
        linked().device->setState(state);
        QTRY_COMPARE_WITH_TIMEOUT(run->selects(), QList<QByteArray>{"IGS4;"}, 3000);
        QCOMPARE(BandMemory(memoryPath).load()[size_t(BandPlan::bandForKey("20m"))], 2);
    }

    // A flood on the logger port (a stranger's junk, and packets the
    // kernel drops, the real transmit report among them) holds band follow
    // and says so once; the switch is heard all along, and band follow
    // goes on once the port is calm again.
    void aFloodedLoggerPortHoldsAndTheSwitchIsHeard()
    {
        startFollowing();
        QVERIFY(send(StationRun::radioInfo(14200000, false)));
        QTRY_COMPARE(run->selects(), QList<QByteArray>{"IGS2;"});
        linked().device->clearReceived();

        std::atomic<bool> flooding{true};
        std::thread flood([this, &flooding] {
            QUdpSocket stranger;
            const QByteArray junk(200, 'x');
            while (flooding.load()) {
                for (int i = 0; i < 20; ++i)
                    stranger.writeDatagram(junk, QHostAddress(QHostAddress::LocalHost), port);
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        QTest::qWait(500);
        QVERIFY(send(StationRun::radioInfo(7100000, false)));
        QTest::qWait(2000);
        flooding.store(false);
        flood.join();
        QCOMPARE(run->selects(), QList<QByteArray>());
        QCOMPARE(run->told.count("Band follow held: logger port flooded"), 1);
        const QList<VirtualSwitch::ReceivedFrame> frames = linked().device->receivedFrames();
        for (int i = 1; i < frames.size(); ++i) {
            // Paced as ever: words never closer than the spacing of sends.
            QVERIFY2(frames.at(i).firstByteNs - frames.at(i - 1).firstByteNs > shortestSendGapNs,
                     qPrintable(QStringLiteral("two words %1 ms apart")
                                    .arg((frames.at(i).firstByteNs - frames.at(i - 1).firstByteNs) / 1e6)));
            QVERIFY2(frames.at(i).firstByteNs - frames.at(i - 1).firstByteNs <= longestPollGapNs,
                     qPrintable(QStringLiteral("%1 ms without a word to the switch")
                                    .arg((frames.at(i).firstByteNs - frames.at(i - 1).firstByteNs) / 1e6)));
        }
        QVERIFY(frames.size() >= 8);

        // Calm again: band follow resumes, and the band's antenna follows.
        QTRY_VERIFY_WITH_TIMEOUT(run->told.contains("Band follow resumed"), 8000);
        QVERIFY(send(StationRun::radioInfo(7100000, false)));
        QTRY_COMPARE_WITH_TIMEOUT(run->selects(), QList<QByteArray>{"IGS4;"}, 3000);
    }

    // A logger port other than a multicast group's is the station's alone:
    // a program that binds it later is refused; one that holds it already
    // is said in the status bar, in the log and in the live line.
    void aUnicastLoggerPortIsTheStationsAlone()
    {
        startFollowing({"--logger-udp", QStringLiteral("0.0.0.0:%1").arg(port)});
        QUdpSocket thief;
        QVERIFY(!thief.bind(QHostAddress(QHostAddress::LocalHost), port,
                            QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
        run.reset();

        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress(QHostAddress::LocalHost), port,
                            QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
        startFollowing();
        QTRY_VERIFY(run->told.join('\n').contains(QStringLiteral("Cannot listen for logger packets on UDP %1").arg(port)));
        QVERIFY(run->warnings.join('\n').contains(QStringLiteral("UDP %1").arg(port)));
        action("actionBand_Follow_Settings")->trigger();
        auto *dialog = linked().window->findChild<BandFollowDialog *>();
        QVERIFY(dialog);
        QTRY_VERIFY(dialog->findChild<QLabel *>("liveLabel")->text().contains(
            QStringLiteral("UDP %1 taken by another program").arg(port)));
    }

    // A choice at the front panel just before the band counts shows only
    // at the next poll: it stands, and is learned for the new band.
    void aLateFrontPanelMoveStands_data()
    {
        QTest::addColumn<int>("afterMs");
        for (const int ms : {200, 225, 250, 275})
            QTest::addRow("%d ms after the band packet", ms) << ms;
    }
    void aLateFrontPanelMoveStands()
    {
        QFETCH(int, afterMs);
        startFollowing();
        QVERIFY(send(StationRun::radioInfo(14200000, false)));
        QTRY_COMPARE(run->selects(), QList<QByteArray>{"IGS2;"});
        QTRY_COMPARE(run->snapshot().position, quint8(2));
        QTest::qWait(1100);   // band follow's own spacing
        linked().device->clearReceived();

        QVERIFY(send(StationRun::radioInfo(7100000, false)));
        QTest::qWait(afterMs);
        SwitchState state = linked().device->state();
        state.position = 6;
        linked().device->setState(state);
        QTest::qWait(1500);
        QCOMPARE(run->selects(), QList<QByteArray>());
        QCOMPARE(run->snapshot().position, quint8(6));
        QTRY_COMPARE(BandMemory(memoryPath).load()[size_t(BandPlan::bandForKey("40m"))], 6);
    }

    // A radio swept through bands, a logger sending two packets a band:
    // one select, where the sweep stops.
    void aSweepSwitchesOnceWhereItStops()
    {
        startFollowing();
        linked().device->clearReceived();
        for (const qint64 hz : {1900000, 3600000, 7100000}) {
            QVERIFY(send(StationRun::radioInfo(hz, false)));
            QVERIFY(send(StationRun::radioInfo(hz + 1000, false)));
            QTest::qWait(120);
        }
        QTest::qWait(1500);
        QCOMPARE(run->selects(), QList<QByteArray>{"IGS4;"});
    }

private:
    // From the read before a turn to the select's first byte at the switch.
    static constexpr qint64 selectLatencyNs = 8 * 1000000;
    static constexpr qint64 hangNs = 500 * 1000000LL;
    // The switch is heard at least this often, whatever band follow does.
    static constexpr qint64 longestPollGapNs = 300 * 1000000;
    // More than 100 ms apart, less what the line and the switch's reading
    // may take from one word and not the other.
    static constexpr qint64 shortestSendGapNs = 90 * 1000000;

    LinkedPanel &linked() { return *run->linked; }
    QAction *action(const char *name) { return linked().panel.child<QAction>(name); }

    void startFollowing(QStringList arguments = {})
    {
        if (arguments.isEmpty())
            arguments = QStringList{"--logger-udp", QString::number(port)};
        run = std::make_unique<StationRun>();
        run->start(arguments + QStringList{"--bands", memoryPath, "--port", "DEVICE"});
        QTRY_VERIFY(run->snapshot().power);
    }

    bool send(const QByteArray &packet) const { return StationRun::sendFrom("127.0.0.1", port, packet); }

    std::unique_ptr<QTemporaryDir> memory;
    QString memoryPath;
    quint16 port = 0;
    std::unique_ptr<StationRun> run;
};

QTEST_MAIN(tst_FollowSafety)
#include "tst_followsafety.moc"
