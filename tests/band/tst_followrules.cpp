#include "band/AntennaRules.h"
#include "band/FollowRules.h"

#include <QtTest>

// The follow rules driven by small scripts. Steps, separated by ";":
//   hang 0                 the release delay after transmitting (before anything else)
//   mem 20m=3              the memory file says Ant 3 for 20 m
//   mem 160m=6/2           ... Ant 6 with split, TX on Ant 2
//   for 6=6m               the antenna rules: Ant 6 is for 6 m only
//   rxonly 7               ... Ant 7 only receives
//   sw 2 [send] [split=N] [ss] [choosing] [busy=N] [closed] [silent]
//                          a status frame: the switch, connected and
//                          answering, reports Ant 2 (closed or silent: the
//                          panel says so, and no frame came), with split
//                          on TX Ant N
//   .                      a status frame reporting what the last one did
//   flood, calm            a logger port flooded, and calm again
//   next                   logs when something next changes by time alone
//   want                   logs from when a status frame is wanted
//   f 14.2 [tx]            a rig reading in MHz from source "a" ("f@b" for b)
//   l 14.2 [tx]            a logger's reading
//   lost [tx]              source "a" has no frequency (gone quiet)
//   key 4                  the operator pressed key 4
//   edit 20m=4             the operator chose Ant 4 for 20 m in the band table
//   wait 100               time passes, and the rules look again
//   close                  the panel closes
//   |                      a mark in the log
// After each step the panel's turn comes, as the poll thread would give it:
// a select that may leave is written then. A step written "~step" happens
// before that turn, so the next step's news is there when it comes.
// What the rules do is logged as "band 20m", "select 3", "split off",
// "split 3/5" (split on, TX Ant 5), "learn 20m=5", "learn 160m=6/2",
// "skip 20m=6" (not selected: the antenna rules forbid it), "held: rig
// silent", "held: logger silent" or "resumed".
namespace {

QString run(const QString &script)
{
    BandAntennas memory = BandMemory::empty();
    BandAntennas splits = BandMemory::empty();
    AntennaRules antennaRules;
    qint64 hangMs = FollowRules::defaultHangMs;
    std::optional<FollowRules> rules;
    qint64 now = 0;
    QStringList log;
    const auto record = [&](const FollowRules::Actions &actions) {
        if (actions.bandChanged)
            log << "band " + BandPlan::key(rules->band());
        if (actions.skippedPosition >= 0)
            log << QStringLiteral("skip %1=%2").arg(BandPlan::key(actions.skippedBand)).arg(actions.skippedPosition + 1);
        if (actions.learnedPosition >= 0) {
            QString learned = QStringLiteral("learn %1=%2").arg(BandPlan::key(actions.learnedBand)).arg(actions.learnedPosition + 1);
            if (actions.learnedSplitTx >= 0)
                learned += QStringLiteral("/%1").arg(actions.learnedSplitTx + 1);
            log << learned;
        }
        switch (actions.notice) {
        case FollowRules::Notice::None:
            break;
        case FollowRules::Notice::HeldSilentRig:
            log << "held: rig silent";
            break;
        case FollowRules::Notice::HeldSilentLogger:
            log << "held: logger silent";
            break;
        case FollowRules::Notice::Resumed:
            log << "resumed";
            break;
        }
    };
    const auto turn = [&] {
        if (rules && rules->mayLeave(now)) {
            const CommandWord word = *rules->pendingWord();
            const quint8 operand = Protocol::commandOperand(word);
            if (Protocol::commandLetter(word) == Protocol::selectLetter)
                log << QStringLiteral("select %1").arg(operand + 1);
            else if (operand == 0)
                log << QStringLiteral("split off");
            else
                log << QStringLiteral("split %1/%2").arg(operand >> 4).arg(operand & 0x0F);
            rules->selectSent(now);
        }
    };

    for (QString step : script.split(';', Qt::SkipEmptyParts)) {
        step = step.trimmed();
        const bool beforeTurn = step.startsWith('~');
        if (beforeTurn)
            step.remove(0, 1);
        const QStringList words = step.split(' ', Qt::SkipEmptyParts);
        const QString verb = words.value(0);
        if (verb == "|") {
            log << verb;
            continue;
        }
        if (verb == "hang") {
            hangMs = words.value(1).toInt();
            continue;
        }
        if (verb == "mem") {
            const QStringList pair = words.value(1).split('=');
            const auto band = static_cast<size_t>(BandPlan::bandForKey(pair.value(0)));
            memory[band] = pair.value(1).section('/', 0, 0).toInt() - 1;
            if (pair.value(1).contains('/'))
                splits[band] = pair.value(1).section('/', 1).toInt() - 1;
            continue;
        }
        if (verb == "for") {
            const QStringList pair = words.value(1).split('=');
            AntennaRules::Bands bands = 0;
            for (const QString &band : pair.value(1).split(','))
                bands |= AntennaRules::Bands(1) << BandPlan::bandForKey(band);
            antennaRules.bands[static_cast<size_t>(pair.value(0).toInt() - 1)] = bands;
            continue;
        }
        if (verb == "rxonly") {
            antennaRules.receiveOnlyMask |= static_cast<quint8>(1u << (words.value(1).toInt() - 1));
            continue;
        }
        if (!rules) {
            rules.emplace(memory, hangMs, splits);
            rules->setPermitted([&antennaRules](int band, int position, int splitTx) {
                return antennaRules.setupAllowed(band, position, splitTx);
            });
        }
        if (verb == "sw") {
            SwitchSnapshot s;
            s.linkOpen = !words.contains("closed");
            s.power = s.linkOpen && !words.contains("silent");
            SwitchReport &r = s.reported;
            r.known = s.linkOpen;
            r.position = static_cast<quint8>(words.value(1).toInt() - 1);
            r.send = words.contains("send");
            for (const QString &word : words) {
                if (word.startsWith("split=")) {
                    r.split = true;
                    r.splitPosition = static_cast<quint8>(word.mid(6).toInt() - 1);
                }
            }
            r.superSplitMask = words.contains("ss") ? static_cast<quint8>(1u << r.position) : 0;
            for (const QString &word : words) {
                if (word.startsWith("busy="))
                    r.busyMask |= static_cast<quint8>(1u << (word.mid(5).toInt() - 1));
            }
            // The panel shows what the switch reports.
            s.position = r.position;
            s.send = r.send;
            s.splitOn = r.split;
            s.splitPosition = r.splitPosition;
            s.superSplitOn = r.superSplitOn();
            s.busyMask = r.busyMask;
            s.choosingSplitTx = words.contains("choosing");
            record(rules->switchState(now, s));
            if (s.power)
                record(rules->statusFrame(now));
        } else if (verb == ".") {
            record(rules->statusFrame(now));
        } else if (verb == "flood" || verb == "calm") {
            record(rules->loggerFlooded(now, verb == "flood"));
        } else if (verb == "next") {
            const std::optional<qint64> at = rules->nextDeadline(now);
            log << (at ? QStringLiteral("next +%1").arg(*at - now) : QStringLiteral("next never"));
        } else if (verb == "want") {
            const std::optional<qint64> at = rules->statusWantedAt();
            log << (at ? QStringLiteral("want %1%2").arg(*at >= now ? "+" : "").arg(*at - now)
                       : QStringLiteral("want none"));
        } else if (verb.startsWith('f') || verb == "l") {
            const QString source = verb.contains('@') ? verb.section('@', 1) : QStringLiteral("a");
            RigReading reading = RigReading::at(source, words.value(1).toDouble() * 1e6, words.contains("tx"));
            if (verb == "l") {
                reading.source = QStringLiteral("logger");
                reading.kind = RigReading::Kind::Logger;
            }
            record(rules->reading(now, reading));
        } else if (verb == "lost") {
            record(rules->reading(now, RigReading::none(QStringLiteral("a"), words.contains("tx"))));
        } else if (verb == "edit") {
            const QStringList pair = words.value(1).split('=');
            rules->setRemembered(BandPlan::bandForKey(pair.value(0)), pair.value(1).toInt() - 1);
        } else if (verb == "key") {
            record(rules->operatorSelected(now, words.value(1).toInt() - 1));
        } else if (verb == "wait") {
            now += words.value(1).toInt();
            record(rules->tick(now));
        } else if (verb == "close") {
            record(rules->flush());
        } else {
            qFatal("unknown step '%s'", qPrintable(step));
        }
        if (!beforeTurn)
            turn();
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
        QTest::newRow("remembered antenna is selected") << "mem 20m=3; sw 1; f 14.2; wait 300; ." << "band 20m, select 3";
        QTest::newRow("band without memory selects nothing") << "sw 1; f 14.2; wait 300" << "band 20m";
        QTest::newRow("already on the remembered antenna") << "mem 20m=3; sw 3; f 14.2; wait 300" << "band 20m";
        QTest::newRow("first answer after the start selects")
            << "mem 20m=3; f 14.2; wait 300; sw 1 closed; sw 1 silent; |; sw 1" << "band 20m | select 3";

        // After a reconnect or a silence the switch's own antenna stands,
        // unless the band changed meanwhile.
        QTest::newRow("reconnect on the same band keeps the front panel's antenna")
            << "mem 20m=3; sw 1; f 14.2; wait 300; .; sw 3; |; sw 3 closed; sw 5; wait 2000" << "band 20m, select 3 |";
        QTest::newRow("answering again after silence, same band")
            << "mem 20m=3; sw 1; f 14.2; wait 300; .; sw 3; |; sw 4 silent; sw 4; wait 2000" << "band 20m, select 3 |";
        QTest::newRow("band changed while the switch was not heard")
            << "mem 20m=3; mem 40m=5; sw 1; f 14.2; wait 300; .; sw 3; sw 3 closed; f 7.1; wait 1000; |; sw 3"
            << "band 20m, select 3, band 40m | select 5";

        // A select written just as the switch fell silent (before two seconds
        // without a frame told the panel so) never reached it: when it answers
        // again, still on the old band's antenna, the band's antenna is due.
        QTest::newRow("a select lost in a silence is made again")
            << "mem 20m=3; mem 40m=5; sw 3; f 14.2; wait 300; f 7.1; wait 300; .; |; sw 3 silent; wait 2000; |; sw 3; wait 1000"
            << "band 20m, band 40m, select 5 | | select 5";
        // A select held by transmitting when the switch fell silent: someone
        // turned the front panel meanwhile, and that antenna stands.
        QTest::newRow("a held select does not override the front panel after a silence")
            << "mem 20m=3; mem 40m=5; sw 3; f 14.2; wait 300; f 7.1 tx; wait 300; sw 3 silent; wait 2000; |; sw 7; f 7.1; wait 1000"
            << "band 20m, band 40m |";

        // Readings that are no band, or no frequency at all.
        QTest::newRow("outside every band") << "mem 20m=3; sw 1; f 27.555; wait 300" << "";
        QTest::newRow("zero, negative, NaN and absurd") << "sw 1; f 0; f -14.2; f nan; f inf; f 1e30; wait 300" << "";
        QTest::newRow("the low bands") << "mem 2200m=7; mem 630m=8; sw 1; f 0.136; wait 300; .; sw 7; f 0.475; wait 1000; ."
                                       << "band 2200m, select 7, band 630m, select 8";

        // Settling and chatter.
        QTest::newRow("two readings inside 300 ms are not yet a band")
            << "mem 20m=3; sw 1; f 14.2; f 14.25; wait 299; |; wait 1; ." << "| band 20m, select 3";
        QTest::newRow("one reading counts once it has stood") << "mem 20m=3; sw 1; f 14.2; wait 299; |; wait 1; ."
                                                              << "| band 20m, select 3";
        QTest::newRow("two sources do not add up") << "mem 20m=3; sw 1; f 14.2; f@b 14.2; wait 299; |; wait 1; ."
                                                   << "| band 20m, select 3";
        QTest::newRow("a sweep through bands switches once, where it stops")
            << "mem 160m=1; mem 80m=2; mem 40m=5; sw 8; f 1.9; wait 250; f 3.7; wait 250; f 7.1; wait 300; ."
            << "band 40m, select 5";
        QTest::newRow("... two packets a band, 120 ms a band")
            << "mem 160m=1; mem 80m=2; mem 40m=5; sw 8; f 1.9; f 1.9; wait 120; f 3.7; f 3.7; wait 120; f 7.1; f 7.1; "
               "wait 299; |; wait 1; ."
            << "| band 40m, select 5";
        QTest::newRow("a poll is wanted for the moment a band counts, and until a frame is read")
            << "mem 20m=3; sw 1; want; f 14.2; want; wait 300; want; .; want" << "want none, want +300, band 20m, want +0, select 3, want none";
        QTest::newRow("a select waits for a status frame read after its band counted")
            << "mem 20m=3; sw 1; f 14.2; wait 300; |; wait 500; |; ." << "band 20m | | select 3";
        QTest::newRow("a move at the front panel seen only after the band counted stands, for the new band")
            << "mem 80m=2; mem 20m=3; sw 2; f 3.6; wait 300; .; f 14.2; wait 300; sw 6; wait 300"
            << "band 80m, band 20m, learn 20m=6";
        QTest::newRow("a logger flipping between bands never settles")
            << "mem 20m=3; mem 40m=5; sw 1; f 14.2; f 7.1; f 14.2; f 7.1; wait 100; f 14.2; wait 100; f 7.1; wait 100"
            << "";
        QTest::newRow("wobble across an edge does not chatter")
            << "mem 20m=3; sw 1; f 14.0; wait 300; .; sw 3; sw 6; f 13.99999; wait 300; f 14.0; wait 300; f 13.9; f 14.0; wait 300"
            << "band 20m, select 3, learn 20m=6";
        QTest::newRow("back on the band before settling")
            << "mem 20m=3; sw 3; f 14.2; wait 300; f 7.1; wait 10; f 14.2; wait 300" << "band 20m";
        QTest::newRow("one select at a time, a second apart")
            << "mem 20m=3; mem 40m=5; sw 1; f 14.2; wait 300; .; sw 3; f 7.1; wait 300; .; wait 699; |; wait 1; ."
            << "band 20m, select 3, band 40m | select 5";
        QTest::newRow("a newer band replaces the waiting select")
            << "mem 20m=3; mem 40m=5; mem 15m=6; sw 1; f 14.2; wait 300; .; sw 3; f 7.1; wait 300; f 21.1; wait 300; .; "
               "wait 1000; ."
            << "band 20m, select 3, band 40m, band 15m, select 6";

        // What holds a select back, checked when it would leave, and its release.
        QTest::newRow("transmitting news just before the turn holds it")
            << "mem 20m=3; sw 1; f 14.2; wait 300; ~.; f 14.2 tx; |; f 14.2; wait 499; |; wait 1; ."
            << "band 20m | | select 3";
        QTest::newRow("SEND just before the turn holds it")
            << "mem 20m=3; sw 1; f 14.2; wait 300; ~.; sw 1 send; |; sw 1; wait 499; |; wait 1; ." << "band 20m | | select 3";
        QTest::newRow("a flooded logger port holds it, and the end of the flood counts as the end of a transmission")
            << "mem 20m=3; sw 1; f 14.2; wait 300; ~.; flood; |; wait 1000; |; calm; wait 499; |; wait 1; ."
            << "band 20m | | | select 3";
        QTest::newRow("the hang counts from the last transmit report")
            << "mem 20m=3; sw 1; f 14.2 tx; wait 300; .; f 14.2; wait 400; f 14.2 tx; f 14.2; wait 499; |; wait 1; ."
            << "band 20m | select 3";
        QTest::newRow("a move at the front panel seen only after the hang time stands, for the band")
            << "mem 20m=3; sw 1; f 14.2 tx; wait 300; .; f 14.2; wait 500; sw 6; wait 300" << "band 20m, learn 20m=6";
        QTest::newRow("... and after band follow's own spacing")
            << "mem 20m=3; mem 40m=5; sw 1; f 14.2; wait 300; .; sw 3; f 7.1; wait 300; .; wait 700; sw 7; wait 300"
            << "band 20m, select 3, band 40m, learn 40m=7";
        QTest::newRow("no hang when it is 0") << "hang 0; mem 20m=3; sw 1 send; f 14.2; wait 300; |; sw 1"
                                              << "band 20m | select 3";
        QTest::newRow("any source transmitting holds")
            << "mem 20m=3; sw 1; f@b 14.2 tx; f 14.2; wait 300; .; f 14.2; |; f@b 14.2; wait 500; ." << "band 20m | select 3";
        QTest::newRow("newer band change replaces a held switch")
            << "mem 20m=3; mem 40m=5; sw 1; f 14.2 tx; wait 300; f 7.1 tx; wait 300; .; |; f 7.1; wait 500; ."
            << "band 20m, band 40m | select 5";
        QTest::newRow("radio left the band while held")
            << "mem 20m=3; sw 1; f 14.2 tx; wait 300; f 27.5 tx; f 27.5; wait 500" << "band 20m";
        QTest::newRow("... and came back") << "mem 20m=3; sw 1; f 14.2 tx; wait 300; .; f 27.5; wait 500; |; f 14.2; ."
                                           << "band 20m | select 3";
        QTest::newRow("busy antenna") << "mem 20m=3; sw 1 busy=3; f 14.2; wait 300; |; sw 1" << "band 20m | select 3";
        QTest::newRow("split, with nothing to restore") << "sw 1 split=5; f 14.2; wait 300; .; wait 1000" << "band 20m";
        QTest::newRow("super split") << "mem 20m=3; sw 1 ss; f 14.2; wait 300; |; sw 1" << "band 20m | select 3";
        QTest::newRow("operator mid-choice") << "mem 20m=3; sw 1 choosing; f 14.2; wait 300; |; sw 1" << "band 20m | select 3";
        QTest::newRow("link closed") << "mem 20m=3; sw 1 closed; f 14.2; wait 300" << "band 20m";
        QTest::newRow("switch silent") << "mem 20m=3; sw 1 silent; f 14.2; wait 300" << "band 20m";

        // Sources gone quiet.
        QTest::newRow("rig gone quiet while transmitting holds, and says so")
            << "mem 20m=3; sw 1; f 7.1 tx; f 14.2 tx; wait 300; .; lost tx; wait 300; |; f 14.2; wait 500; ."
            << "band 20m, held: rig silent | resumed, select 3";
        QTest::newRow("logger silent while transmitting, told once")
            << "mem 20m=3; sw 1; l 14.2 tx; wait 300; .; wait 30000; wait 1; wait 5000; |; l 14.2; wait 500; ."
            << "band 20m, held: logger silent | resumed, select 3";
        QTest::newRow("a band counted stays the band to select for, however long a hold")
            << "mem 20m=3; sw 1 send; l 14.2; wait 300; wait 35000; |; sw 1; wait 500; ." << "band 20m | select 3";
        QTest::newRow("... nor anything to learn") << "sw 1; l 14.2; wait 300; wait 30001; sw 4; wait 300" << "band 20m";
        QTest::newRow("a logger transmitting is looked at again when it would turn stale")
            << "sw 1; l 14.2 tx; wait 300; .; wait 300; next" << "band 20m, next +29401";
        QTest::newRow("a logger's fresh word does") << "sw 1; l 14.2; wait 300; wait 29000; sw 4; wait 300"
                                                    << "band 20m, learn 20m=4";

        // The band table edited while the radio is on the band.
        QTest::newRow("an edit for the band the radio is on selects at once")
            << "mem 20m=3; sw 1; f 14.2; wait 300; .; sw 3; |; wait 1000; edit 20m=6; ." << "band 20m, select 3 | select 6";
        QTest::newRow("... through the holds") << "sw 1 send; f 14.2; wait 300; edit 20m=6; |; sw 1; wait 500; ."
                                               << "band 20m | select 6";
        QTest::newRow("... not for another band, nor for the antenna in use")
            << "sw 1; f 14.2; wait 300; edit 40m=6; edit 20m=1; wait 1000" << "band 20m";
        QTest::newRow("... nor while a band change is under way")
            << "mem 40m=5; sw 1; f 14.2; wait 300; f 7.1; edit 20m=6; wait 300; ." << "band 20m, band 40m, select 5";

        // Learning.
        QTest::newRow("learned from the switch's front panel") << "sw 1; f 14.2; wait 300; sw 4; wait 300"
                                                               << "band 20m, learn 20m=4";
        QTest::newRow("our own switch is not learned") << "mem 20m=3; sw 1; f 14.2; wait 300; .; sw 3; wait 300"
                                                       << "band 20m, select 3";
        QTest::newRow("our own switch showing after a band change")
            << "mem 20m=3; sw 1; f 14.2; wait 300; .; f 7.1; wait 300; sw 3; wait 300" << "band 20m, select 3, band 40m";
        QTest::newRow("... more than two seconds late, on a band with no memory")
            << "mem 40m=5; sw 1; f 7.1; wait 300; .; f 14.2; wait 2500; sw 5; wait 300" << "band 40m, select 5, band 20m";
        QTest::newRow("an earlier select showing late is not learned for the next band")
            << "mem 40m=5; mem 20m=3; sw 1; f 7.1; wait 300; .; f 14.2; wait 170; sw 5; wait 130; .; wait 700; ."
            << "band 40m, select 5, band 20m, select 3";
        QTest::newRow("a change while our select is on its way is not learned")
            << "mem 20m=3; sw 1; f 14.2; wait 300; .; sw 6; wait 300" << "band 20m, select 3";
        QTest::newRow("... once it has shown, a change is")
            << "mem 20m=3; sw 1; f 14.2; wait 300; .; sw 3; sw 6; wait 300" << "band 20m, select 3, learn 20m=6";
        QTest::newRow("... and after two seconds without it showing")
            << "mem 20m=3; sw 1; f 14.2; wait 300; .; wait 2001; sw 6; wait 300" << "band 20m, select 3, learn 20m=6";
        QTest::newRow("a move while our select waits for its turn takes it back")
            << "mem 20m=3; sw 1; f 14.2; wait 300; ~.; sw 6; wait 2000" << "band 20m";
        QTest::newRow("manual choice while held wins")
            << "mem 20m=3; sw 1 send; f 14.2; wait 300; sw 6 send; sw 6; wait 800" << "band 20m, learn 20m=6";
        QTest::newRow("first status after connecting is no choice")
            << "sw 1 closed; f 14.2; wait 300; sw 1 silent; sw 4; wait 300" << "band 20m";
        QTest::newRow("no learning off the band") << "sw 1; f 14.2; wait 300; f 27.5; sw 4; wait 300" << "band 20m";
        QTest::newRow("no learning of a key while split is on") << "sw 1 split=5; f 14.2; wait 300; key 4; wait 300"
                                                                << "band 20m";
        QTest::newRow("no learning in super split") << "sw 1; f 14.2; wait 300; sw 4 ss; wait 300" << "band 20m";
        QTest::newRow("no learning once the band's source is quiet")
            << "sw 1; f 14.2; wait 300; lost; sw 6; wait 300" << "band 20m";
        QTest::newRow("a key on the antenna in use is a choice too")
            << "mem 20m=3; sw 1 send; f 14.2; wait 300; key 1; sw 1; wait 300" << "band 20m, learn 20m=1";

        // Split pairs per band: restored as the panel's own words make them,
        // each word once the switch shows the one before.
        QTest::newRow("a pair is restored: the antenna, then split with its TX antenna")
            << "mem 160m=6/2; sw 1; f 1.9; wait 300; .; sw 6; sw 6 split=2; wait 2000" << "band 160m, select 6, split 6/2";
        QTest::newRow("... only split on when the antenna is in use")
            << "mem 160m=6/2; sw 6; f 1.9; wait 300; ." << "band 160m, split 6/2";
        QTest::newRow("... nothing when the switch has the pair") << "mem 160m=6/2; sw 6 split=2; f 1.9; wait 300; .; wait 1000"
                                                                 << "band 160m";
        QTest::newRow("... split off first when the switch has another TX antenna")
            << "mem 160m=6/2; sw 6 split=4; f 1.9; wait 300; .; sw 6; sw 6 split=2" << "band 160m, split off, split 6/2";
        QTest::newRow("a band remembered without split gets split off, then its antenna")
            << "mem 20m=3; sw 6 split=2; f 14.2; wait 300; .; sw 6; sw 3; wait 1000" << "band 20m, split off, select 3";
        QTest::newRow("... split off alone when its antenna is in use")
            << "mem 20m=6; sw 6 split=2; f 14.2; wait 300; .; sw 6; wait 1000" << "band 20m, split off";
        QTest::newRow("each word waits until the one before shows")
            << "mem 160m=6/2; sw 1; f 1.9; wait 300; .; wait 1500; |; sw 6" << "band 160m, select 6 | split 6/2";
        QTest::newRow("a word that never shows gives the restore up")
            << "mem 160m=6/2; sw 1; f 1.9; wait 300; .; wait 2001; sw 1; wait 1000" << "band 160m, select 6";
        QTest::newRow("the hang time's frame is polled a command's spacing before it ends")
            << "mem 20m=3; sw 1; f 14.2 tx; wait 300; .; f 14.2; want; wait 400; .; |; wait 99; |; wait 1"
            << "band 20m, want +400 | | select 3";
        QTest::newRow("... a frame read before that does not do")
            << "mem 20m=3; sw 1; f 14.2 tx; wait 300; .; f 14.2; wait 399; .; |; wait 101; |; ."
            << "band 20m | | select 3";
        QTest::newRow("transmitting holds the rest of a restore, and the hang time")
            << "mem 160m=6/2; sw 1; f 1.9; wait 300; .; f 1.9 tx; sw 6; |; f 1.9; wait 499; |; wait 1; |; ."
            << "band 160m, select 6 | | | split 6/2";
        QTest::newRow("a move of the operator's between the words takes the rest back")
            << "mem 160m=6/2; sw 1; f 1.9; wait 300; .; ~sw 6; sw 3; wait 2000" << "band 160m, select 6";
        QTest::newRow("a busy TX antenna holds split on") << "mem 160m=6/2; sw 6 busy=2; f 1.9; wait 300; .; |; sw 6"
                                                         << "band 160m | split 6/2";
        QTest::newRow("the operator's split is learned for the band, pair and all")
            << "sw 1; f 1.9; wait 300; sw 6; sw 6 split=2; wait 300" << "band 160m, learn 160m=6/2";
        QTest::newRow("split turned off is learned as no split")
            << "mem 160m=6/2; sw 6 split=2; f 1.9; wait 300; .; sw 6; wait 300" << "band 160m, learn 160m=6";

        // The antenna rules: what they forbid on the band is never selected
        // (and said), never learned; checked again when the rules change.
        QTest::newRow("a remembered antenna not for the band is not selected")
            << "for 6=6m; mem 160m=6; sw 1; f 1.9; wait 300; .; wait 1000" << "band 160m, skip 160m=6";
        QTest::newRow("... nor a pair whose TX antenna is not")
            << "for 2=20m,6m; mem 160m=6/2; sw 1; f 1.9; wait 300; ." << "band 160m, skip 160m=6";
        QTest::newRow("... nor a receive-only antenna without split")
            << "rxonly 7; mem 160m=7; sw 1; f 1.9; wait 300; ." << "band 160m, skip 160m=7";
        QTest::newRow("... which with split is the receive antenna")
            << "rxonly 7; mem 160m=7/2; sw 1; f 1.9; wait 300; .; sw 7" << "band 160m, select 7, split 7/2";
        QTest::newRow("an antenna for the band is selected as ever")
            << "for 6=6m; for 3=20m,15m; mem 20m=3; sw 1; f 14.2; wait 300; ." << "band 20m, select 3";
        QTest::newRow("a choice not for the band is not learned") << "for 6=6m; sw 1; f 1.9; wait 300; sw 6; wait 300"
                                                                  << "band 160m";
        QTest::newRow("... nor a receive-only TX antenna") << "rxonly 7; sw 1; f 1.9; wait 300; sw 1 split=7; wait 300"
                                                           << "band 160m";
        QTest::newRow("rules changed while a select waits drop it")
            << "mem 160m=6; sw 1 send; f 1.9; wait 300; .; for 6=6m; sw 1; wait 500" << "band 160m, skip 160m=6";
        QTest::newRow("a band table edit to an antenna not for the band")
            << "for 6=6m; sw 1; f 1.9; wait 300; .; edit 160m=6; wait 100" << "band 160m, skip 160m=6";

        // A choice at a band change is the operator's, for the new band.
        QTest::newRow("a key just before a band change")
            << "mem 80m=2; mem 40m=5; sw 2; f 3.6; wait 300; key 7; sw 7; wait 100; f 7.1; wait 300"
            << "band 80m, band 40m, learn 40m=7";
        QTest::newRow("a key while the band is changing") << "mem 40m=5; sw 1; f 7.1; wait 100; key 7; sw 7; wait 200"
                                                          << "band 40m, learn 40m=7";
        QTest::newRow("... when the radio then leaves every band")
            << "mem 40m=5; sw 1; f 7.1; wait 100; key 7; sw 7; f 27.5; wait 200; wait 300" << "band 40m";
        QTest::newRow("a key the switch never shows is not learned")
            << "sw 1; f 14.2; wait 300; key 4; wait 300; wait 2000; close" << "band 20m";
        QTest::newRow("... but it still takes back a select waiting for its turn")
            << "mem 20m=3; sw 1 send; f 14.2; wait 300; key 4; sw 1; wait 2500" << "band 20m";
        QTest::newRow("a choice is learned once no band change came")
            << "sw 1; f 14.2; wait 300; key 4; sw 4; wait 299; |; wait 1" << "band 20m | learn 20m=4";
        QTest::newRow("... or when the panel closes") << "sw 1; f 14.2; wait 300; key 4; sw 4; close"
                                                      << "band 20m, learn 20m=4";
        QTest::newRow("a band passed through leaves the choice to the band it stays on")
            << "mem 40m=5; sw 1; f 14.2; wait 300; key 4; sw 4; f 7.1; wait 100; f 14.2; wait 300"
            << "band 20m, learn 20m=4";
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
