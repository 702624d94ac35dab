#include "link/CommandQueue.h"

#include <QtTest>

// The queue's choice at each send turn, as a script. Steps, separated by " ":
//   o3  the operator's key queues select 3      f3  a feature queues select 3
//   g3  band follow's guarded word is select 3, ready, its guard allowing it
//   G3  the same, but its guard refuses when asked
//   t   a send turn: the word written is logged ("3"), "0-" when none went
//       after all, or "P" when the queue says a poll should go instead
//       (and the poll goes)
//   !   the next word may go at the coming turn ("w" logged) or not ("-")
namespace {

QString run(const QString &script)
{
    CommandQueue queue;
    std::optional<CommandWord> guarded;
    bool guardAllows = true;
    queue.setGuardedWord({[&] { return guarded.has_value(); },
                          [&]() -> std::optional<CommandWord> {
                              if (!guarded || !guardAllows)
                                  return std::nullopt;
                              return std::exchange(guarded, std::nullopt);
                          }});
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
        case 't':
            if (!queue.wordWaiting()) {
                queue.pollSent();
                log << "P";
            } else if (const std::optional<CommandWord> word = queue.takeNext()) {
                log << QString::number(Protocol::commandOperand(*word));
            } else {
                log << "0-";
            }
            break;
        }
    }
    return log.join(' ');
}

} // namespace

class tst_CommandQueue : public QObject
{
    Q_OBJECT

private slots:
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
        QTest::newRow("its guard refuses when asked: nothing goes, it stays") << "G5 ! t ! t" << "w 0- w 0-";
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
        queue.takeNext();
        QVERIFY(queue.append(Protocol::selectWord(1), CommandQueue::Origin::Operator));
    }
};

QTEST_GUILESS_MAIN(tst_CommandQueue)
#include "tst_commandqueue.moc"
