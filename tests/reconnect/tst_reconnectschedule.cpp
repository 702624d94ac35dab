#include "reconnect/ReconnectSchedule.h"

#include <QtTest>

// The back-off, driven by a written-out story of events on an injected
// clock: "L0>1000" means the device was lost at 0 ms and the next try is due
// at 1000 ms; T is a failed try, R a reconnect, X the operator taking over.
// "Oa1000" is port a opened by a try at 1000 ms, U the switch not answering
// on it; "-a5000" says port a may not be opened at 5000 ms, "+a5000" that it
// may.
class tst_ReconnectSchedule : public QObject
{
    Q_OBJECT

private slots:
    void story_data()
    {
        QTest::addColumn<QString>("events");
        QTest::newRow("first try after 1 s, backing off to every 5 s")
            << "L0>1000 T1000>3000 T3000>7000 T7000>12000 T12000>17000 T17000>22000";
        QTest::newRow("a late try counts from when it ran") << "L0>1000 T1800>3800 T9000>13000";
        QTest::newRow("a loss long after a reconnect starts over")
            << "L0>1000 T1000>3000 T3000>7000 R7000 L17000>18000";
        QTest::newRow("a flapping device is not hammered")
            << "L0>1000 R1000 L1200>3200 R3200 L3300>7300 R7300 L7400>12400 R12400 L12500>17500";
        QTest::newRow("the operator's connect forgets the back-off")
            << "L0>1000 R1000 L1200>3200 T3200>7200 X L7300>8300";

        // A port that opens but never answers: from the third silent open in
        // a row, once a minute, counted from its last open.
        QTest::newRow("a silent port three times in a row: once a minute")
            << "L0>1000 Oa1000 U T3000>5000 +a5000 Oa5000 U T7000>11000 +a11000 Oa11000 U T13000>18000 "
               "-a18000 +b18000 T18000>23000 T68000>71000 -a70999 +a71000 Oa71000 U T73000>78000 -a130999 +a131000";
        QTest::newRow("silent at start, then twice more")
            << "Oa0 U L2000>3000 Oa3000 U T5000>7000 Oa7000 U T9000>13000 -a13000 T13000>18000 T63000>67000 +a67000";
        QTest::newRow("failed opens between silent ones do not break the row")
            << "L0>1000 Oa1000 U T3000>5000 T5000>9000 Oa9000 U T11000>16000 Oa16000 U T18000>23000 -a75999 +a76000";
        QTest::newRow("another port between them starts the row over")
            << "L0>1000 Oa1000 U T3000>5000 Ob5000 U T7000>11000 Oa11000 U T13000>18000 Oa18000 U T20000>25000 +a25000";
        QTest::newRow("an answer ends the quiet")
            << "L0>1000 Oa1000 U T3000>5000 Oa5000 U T7000>11000 Oa11000 U T13000>18000 -a18000 Ob18000 R18100 +a18100 "
               "L30000>31000 Oa31000 U T33000>35000 +a35000";
        QTest::newRow("the operator's connect ends the quiet")
            << "L0>1000 Oa1000 U T3000>5000 Oa5000 U T7000>11000 Oa11000 U T13000>18000 X +a18000";
    }
    void story()
    {
        QFETCH(QString, events);
        ReconnectTiming timing;
        timing.settledMs = 10000;
        ReconnectSchedule schedule(timing);
        for (const QString &event : events.split(' ', Qt::SkipEmptyParts)) {
            const char kind = event.at(0).toLatin1();
            const bool namesPort = kind == 'O' || kind == '+' || kind == '-';
            const QString port = namesPort ? event.mid(1, 1) : QString();
            const QStringList parts = event.mid(namesPort ? 2 : 1).split('>');
            const qint64 at = parts.first().toLongLong();
            switch (kind) {
            case 'L': schedule.lost(at); break;
            case 'T': schedule.tried(at); break;
            case 'R': schedule.reconnected(at); break;
            case 'X': schedule.reset(); break;
            case 'O': schedule.opened(port, at); break;
            case 'U': schedule.unanswered(); break;
            case '+':
            case '-':
                QVERIFY2(schedule.mayOpen(port, at) == (kind == '+'), qPrintable(event));
                break;
            default: QFAIL(qPrintable(event));
            }
            if (parts.size() == 2)
                QVERIFY2(schedule.nextTryMs() == parts.at(1).toLongLong(),
                         qPrintable(QString("after %1: next try at %2").arg(event).arg(schedule.nextTryMs())));
        }
    }
};

QTEST_APPLESS_MAIN(tst_ReconnectSchedule)
#include "tst_reconnectschedule.moc"
