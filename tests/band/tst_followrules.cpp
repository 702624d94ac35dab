#include "band/FollowRules.h"

#include <QtTest>

// The follow rules driven by small scripts. Steps, separated by ";":
//   mem 20m=3              the memory file says Ant 3 for 20 m
//   sw 2 [send] [split] [ss] [choosing] [busy=N] [closed] [silent]
//                          the switch, connected and answering, on Ant 2
//   f 14.2 [tx]            a reading in MHz from source "a" ("f@b" for b)
//   lost [tx]              source "a" has no frequency (gone quiet)
//   key 4                  the operator pressed key 4
//   wait 100               time passes, and the rules look again
//   |                      a mark in the log, to show what happens when
// What the rules do is logged as "band 20m", "select 3" or "learn 20m=5".
namespace {

QString run(const QString &script)
{
    BandAntennas memory = BandMemory::empty();
    std::optional<FollowRules> rules;
    qint64 now = 0;
    QStringList log;
    const auto record = [&](const FollowRules::Actions &actions) {
        if (actions.bandChanged)
            log << "band " + BandPlan::key(rules->band());
        if (actions.learnedPosition >= 0)
            log << QStringLiteral("learn %1=%2").arg(BandPlan::key(rules->band())).arg(actions.learnedPosition + 1);
        if (actions.select >= 0)
            log << QStringLiteral("select %1").arg(actions.select + 1);
    };

    for (const QString &step : script.split(';', Qt::SkipEmptyParts)) {
        const QStringList words = step.split(' ', Qt::SkipEmptyParts);
        const QString verb = words.value(0);
        if (verb == "|") {
            log << verb;
            continue;
        }
        if (verb == "mem") {
            const QStringList pair = words.value(1).split('=');
            memory[static_cast<size_t>(BandPlan::bandForKey(pair.value(0)))] = pair.value(1).toInt() - 1;
            continue;
        }
        if (!rules)
            rules.emplace(memory);
        if (verb == "sw") {
            SwitchSnapshot s;
            s.linkOpen = !words.contains("closed");
            s.power = s.linkOpen && !words.contains("silent");
            s.position = static_cast<quint8>(words.value(1).toInt() - 1);
            s.send = words.contains("send");
            s.splitOn = words.contains("split");
            s.superSplitOn = words.contains("ss");
            s.choosingSplitTx = words.contains("choosing");
            for (const QString &word : words) {
                if (word.startsWith("busy="))
                    s.busyMask |= static_cast<quint8>(1u << (word.mid(5).toInt() - 1));
            }
            record(rules->switchState(now, s));
        } else if (verb.startsWith('f')) {
            const QString source = verb.contains('@') ? verb.section('@', 1) : QStringLiteral("a");
            const double mhz = words.value(1).toDouble();
            record(rules->reading(now, RigReading::at(source, mhz * 1e6, words.contains("tx"))));
        } else if (verb == "lost") {
            record(rules->reading(now, RigReading::none(QStringLiteral("a"), words.contains("tx"))));
        } else if (verb == "key") {
            record(rules->operatorSelected(now, words.value(1).toInt() - 1));
        } else if (verb == "wait") {
            now += words.value(1).toInt();
            record(rules->tick(now));
        } else {
            qFatal("unknown step '%s'", qPrintable(step));
        }
    }
    return log.join(", ").replace(", |", " |").replace("|, ", "| ");
}

} // namespace

class tst_FollowRules : public QObject
{
    Q_OBJECT

private slots:
    void rules_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("expected");

        // Band changes.
        QTest::newRow("remembered antenna is selected") << "mem 20m=3; sw 1; f 14.2; wait 100" << "band 20m, select 3";
        QTest::newRow("band without memory selects nothing") << "sw 1; f 14.2; wait 100" << "band 20m";
        QTest::newRow("already on the remembered antenna") << "mem 20m=3; sw 3; f 14.2; wait 100" << "band 20m";
        QTest::newRow("first reading before the switch answers")
            << "mem 20m=3; f 14.2; wait 100; sw 1 closed; sw 1 silent; |; sw 1" << "band 20m | select 3";
        QTest::newRow("connecting again applies the band's antenna")
            << "mem 20m=3; sw 1; f 14.2; wait 100; sw 1 closed; |; sw 1" << "band 20m, select 3 | select 3";

        // Readings that are no band, or no frequency at all.
        QTest::newRow("outside every band") << "mem 20m=3; sw 1; f 27.555; wait 100" << "";
        QTest::newRow("zero, negative, NaN and absurd") << "sw 1; f 0; f -14.2; f nan; f inf; f 1e30; wait 100" << "";

