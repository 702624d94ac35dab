#include "band/AntennaRules.h"
#include "panel/SwitchSnapshot.h"

#include <QtTest>

// The antenna rules by tables. Rules are written as in a short script:
//   "6=6m"      antenna 6 may be used on 6 m only ("3=20m,15m": on both;
//               "3=": on none)
//   "7 rx"      antenna 7 only receives
//   "refuse"    a select not for the band is refused, not warned about
// The switch: "at 3" (antenna 3 in use) and "split=5" (split on, TX 5).
// Words: "S6" selects antenna 6, "P3/5" split on from 3 with TX 5, "P0"
// split off, "V3/1" rotor 1, "Q5" the super split group of antenna 5.
// Antenna 6 is captioned "6m Y", antenna 7 "Beve".
namespace {

AntennaRules rulesFrom(const QString &script)
{
    AntennaRules rules;
    for (QString rule : script.split(';', Qt::SkipEmptyParts)) {
        rule = rule.trimmed();
        if (rule == "refuse") {
            rules.refuseOffBand = true;
        } else if (rule.endsWith(" rx")) {
            rules.receiveOnlyMask |= static_cast<quint8>(1u << (rule.section(' ', 0, 0).toInt() - 1));
        } else {
            AntennaRules::Bands bands = 0;
            for (const QString &band : rule.section('=', 1).split(',', Qt::SkipEmptyParts))
                bands |= AntennaRules::Bands(1) << BandPlan::bandForKey(band);
            rules.bands[static_cast<size_t>(rule.section('=', 0, 0).toInt() - 1)] = bands;
        }
    }
    return rules;
}

SwitchSnapshot switchFrom(const QString &text)
{
    SwitchSnapshot s;
    s.linkOpen = s.power = true;
    s.captions[5] = "6m Y";
    s.captions[6] = "Beve";
    for (const QString &word : text.split(' ', Qt::SkipEmptyParts)) {
        if (word.startsWith("split=")) {
            s.splitOn = true;
            s.splitPosition = static_cast<quint8>(word.mid(6).toInt() - 1);
        } else if (word != "at") {
            s.position = static_cast<quint8>(word.toInt() - 1);
        }
    }
    return s;
}

CommandWord wordFrom(const QString &text)
{
    const QStringList numbers = text.mid(1).split('/');
    const int a = numbers.value(0).toInt();
    const int b = numbers.value(1).toInt();
    switch (text.at(0).toLatin1()) {
    case 'S':
        return Protocol::selectWord(a - 1);
    case 'P':
        return a == 0 ? Protocol::splitOffWord() : Protocol::splitOnWord(a - 1, b - 1);
    case 'V':
        return Protocol::rotorWord(a - 1, b);
    default:
        return Protocol::superSplitWord(static_cast<quint8>(1u << (a - 1)));
    }
}

// "160m", or a frequency in MHz for the band it is in (none outside every band).
int bandFrom(const QString &text)
{
    if (text == "none")
        return BandPlan::noBand;
    bool mhz = false;
    const double frequency = text.toDouble(&mhz);
    return mhz ? BandPlan::bandAt(qRound64(frequency * 1e6)) : BandPlan::bandForKey(text);
}

} // namespace

class tst_AntennaRules : public QObject
{
    Q_OBJECT

private slots:
    void judge_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QString>("switchNow");
        QTest::addColumn<QString>("band");
        QTest::addColumn<bool>("transmitting");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("expected");

        // Bands.
        QTest::newRow("no rules: anything goes") << "" << "at 1" << "160m" << false << "S6" << "send";
        QTest::newRow("not for the band: sent with a warning")
            << "6=6m" << "at 1" << "160m" << false << "S6" << "warn: Antenna 6 (6m Y) is not for 160 m";
        QTest::newRow("... refused when the rules say so")
            << "6=6m; refuse" << "at 1" << "160m" << false << "S6" << "refuse: Antenna 6 (6m Y) is not for 160 m; not selected";
        QTest::newRow("for the band") << "6=6m; refuse" << "at 1" << "6m" << false << "S6" << "send";
        QTest::newRow("one of its bands") << "3=20m,15m,10m; refuse" << "at 1" << "15m" << false << "S3" << "send";
        QTest::newRow("an antenna without a list, everywhere") << "6=6m; refuse" << "at 1" << "160m" << false << "S3" << "send";
        QTest::newRow("an empty list, nowhere") << "3=" << "at 1" << "20m" << false << "S3" << "warn: Antenna 3 is not for 20 m";
        QTest::newRow("no band known yet: every antenna") << "6=6m; refuse" << "at 1" << "none" << false << "S6" << "send";
        QTest::newRow("refuse alone restricts nothing") << "refuse" << "at 1" << "160m" << false << "S6" << "send";
        QTest::newRow("the key of the antenna in use, split on, is a select")
            << "6=6m; refuse" << "at 6 split=2" << "160m" << false << "S6"
            << "refuse: Antenna 6 (6m Y) is not for 160 m; not selected";

