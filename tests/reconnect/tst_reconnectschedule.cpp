#include "reconnect/ReconnectSchedule.h"

#include <QtTest>

// The back-off, driven by a written-out story of events on an injected
// clock: "L0>1000" means the device was lost at 0 ms and the next try is due
// at 1000 ms; T is a failed try, R a reconnect, X the operator taking over.
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
    }
    void story()
    {
        QFETCH(QString, events);
        ReconnectTiming timing;
        timing.settledMs = 10000;
        ReconnectSchedule schedule(timing);
        for (const QString &event : events.split(' ')) {
            const QStringList parts = event.mid(1).split('>');
            const qint64 at = parts.first().toLongLong();
            switch (event.at(0).toLatin1()) {
            case 'L': schedule.lost(at); break;
            case 'T': schedule.tried(at); break;
            case 'R': schedule.reconnected(at); break;
            case 'X': schedule.reset(); break;
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
