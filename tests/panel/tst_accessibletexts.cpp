#include "panel/AccessibleTexts.h"
#include "panel/SwitchAnnouncements.h"

#include <QtTest>

// What a screen reader is told, decided from the switch's state alone.
namespace {

// A switch that has answered: antenna 3 (position 2) in use, nothing else on.
SwitchSnapshot answering()
{
    SwitchSnapshot s;
    s.linkOpen = true;
    s.power = true;
    s.position = 2;
    s.positionShown = true;
    return s;
}

// The eight descriptions as one line, keys separated by "|".
QString descriptions(const SwitchSnapshot &s)
{
    QStringList all;
    for (int p = 0; p < positionCount; ++p)
        all << AccessibleTexts::keyDescription(s, p);
    return all.join('|');
}

} // namespace

class tst_AccessibleTexts : public QObject
{
    Q_OBJECT

private slots:
    void keyDescriptionsSayWhatTheColoursSay_data()
    {
        QTest::addColumn<SwitchSnapshot>("snapshot");
        QTest::addColumn<QString>("expected");

        SwitchSnapshot s;
        QTest::newRow("nothing shown yet") << s << "|||||||";
        s.busyMask = 0x01;
        QTest::newRow("busy before a position is shown") << s << "busy|||||||";

        s = answering();
        QTest::newRow("in use") << s << "||in use|||||";
        s.busyMask = 0x84;
        QTest::newRow("in use and busy, another busy") << s << "||in use, busy|||||busy";

        s = answering();
        s.splitOn = true;
        s.splitPosition = 5;
        QTest::newRow("split: TX antenna") << s << "||in use|||TX antenna||";
        s.splitPosition = 2;
        QTest::newRow("split on the antenna in use") << s << "||in use, TX antenna|||||";

        s = answering();
        s.superSplitMask = 0x05;
        s.superSplitOn = true;
        s.superSplitPartner = 6;
        QTest::newRow("super split group and partner")
            << s << "in super split group||in use, in super split group||||super split partner|";
        s.splitOn = true;
        s.splitPosition = 4;
        QTest::newRow("a super split pair is shown instead of split")
            << s << "in super split group||in use, in super split group||||super split partner|";

        s = answering();
        s.superSplitMask = 0x10;
        s.superSplitPartner = 6;
        QTest::newRow("group without the antenna in use: no partner") << s << "||in use||in super split group|||";

        s = answering();
        s.superSplitMask = 0x05;
        s.superSplitOn = true;
        s.choosingSuperSplit = true;
        s.superSplitSelection = 0x06;
        s.busyMask = 0x02;
        QTest::newRow("choosing super split shows the selection")
            << s << "|chosen for super split, busy|in use, chosen for super split|||||";

        s = answering();
        s.position = 9;
        s.splitOn = true;
        s.splitPosition = 200;
        QTest::newRow("positions that name no key") << s << "|||||||";
    }
    void keyDescriptionsSayWhatTheColoursSay()
    {
        QFETCH(SwitchSnapshot, snapshot);
        QFETCH(QString, expected);
        QCOMPARE(descriptions(snapshot), expected);
    }