        // Band edges: both belong to the band; between bands no band is known.
        QTest::newRow("6 m's low edge") << "6=6m; refuse" << "at 1" << "50.0" << false << "S6" << "send";
        QTest::newRow("6 m's high edge") << "6=6m; refuse" << "at 1" << "54.0" << false << "S6" << "send";
        QTest::newRow("20 m's high edge") << "3=20m; refuse" << "at 1" << "14.35" << false << "S3" << "send";
        QTest::newRow("just above 20 m: no band") << "3=20m; refuse" << "at 1" << "14.351" << false << "S3" << "send";
        QTest::newRow("17 m's low edge") << "3=20m; refuse" << "at 1" << "18.068" << false << "S3"
                                        << "refuse: Antenna 3 is not for 17 m; not selected";

        // Split: a key of another antenna picks the TX antenna.
        QTest::newRow("TX antenna not for the band: warned")
            << "6=6m" << "at 3 split=5" << "160m" << false << "S6" << "warn: Antenna 6 (6m Y) is not for 160 m";
        QTest::newRow("... refused") << "6=6m; refuse" << "at 3 split=5" << "160m" << false << "S6"
                                     << "refuse: Antenna 6 (6m Y) is not for 160 m; not made the TX antenna";
        QTest::newRow("split on with a TX antenna not for the band")
            << "6=6m; refuse" << "at 3" << "160m" << false << "P3/6"
            << "refuse: Antenna 6 (6m Y) is not for 160 m; not made the TX antenna";
        QTest::newRow("split on with a TX antenna for the band") << "6=6m; refuse" << "at 3" << "6m" << false << "P3/6"
                                                                 << "send";

        // Receive only: never the TX antenna, never in use while transmitting.
        QTest::newRow("receive only as the TX antenna: refused, even when warning")
            << "7 rx" << "at 3 split=5" << "20m" << false << "S7" << "refuse: Antenna 7 (Beve) is receive only; not made the TX antenna";
        QTest::newRow("... by split on") << "7 rx" << "at 3" << "20m" << false << "P3/7"
                                         << "refuse: Antenna 7 (Beve) is receive only; not made the TX antenna";
        QTest::newRow("receive only, selected: a warning") << "7 rx" << "at 3" << "20m" << false << "S7"
                                                           << "warn: Antenna 7 (Beve) is receive only";
        QTest::newRow("... refused while transmitting") << "7 rx" << "at 3" << "20m" << true << "S7"
                                                        << "refuse: Antenna 7 (Beve) is receive only; not selected while transmitting";
        QTest::newRow("... and with no band known") << "7 rx" << "at 3" << "none" << true << "S7"
                                                    << "refuse: Antenna 7 (Beve) is receive only; not selected while transmitting";
        QTest::newRow("receive only and not for the band, refusing")
            << "7 rx; 7=160m; refuse" << "at 3" << "20m" << false << "S7"
            << "refuse: Antenna 7 (Beve) is not for 20 m; not selected";
        QTest::newRow("as the receive antenna of a pair, split off warns")
            << "7 rx" << "at 7 split=2" << "160m" << false << "P0" << "warn: Antenna 7 (Beve) is receive only";
        QTest::newRow("... and is refused while transmitting")
            << "7 rx" << "at 7 split=2" << "160m" << true << "P0"
            << "refuse: Antenna 7 (Beve) is receive only; split stays on while transmitting";
        QTest::newRow("split off from an antenna that may transmit") << "7 rx" << "at 3 split=2" << "160m" << true << "P0"
                                                                     << "send";
        QTest::newRow("another antenna while transmitting") << "7 rx; 6=6m" << "at 3" << "6m" << true << "S6" << "send";

