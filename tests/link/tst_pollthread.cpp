#include "link/CommandQueue.h"
#include "link/FrameReceiver.h"
#include "link/PollPacer.h"
#include "link/Protocol.h"
#include "link/ReceiveWatch.h"
#include "link/SendTurn.h"
#include "link/SwitchLink.h"
#include "link/SilenceWatch.h"
#include "link/ThreadLeitura.h"
#include "panel/MainWindow.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <optional>

// The rules that pace the link and watch it, as plain functions at their
// boundaries, and the receive step without a serial device.
namespace {

constexpr qint64 hourMs = 3600 * 1000;

// Feeds the pacer one cycle per entry of times; queue holds 'q' where
// commands wait and 'e' where the queue is empty. The answer has one letter
// a cycle: '-' nothing, 'P' poll, 'C' command.
QString pace(const QVector<qint64> &times, const QString &queue, qint64 statusWantedAtMs = -1)
{
    PollPacer pacer(0);
    QString sent;
    const std::optional<qint64> wanted =
        statusWantedAtMs < 0 ? std::nullopt : std::optional<qint64>(statusWantedAtMs);
    for (int i = 0; i < times.size(); ++i) {
        switch (pacer.next(times[i], queue.at(i) == 'e', wanted)) {
        case PollPacer::Send::Nothing: sent += '-'; break;
        case PollPacer::Send::Poll: sent += 'P'; break;
        case PollPacer::Send::Command: sent += 'C'; break;
        }
    }
    return sent;
}

// Cycles of exactly 25 ms from 25 to endMs; the queue is empty except where
// busy says commands wait.
QVector<qint64> cycles(qint64 endMs, qint64 stepBackAtMs = -1)
{
    QVector<qint64> times;
    for (qint64 t = PollPacer::cycleMs; t <= endMs; t += PollPacer::cycleMs)
        times << (stepBackAtMs >= 0 && t >= stepBackAtMs ? t - hourMs : t);
    return times;
}

// The queue's choice at each send turn, as a script. Steps, separated by " ":
//   o3  the operator's key queues select 3      f3  a feature queues select 3
//   g3  band follow's guarded word is select 3, ready, its guard allowing it
//   G3  the same, but its guard refuses when asked
//   t   a send turn, in the link's order (read, choose, write): the word
//       written is logged ("3"), "0-" when none went after all, or "P" when
//       a poll went instead
//   s   before the coming turn the switch reports SEND: read at the turn,
//       it makes the guard refuse from then on
//   h   the same, but its owner hears it first and no longer calls it ready
//   !   the next word may go at the coming turn ("w" logged) or not ("-")
QString run(const QString &script)
{
    CommandQueue queue;
    std::optional<CommandWord> guarded;
    bool guardAllows = true;
    bool sendArrives = false;
    bool holdArrives = false;
    bool ownerReady = true;
    queue.setGuardedWord({[&] { return guarded.has_value() && ownerReady; },
                          [&]() -> std::optional<CommandWord> {
                              if (!guarded || !guardAllows)
                                  return std::nullopt;
                              return std::exchange(guarded, std::nullopt);
                          },
                          [&] { return guarded.has_value(); }, nullptr});
    QStringList log;
    for (const QString &step : script.split(' ', Qt::SkipEmptyParts)) {
        const int position = step.mid(1).toInt();
        switch (step.at(0).toLatin1()) {
        case 'o': queue.append(Protocol::selectWord(position), CommandQueue::Origin::Operator); break;
        case 'f': queue.append(Protocol::selectWord(position), CommandQueue::Origin::Feature); break;
        case 'g':
        case 'G':
            guarded = Protocol::selectWord(position);
            guardAllows = step.at(0) == 'g';
            queue.refresh();
            break;
        case '!': log << (queue.wordWaiting() ? "w" : "-"); break;
        case 's': sendArrives = true; break;
        case 'h': holdArrives = true; break;
        case 't': {
            const SendTurn::Wrote wrote = SendTurn::run(
                queue.wordWaiting() ? SendTurn::Kind::Command : SendTurn::Kind::Poll,
                {[&] {
                     guardAllows = guardAllows && !std::exchange(sendArrives, false);
                     ownerReady = ownerReady && !std::exchange(holdArrives, false);
                 },
                 [&] { return queue.takeNext(); },
                 [&](CommandWord word, bool) { log << QString::number(Protocol::commandOperand(word)); },
                 [&] {
                     queue.pollSent();
                     log << "P";
                 }});
            if (wrote == SendTurn::Wrote::Nothing)
                log << "0-";
            break;
        }
        }
    }
    return log.join(' ');
}

} // namespace