        // Settling and chatter.
        QTest::newRow("a band passed through is not acted on")
            << "mem 30m=2; mem 20m=3; sw 1; f 10.12; wait 20; f 14.2; wait 30; wait 100" << "band 20m, select 3";
        QTest::newRow("not before the settle time") << "mem 20m=3; sw 1; f 14.2; wait 29" << "";
        QTest::newRow("wobble across an edge does not chatter")
            << "mem 20m=3; sw 1; f 14.0; wait 100; sw 6; f 13.99999; wait 100; f 14.0; wait 100; f 13.9; f 14.0; wait 100"
            << "band 20m, select 3, learn 20m=6";
        QTest::newRow("back on the band before settling") << "mem 20m=3; sw 3; f 14.2; wait 100; f 7.1; wait 10; f 14.2; wait 100"
                                                          << "band 20m";

        // What holds a switch back, and its release.
        QTest::newRow("transmitting holds, released at once")
            << "mem 20m=3; sw 1; f 14.2 tx; wait 100; |; f 14.2" << "band 20m | select 3";
        QTest::newRow("any source transmitting holds")
            << "mem 20m=3; sw 1; f@b 0 tx; f 14.2; wait 100; f 14.2; |; f@b 0" << "band 20m | select 3";
        QTest::newRow("SEND holds") << "mem 20m=3; sw 1 send; f 14.2; wait 100; |; sw 1" << "band 20m | select 3";
        QTest::newRow("newer band change replaces a held switch")
            << "mem 20m=3; mem 40m=5; sw 1; f 14.2 tx; wait 100; f 7.1 tx; wait 100; |; f 7.1" << "band 20m, band 40m | select 5";
        QTest::newRow("radio left the band while held")
            << "mem 20m=3; sw 1; f 14.2 tx; wait 100; f 27.5 tx; f 27.5; wait 100" << "band 20m";
        QTest::newRow("... and came back") << "mem 20m=3; sw 1; f 14.2 tx; wait 100; f 27.5; |; f 14.2" << "band 20m | select 3";
        QTest::newRow("busy antenna") << "mem 20m=3; sw 1 busy=3; f 14.2; wait 100; |; sw 1" << "band 20m | select 3";
        QTest::newRow("split") << "mem 20m=3; sw 1 split; f 14.2; wait 100; |; sw 1" << "band 20m | select 3";
        QTest::newRow("super split") << "mem 20m=3; sw 1 ss; f 14.2; wait 100; |; sw 1" << "band 20m | select 3";
        QTest::newRow("operator mid-choice") << "mem 20m=3; sw 1 choosing; f 14.2; wait 100; |; sw 1" << "band 20m | select 3";
        QTest::newRow("link closed") << "mem 20m=3; sw 1 closed; f 14.2; wait 100" << "band 20m";
        QTest::newRow("switch silent") << "mem 20m=3; sw 1 silent; f 14.2; wait 100" << "band 20m";
        QTest::newRow("rig gone quiet while transmitting")
            << "mem 20m=3; sw 1; f 7.1 tx; f 14.2 tx; wait 100; lost tx; wait 100; |; f 14.2" << "band 20m | select 3";

        // Learning.
        QTest::newRow("learned from the switch's front panel") << "sw 1; f 14.2; wait 100; sw 4" << "band 20m, learn 20m=4";
        QTest::newRow("our own switch is not learned") << "mem 20m=3; sw 1; f 14.2; wait 100; sw 3" << "band 20m, select 3";
        QTest::newRow("our own switch showing after a band change")
            << "mem 20m=3; sw 1; f 14.2; wait 100; f 7.1; wait 100; sw 3" << "band 20m, select 3, band 40m";
        QTest::newRow("manual choice while held wins")
            << "mem 20m=3; sw 1 send; f 14.2; wait 100; sw 6 send; sw 6" << "band 20m, learn 20m=6";
        QTest::newRow("first status after connecting is no choice")
            << "sw 1 closed; f 14.2; wait 100; sw 1 silent; sw 4" << "band 20m";
        QTest::newRow("no learning off the band") << "sw 1; f 14.2; wait 100; f 27.5; sw 4" << "band 20m";
        QTest::newRow("no learning in split") << "sw 1 split; f 14.2; wait 100; sw 4 split; sw 4" << "band 20m";
        QTest::newRow("no learning in super split") << "sw 1; f 14.2; wait 100; sw 4 ss" << "band 20m";
        QTest::newRow("no learning once the band's source is quiet") << "sw 1; f 14.2; wait 100; lost; sw 6" << "band 20m";
        QTest::newRow("a key on the antenna in use is a choice too")
            << "mem 20m=3; sw 1 send; f 14.2; wait 100; key 1; sw 1" << "band 20m, learn 20m=1";
    }
    void rules()
    {
        QFETCH(QString, script);
        QFETCH(QString, expected);
        QCOMPARE(run(script), expected);
    }
};

QTEST_GUILESS_MAIN(tst_FollowRules)
#include "tst_followrules.moc"