        // Words that select nothing.
        QTest::newRow("rotor") << "6=6m; 7 rx; refuse" << "at 6" << "160m" << true << "V6/1" << "send";
        QTest::newRow("super split group") << "6=6m; 7 rx; refuse" << "at 1" << "160m" << true << "Q6" << "send";
    }
    void judge()
    {
        QFETCH(QString, rules);
        QFETCH(QString, switchNow);
        QFETCH(QString, band);
        QFETCH(bool, transmitting);
        QFETCH(QString, word);
        QFETCH(QString, expected);
        const AntennaRules::Verdict verdict =
            rulesFrom(rules).judge(wordFrom(word), switchFrom(switchNow), bandFrom(band), transmitting);
        QString said;
        switch (verdict.answer) {
        case AntennaRules::Answer::Send:
            said = verdict.text.isEmpty() ? "send" : "send: " + verdict.text;
            break;
        case AntennaRules::Answer::Warn:
            said = "warn: " + verdict.text;
            break;
        case AntennaRules::Answer::Refuse:
            said = "refuse: " + verdict.text;
            break;
        }
        QCOMPARE(said, expected);
    }

    // What band follow may select or learn, and what a key's description adds.
    void setupsAndNotes_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QString>("band");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("splitTx");
        QTest::addColumn<bool>("allowed");
        QTest::addColumn<QString>("note");

        QTest::newRow("no rules") << "" << "160m" << 6 << 0 << true << "";
        QTest::newRow("not for the band") << "6=6m" << "160m" << 6 << 0 << false << "not for 160 m";
        QTest::newRow("for it") << "6=6m" << "6m" << 6 << 0 << true << "";
        QTest::newRow("no band known") << "6=6m" << "none" << 6 << 0 << true << "";
        QTest::newRow("receive only, alone") << "7 rx" << "160m" << 7 << 0 << false << "receive only";
        QTest::newRow("receive only, receiving in a pair") << "7 rx" << "160m" << 7 << 2 << true << "receive only";
        QTest::newRow("a pair with a TX antenna not for the band") << "2=20m" << "160m" << 7 << 2 << false << "";
        QTest::newRow("a pair with a receive-only TX antenna") << "2 rx" << "160m" << 7 << 2 << false << "";
        QTest::newRow("both notes") << "7 rx; 7=160m" << "20m" << 7 << 0 << false << "not for 20 m, receive only";
    }
    void setupsAndNotes()
    {
        QFETCH(QString, rules);
        QFETCH(QString, band);
        QFETCH(int, position);
        QFETCH(int, splitTx);
        QFETCH(bool, allowed);
        QFETCH(QString, note);
        const AntennaRules r = rulesFrom(rules);
        QCOMPARE(r.setupAllowed(bandFrom(band), position - 1, splitTx - 1), allowed);
        QCOMPARE(r.keyNote(position - 1, bandFrom(band)), note);
    }

    void configuredOnlyWithBandsOrMarks()
    {
        QVERIFY(!rulesFrom("").configured());
        QVERIFY(!rulesFrom("refuse").configured());
        QVERIFY(rulesFrom("3=").configured());
        QVERIFY(rulesFrom("7 rx").configured());
    }

    // Antenna Bands was open while the file was edited by hand: what the
    // operator changed there, into the file as it is now.
    void merged_data()
    {
        QTest::addColumn<QString>("edited");
        QTest::addColumn<QString>("editedFrom");
        QTest::addColumn<QString>("now");
        QTest::addColumn<QString>("result");

        QTest::newRow("the operator's change goes in, the hand edit stays")
            << "3=20m; 6=6m" << "6=6m" << "6=6m,2m; 7 rx" << "3=20m; 6=6m,2m; 7 rx";
        QTest::newRow("one antenna changed in both: the operator's") << "6=6m,4m" << "6=6m" << "6=6m,2m" << "6=6m,4m";
        QTest::newRow("a list taken away in the dialog stays away") << "" << "6=6m" << "6=6m; 3=20m" << "3=20m";
        QTest::newRow("receive-only marks, one by one") << "5 rx" << "7 rx" << "7 rx; 8 rx" << "5 rx; 8 rx";
        QTest::newRow("the refusal changed in the dialog") << "refuse" << "" << "6=6m" << "6=6m; refuse";
        QTest::newRow("... or by hand") << "3=20m" << "" << "refuse" << "3=20m; refuse";
    }
    void merged()
    {
        QFETCH(QString, edited);
        QFETCH(QString, editedFrom);
        QFETCH(QString, now);
        QFETCH(QString, result);
        QVERIFY(AntennaRules::merged(rulesFrom(edited), rulesFrom(editedFrom), rulesFrom(now)) == rulesFrom(result));
    }
};

QTEST_GUILESS_MAIN(tst_AntennaRules)
#include "tst_antennarules.moc"