class tst_PollThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { MainWindow::registerMetaType(); }
    void pacing_data()
    {
        QTest::addColumn<QVector<qint64>>("times");
        QTest::addColumn<QString>("queue");
        QTest::addColumn<qint64>("wantedAt");   // a fresh status wanted from then; -1: none
        QTest::addColumn<QString>("sent");
        QTest::newRow("a poll needs more than 150 ms") << QVector<qint64>{150, 151} << "ee" << -1LL << "-P";
        QTest::newRow("a command needs more than 100 ms") << QVector<qint64>{100, 101} << "qq" << -1LL << "-C";
        QTest::newRow("a command right after a poll waits 100 ms from it")
            << QVector<qint64>{151, 251, 252} << "eqq" << -1LL << "P-C";
        QTest::newRow("no poll while commands wait, then 150 ms after the last")
            << QVector<qint64>{101, 202, 303, 453, 454} << "qqqee" << -1LL << "CCC-P";
        QTest::newRow("an emptied queue needs the poll spacing again")
            << QVector<qint64>{101, 230, 252} << "qee" << -1LL << "C-P";
        QTest::newRow("a status wanted: the poll at its moment, 100 ms after the last send")
            << QVector<qint64>{101, 150, 201, 202} << "qeee" << 150LL << "C--P";
        QTest::newRow("... a regular poll due just before the moment waits for it")
            << QVector<qint64>{151, 200, 251} << "eee" << 250LL << "--P";
        QTest::newRow("... but never leaves the switch unheard past 275 ms")
            << QVector<qint64>{260, 270} << "ee" << 300LL << "P-";
        QTest::newRow("... and a moment far ahead changes nothing")
            << QVector<qint64>{151, 302} << "ee" << 500LL << "PP";
        QTest::newRow("... nor does it come before a waiting command")
            << QVector<qint64>{101, 150} << "qq" << 50LL << "C-";
    }
    void pacing()
    {
        QFETCH(QVector<qint64>, times);
        QFETCH(QString, queue);
        QFETCH(qint64, wantedAt);
        QFETCH(QString, sent);
        QCOMPARE(pace(times, queue, wantedAt), sent);
    }

    void exactCyclesAndAClockStepBack()
    {
        // With 25 ms cycles polls leave every 175 ms and commands every 125 ms.
        const QVector<qint64> second = cycles(1000);
        const QString polls = pace(second, QString(second.size(), 'e'));
        QCOMPARE(polls, QString("------P------P------P------P------P-----"));
        QCOMPARE(pace(second.mid(0, 16), QString(16, 'q')), QString("----C----C----C-"));

        // The clock set back by an hour changes nothing, polls or commands.
        const QVector<qint64> stepped = cycles(1000, 480);
        QCOMPARE(pace(stepped, QString(stepped.size(), 'e')), polls);
        QCOMPARE(pace(stepped.mid(0, 16), QString(16, 'q')), QString("----C----C----C-"));
    }

    void silence_data()
    {
        // Events "c" connect, "d" disconnect, "f" a frame, "k" a check, each with
        // its time; a check is followed by "!" when it reports silence.
        QTest::addColumn<QString>("events");
        QTest::newRow("2000 ms quiet is not yet silence, 2001 is") << "c0 k2000 k2001!";
        QTest::newRow("reported once an outage") << "c0 k2001! k2500 k9000";
        QTest::newRow("armed at connect, before any frame") << "c500 k2500 k2501!";
        QTest::newRow("a frame restarts the clock") << "c0 f1500 k3500 k3501!";
        QTest::newRow("a second outage after recovery") << "c0 k2001! f2500 k4500 k4501!";
        QTest::newRow("never armed without a connection") << "f0 k9000";
        QTest::newRow("disconnecting disarms") << "c0 d100 k9000";
        QTest::newRow("a new connection starts afresh") << "c0 k2001! d2100 c5000 k7000 k7001!";
    }
    void silence()
    {
        QFETCH(QString, events);
        SilenceWatch watch;
        for (QString event : events.split(' ')) {
            const bool reportExpected = event.endsWith('!');
            event.remove('!');
            const qint64 at = event.mid(1).toLongLong();
            switch (event.at(0).toLatin1()) {
            case 'c': watch.connected(at); break;
            case 'd': watch.disconnected(); break;
            case 'f': watch.frameArrived(at); break;
            case 'k': QVERIFY2(watch.check(at) == reportExpected, qPrintable(event)); break;
            }
        }
    }

    void answers_data()
    {
        // Events with their times: "c" connect, "d" disconnect, "s" a word
        // sent, "r" a receive step done, with what it saw after ":" (b bytes
        // left, f a whole frame read, p part of a frame held); "w" asks
        // whether a step is wanted, "+" yes, "-" no; "k" looks for a silence,
        // "f" a frame heard.
        QTest::addColumn<QString>("events");
        QTest::newRow("nothing sent, nothing to read") << "c0 w25- w1000-";
        QTest::newRow("read every cycle from a send until its answer is in")
            << "c0 s100 w125+ r125 w150+ r150:f w175-";
        QTest::newRow("a step without a whole frame goes on reading") << "c0 s100 r125 r150:b w175+ r175 w200+";
        QTest::newRow("part of a frame still to come keeps it reading") << "c0 s100 r125:fp w150+ r150:f w175-";
        QTest::newRow("no answer: read until the window ends") << "c0 s100 w300+ w301-";
        QTest::newRow("bytes a step left are read at the next") << "c0 r50:b w75+ w100-";
        QTest::newRow("disconnecting ends the wait") << "c0 s100 d110 w125-";
        QTest::newRow("the silence is still looked for") << "c0 w2000- w2001+";
        QTest::newRow("a silent switch is not read every cycle, until it is heard again")
            << "c0 s1900 k2001 s2100 w2125- f2260 s2300 w2325+";
    }
    void answers()
    {
        QFETCH(QString, events);
        ReceiveWatch watch;
        for (const QString &event : events.split(' ')) {
            const QStringList parts = event.split(':');
            QString head = parts.first();
            const QChar expected = head.back();
            if (expected == '+' || expected == '-')
                head.chop(1);
            const qint64 at = head.mid(1).toLongLong();
            const QString seen = parts.value(1);
            switch (head.at(0).toLatin1()) {
            case 'c': watch.connected(at); break;
            case 'd': watch.disconnected(); break;
            case 's': watch.awaitAnswer(at); break;
            case 'r': watch.stepDone(seen.contains('b'), seen.contains('f'), seen.contains('p')); break;
            case 'w': QVERIFY2(watch.wanted(at) == (expected == '+'), qPrintable(event)); break;
            case 'k': watch.silenceNow(at, true); break;
            case 'f': watch.frameArrived(at); break;
            }
        }
    }

    void quietCycles_data()
    {
        QTest::addColumn<bool>("wordWaiting");
        QTest::addColumn<qint64>("msUntilPoll");
        QTest::addColumn<qint64>("receiveDueInMs"); // -1: none due
        QTest::addColumn<int>("cycles");
        // Cycles run a little long: six of them pass the 150 ms between polls.
        QTest::newRow("just polled: the next poll is six cycles on") << false << qint64(151) << qint64(-1) << 6;
        QTest::newRow("a poll due at once still waits a cycle") << false << qint64(-30) << qint64(-1) << 1;
        QTest::newRow("a word waiting: the next cycle") << true << qint64(151) << qint64(-1) << 1;
        QTest::newRow("an answer awaited: the next cycle") << false << qint64(151) << qint64(0) << 1;
        QTest::newRow("a silence to look for before the poll") << false << qint64(151) << qint64(60) << 3;
        QTest::newRow("a silence to look for after the poll") << false << qint64(26) << qint64(900) << 1;
    }
    void quietCycles()
    {
        QFETCH(bool, wordWaiting);
        QFETCH(qint64, msUntilPoll);
        QFETCH(qint64, receiveDueInMs);
        QFETCH(int, cycles);
        const std::optional<qint64> receive = receiveDueInMs < 0 ? std::nullopt : std::optional<qint64>(receiveDueInMs);
        QCOMPARE(ThreadLeitura::quietCycles(wordWaiting, msUntilPoll, receive), cycles);
    }

    // On a link read only when asked, a frame already waiting when a word
    // goes out is not taken for that word's answer.
    void anAnswerIsAwaitedPastAFrameThatCameBefore()
    {
        struct QuietLink : SwitchLink
        {
            QBuffer line;
            QuietLink() { line.open(QIODevice::ReadWrite); }
            bool open(const SerialSettings &) override { return true; }
            void close() override {}
            bool isOpen() const override { return true; }
            QString errorString() const override { return {}; }
            QString name() const override { return QStringLiteral("quiet"); }
            QIODevice *device() override { return &line; }
            bool announcesArrivals() const override { return false; }
            void sendFirmwareRequest() override {}
            void sendPollRequest() override {}
            void sendCommand(CommandWord) override {}
        } link;
        MainWindow window;
        window.setLink(&link);
        const QByteArray status("IGT\x01\x00\xfe\x02\x05\x00\x03\x04;", 12);
        link.line.buffer().append(status);   // owed to an earlier word
        window.callEnviar();
        window.callReceber(&window);
        QVERIFY(window.receiveWanted());     // its own answer is not in yet
        link.line.buffer().append(status);
        window.callReceber(&window);
        QVERIFY(!window.receiveWanted());
        QCOMPARE(window.framesReceived(), qint64(2));
    }

    // An idle panel is not woken for nothing: with no bytes coming and no
    // silence to look for, the thread wakes and asks only for its polls; and
    // it stops at once.
    void idleWindowIsWokenOnlyForPollsAndStopsAtOnce()
    {
        struct Counter : QObject
        {
            int calls = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                if (event->type() == QEvent::MetaCall)
                    ++calls;
                return false;
            }
        } counter;
        MainWindow window;
        window.installEventFilter(&counter);
        // The clock is read once a cycle the thread wakes for.
        std::atomic<int> cycles{0};
        ThreadLeitura thread(&window, [&cycles] {
            ++cycles;
            return ThreadLeitura::monotonicClock();
        });
        QTest::qWait(1000);
        QElapsedTimer clock;
        clock.start();
        thread.stop();
        QVERIFY(thread.isFinished());
        // It sleeps through the cycles between polls.
        QVERIFY2(cycles.load() <= 12, qPrintable(QString::number(cycles.load())));
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
        // About six polls a second; a read would have added forty.
        QVERIFY2(counter.calls <= 8, qPrintable(QString::number(counter.calls)));
    }

    void receiverHandsEveryFrameOverInOrder()
    {
        const QByteArray first("IGT\x01\x00\xfe\x02\x05\x00\x03\x04;", 12);
        const QByteArray firmware("IGW\x02\x07;");
        // A longer status frame: its data is read by position, the rest ignored.
        const QByteArray longer("IGT\x06\x00\xff\x01\x00\x00\x02\x03xyz;", 15);
        QByteArray stream = QByteArray("noise") + first.left(5);
        QBuffer line(&stream);
        QVERIFY(line.open(QIODevice::ReadOnly));

        FrameReceiver receiver;
        QList<QByteArray> handed;
        auto dispatch = [&handed] { handed << QByteArray(reinterpret_cast<const char *>(rxBuffer), rxCount); };
        receiver.receive(&line, dispatch);
        QVERIFY(handed.isEmpty());

        // The rest of the frame arrives with two more behind it.
        line.close();
        stream = first.mid(5) + firmware + longer;
        QVERIFY(line.open(QIODevice::ReadOnly));
        receiver.receive(&line, dispatch);
        QCOMPARE(handed, (QList<QByteArray>{first, firmware, longer}));
        QCOMPARE(rxBuffer[3], quint8(6));
        QCOMPARE(receiver.framesDispatched(), qint64(3));

        // A closed device is not read.
        line.close();
        receiver.receive(&line, dispatch);
        QCOMPARE(handed.size(), 3);
    }

    void receiverReadsABoundedAmountPerStep()
    {
        QByteArray flood(3 * FrameReceiver::maxBytesPerStep, 'x');
        QBuffer line(&flood);
        QVERIFY(line.open(QIODevice::ReadOnly));
        FrameReceiver receiver;
        receiver.receive(&line, [] {});
        QCOMPARE(line.pos(), qint64(FrameReceiver::maxBytesPerStep));
        receiver.receive(&line, [] {});
        receiver.receive(&line, [] {});
        QVERIFY(line.atEnd());
    }

    void turns_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("written");
        QTest::newRow("empty: polls") << "! t t" << "- P P";
        QTest::newRow("the operator's words back to back, no poll between") << "o1 o2 o3 t t t t" << "1 2 3 P";
        QTest::newRow("a feature's words with a poll between each two") << "f1 f2 f3 t t t t t t" << "1 P 2 P 3 P";
        QTest::newRow("the operator's word after a feature's goes at once") << "f1 o2 f3 t t t t" << "1 2 3 P";
        QTest::newRow("... but a feature's after a feature's waits for a poll") << "o1 f2 f3 t t t t" << "1 2 P 3";
        QTest::newRow("the guarded word goes when nothing is queued") << "g5 o1 ! t ! t t" << "w 1 w 5 P";
        QTest::newRow("the guarded word is a feature's word too") << "f1 t g5 ! t t" << "1 - P 5";
        QTest::newRow("the guarded word goes before the features' words") << "f1 f2 g5 t t t t t" << "5 P 1 P 2";
        QTest::newRow("... not before the operator's") << "o1 f2 g5 t t t t" << "1 5 P 2";
        QTest::newRow("its guard refuses when asked: the turn is a poll's, the word sits one out")
            << "G5 ! t ! t ! t" << "w P - P w P";
        QTest::newRow("... and the features' words go meanwhile") << "f1 f2 G5 t t t t t" << "P 1 P P 2";
        QTest::newRow("SEND read at the turn stops the guarded word before it is written") << "g5 s t t" << "P P";
        QTest::newRow("... but not the operator's word") << "o1 g5 s t t" << "1 P";
        QTest::newRow("held by what its turn read, it gives the turn to a poll too") << "g5 h t t" << "P P";
    }
    void turns()
    {
        QFETCH(QString, script);
        QFETCH(QString, written);
        QCOMPARE(run(script), written);
    }

    void boundedWhoeverQueues()
    {
        CommandQueue queue;
        for (int i = 0; i < CommandQueue::maxWords; ++i)
            QVERIFY(queue.append(Protocol::selectWord(i % 8), i % 2 ? CommandQueue::Origin::Operator
                                                                   : CommandQueue::Origin::Feature));
        QVERIFY(!queue.append(Protocol::selectWord(1), CommandQueue::Origin::Operator));
        QVERIFY(!queue.append(Protocol::selectWord(1), CommandQueue::Origin::Feature));
        QCOMPARE(queue.words().size(), CommandQueue::maxWords);
        QVERIFY(queue.takeNext().word);
        QVERIFY(queue.append(Protocol::selectWord(1), CommandQueue::Origin::Operator));
    }
};

QTEST_MAIN(tst_PollThread)
#include "tst_pollthread.moc"