    void namesKeepTheVisibleCaptionAndNothingElse_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("name");
        QTest::newRow("none") << QString() << "Antenna 3";
        QTest::newRow("caption") << "Yagi" << "Antenna 3 Yagi";
        QTest::newRow("blanks") << "  Lo op " << "Antenna 3 Lo op";
        QTest::newRow("only blanks") << "    " << "Antenna 3";
        QTest::newRow("control bytes") << QString::fromLatin1("Y\x01g\x7f\ni\x9b") << "Antenna 3 Ygi";
        QTest::newRow("direction marks and overrides")
            << QString::fromUtf8("\u202E\u05D0\u05D1\u200F\u2066x\u2069") << QString::fromUtf8("Antenna 3 \u05D0\u05D1x");
        QTest::newRow("four bytes of UTF-8") << QString::fromUtf8("\xF0\x9F\x93\xA1" "Dp") << QString::fromUtf8("Antenna 3 \xF0\x9F\x93\xA1" "Dp");
        QTest::newRow("cut surrogate pair") << (QString("Dip") + QChar(0xD83D)) << "Antenna 3 Dip";
        QTest::newRow("lone low surrogate") << (QChar(0xDCA1) + QString("Dip")) << "Antenna 3 Dip";
    }
    void namesKeepTheVisibleCaptionAndNothingElse()
    {
        QFETCH(QString, caption);
        QFETCH(QString, name);
        QCOMPARE(AccessibleTexts::keyName(2, caption), name);
    }

    void announcements_data()
    {
        QTest::addColumn<SwitchSnapshot>("before");
        QTest::addColumn<SwitchSnapshot>("after");
        QTest::addColumn<QStringList>("said");

        const SwitchSnapshot on = answering();
        QTest::newRow("steady switch") << on << on << QStringList();
        SwitchSnapshot noisy = on;
        noisy.busyMask = 0x55;
        noisy.send = true;
        noisy.rotor = 3;
        QTest::newRow("busy, SEND and rotor are not spoken") << on << noisy << QStringList();

        SwitchSnapshot moved = on;
        moved.position = 4;
        moved.captions[4] = "Yagi";
        QTest::newRow("antenna moved") << on << moved << QStringList{"Antenna 5 Yagi in use."};

        SwitchSnapshot off = on;
        off.power = false;
        QTest::newRow("power out") << on << off << QStringList{"POWER off."};
        QTest::newRow("power back, antenna unchanged") << off << on
                                                      << QStringList{"POWER on.", "Antenna 3 in use."};
        SwitchSnapshot fresh;
        QTest::newRow("first status frame") << fresh << on << QStringList{"POWER on.", "Antenna 3 in use."};
        SwitchSnapshot pressedWhileClosed;
        pressedWhileClosed.position = 4;
        pressedWhileClosed.positionShown = true;
        QTest::newRow("key pressed before any frame") << fresh << pressedWhileClosed
                                                       << QStringList{"Antenna 5 in use."};

        SwitchSnapshot split = on;
        split.splitOn = true;
        split.splitPosition = 5;
        QTest::newRow("split on") << on << split << QStringList{"Split on: TX on Antenna 6."};
        QTest::newRow("split off") << split << on << QStringList{"Split off."};
        SwitchSnapshot otherTx = split;
        otherTx.splitPosition = 0;
        QTest::newRow("TX antenna moved") << split << otherTx << QStringList{"TX on Antenna 1."};

        SwitchSnapshot group = on;
        group.superSplitMask = 0x05;
        group.superSplitOn = true;
        group.superSplitPartner = 6;
        QTest::newRow("super split on")
            << on << group << QStringList{"Super split group: Antenna 1, Antenna 3.", "Super split on: partner Antenna 7."};
        QTest::newRow("super split off") << group << on << QStringList{"Super split group empty.", "Super split off."};

        SwitchSnapshot choosing = group;
        choosing.choosingSuperSplit = true;
        choosing.superSplitSelection = 0x05;
        SwitchSnapshot toggled = choosing;
        toggled.superSplitSelection = 0x83;
        QTest::newRow("choosing: keys toggled")
            << choosing << toggled
            << QStringList{"Antenna 2 chosen for super split.", "Antenna 3 not chosen for super split.",
                           "Antenna 8 chosen for super split."};
        QTest::newRow("starting to choose says nothing itself") << group << choosing << QStringList();
    }
    void announcements()
    {
        QFETCH(SwitchSnapshot, before);
        QFETCH(SwitchSnapshot, after);
        QFETCH(QStringList, said);
        QCOMPARE(SwitchAnnouncements::between(before, after), said);
    }
};

QTEST_APPLESS_MAIN(tst_AccessibleTexts)
#include "tst_accessibletexts.moc"
