#include "band/AntennaFile.h"

#include <QTemporaryDir>
#include <QtTest>

// antennas.ini as people write it, and as the window rewrites it: what is
// read (and what is said about the lines that are not), and that a rewrite
// changes only the lines of the rules it writes.
namespace {

// "3=20m,15m; 6=6m; 7 rx; refuse": each band list, the receive-only marks,
// the refusal.
QString describe(const AntennaRules &rules)
{
    QStringList parts;
    for (int p = 0; p < positionCount; ++p) {
        if (const std::optional<AntennaRules::Bands> &bands = rules.bands[static_cast<size_t>(p)]) {
            QStringList names;
            for (int band = 0; band < BandPlan::count; ++band) {
                if ((*bands & (AntennaRules::Bands(1) << band)) != 0)
                    names << BandPlan::key(band);
            }
            parts << QStringLiteral("%1=%2").arg(p + 1).arg(names.join(','));
        }
    }
    for (int p = 0; p < positionCount; ++p) {
        if (rules.receiveOnly(p))
            parts << QStringLiteral("%1 rx").arg(p + 1);
    }
    if (rules.refuseOffBand)
        parts << "refuse";
    return parts.join("; ");
}

AntennaRules rules(std::initializer_list<std::pair<int, const char *>> bands, quint8 receiveOnly = 0,
                   bool refuse = false)
{
    AntennaRules r;
    for (const auto &[antenna, list] : bands) {
        AntennaRules::Bands mask = 0;
        for (const QString &band : QString(list).split(' ', Qt::SkipEmptyParts))
            mask |= AntennaRules::Bands(1) << BandPlan::bandForKey(band);
        r.bands[static_cast<size_t>(antenna - 1)] = mask;
    }
    r.receiveOnlyMask = receiveOnly;
    r.refuseOffBand = refuse;
    return r;
}

} // namespace

Q_DECLARE_METATYPE(AntennaRules)

class tst_AntennaFile : public QObject
{
    Q_OBJECT

private slots:
    void reading_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QStringList>("problems");

        QTest::newRow("the README's example")
            << QByteArray("[Bands]\n6=6m\n3=20m 15m 10m\n[Rules]\nRefuseOffBand=true\n[ReceiveOnly]\n7=true\n")
            << "3=20m,15m,10m; 6=6m; 7 rx; refuse" << QStringList();
        QTest::newRow("any case, blanks, commas, a byte order mark, CRLF")
            << QByteArray("\xEF\xBB\xBF[bands]\r\n 6 = 6M , 4m\r\n[RULES]\r\nrefuseoffband = Yes\r\n") << "6=6m,4m; refuse"
            << QStringList();
        QTest::newRow("comments") << QByteArray("; mine\n# also\n[Bands]\n; 3=20m\n") << "" << QStringList();
        QTest::newRow("the last line of an antenna counts") << QByteArray("[Bands]\n3=20m\n3=40m\n") << "3=40m"
                                                            << QStringList();
        QTest::newRow("an empty list: on no band") << QByteArray("[Bands]\n3=\n") << "3=" << QStringList();
        QTest::newRow("an unknown band drops only itself")
            << QByteArray("[Bands]\n3=20m 15x 10m\n") << "3=20m,10m"
            << QStringList{"line 2: unknown band '15x'; the other bands of antenna 3 count"};
        QTest::newRow("... and with none left, the antenna is for no band")
            << QByteArray("[Bands]\n3=15x, 2 m\n") << "3="
            << QStringList{"line 2: unknown band '15x', '2', 'm'; the other bands of antenna 3 count"};
        QTest::newRow("antennas outside 1 to 8")
            << QByteArray("[Bands]\n9=20m\n0=20m\n[ReceiveOnly]\nx=true\n") << ""
            << QStringList{"line 2: there is no antenna '9' (antennas are 1 to 8)",
                           "line 3: there is no antenna '0' (antennas are 1 to 8)",
                           "line 5: there is no antenna 'x' (antennas are 1 to 8)"};
        QTest::newRow("a receive-only mark neither true nor false counts")
            << QByteArray("[ReceiveOnly]\n7=perhaps\n6=false\n") << "7 rx"
            << QStringList{"line 2: 'perhaps' is neither true nor false; antenna 7 taken as receive only"};
        QTest::newRow("... and so does a refusal")
            << QByteArray("[Rules]\nRefuseOffBand=ture\n") << "refuse"
            << QStringList{"line 2: 'ture' is neither true nor false; taken as true"};
        QTest::newRow("an unknown rule") << QByteArray("[Rules]\nRefuse=true\n") << ""
                                         << QStringList{"line 2: unknown rule 'Refuse'"};
        QTest::newRow("an unknown group is said once")
            << QByteArray("[Band]\n3=20m\n4=40m\n[Band]\n5=20m\n") << ""
            << QStringList{"line 1: unknown group [Band]; its lines are ignored"};
        QTest::newRow("settings before any group, and lines that are none")
            << QByteArray("3=20m\n[Bands]\nhello\n") << ""
            << QStringList{"line 1: '3' is in no group ([Bands], [Rules] or [ReceiveOnly])",
                           "line 3: not a setting (KEY=VALUE)"};

        QByteArray junk;
        QStringList firstSaid;
        for (int line = 1; line <= AntennaFile::maxProblems + 5; ++line) {
            junk += "not ini\n";
            if (line <= AntennaFile::maxProblems)
                firstSaid << QStringLiteral("line %1: not a setting (KEY=VALUE)").arg(line);
        }
        QTest::newRow("a file that is not this one names its first problems and counts the rest")
            << junk << "" << (firstSaid << "and 5 more");
        QTest::newRow("what a problem quotes of a long line is cut")
            << QByteArray("[Rules]\n" + QByteArray(5000, 'R') + "=true\n[Bands]\n3=" + QByteArray(5000, 'x') + "\n")
            << "3="
            << QStringList{"line 2: unknown rule '" + QString(32, 'R') + QChar(0x2026) + "'",
                           "line 4: unknown band '" + QString(31, 'x') + QChar(0x2026)
                               + "; the other bands of antenna 3 count"};
    }
    void reading()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, rules);
        QFETCH(QStringList, problems);
        const AntennaFile::Contents contents = AntennaFile::parse(text);
        QCOMPARE(describe(contents.rules), rules);
        QCOMPARE(contents.problems, problems);
        QVERIFY(contents.readable);
    }

    void rewriting_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<AntennaRules>("rules");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("a new file") << QByteArray() << rules({{6, "6m"}}, 1u << 6, true)
                                    << QByteArray("[Bands]\n6=6m\n\n[Rules]\nRefuseOffBand=true\n\n[ReceiveOnly]\n7=true\n");
        QTest::newRow("comments, other groups and lines it cannot read stay where they are")
            << QByteArray("; my antennas\n[Bands]\n; the yagi\n6=6m\n9=20m\n3=20m 15x\n[Station]\nOwner=me\n")
            << rules({{3, "20m"}, {6, "6m 4m"}})
            << QByteArray("; my antennas\n[Bands]\n; the yagi\n6=6m 4m\n9=20m\n3=20m\n[Station]\nOwner=me\n");
        QTest::newRow("an antenna for every band loses its line")
            << QByteArray("[Bands]\n6=6m\n3=20m\n") << rules({{3, "20m"}}) << QByteArray("[Bands]\n3=20m\n");
        QTest::newRow("new lines go at the end of their group")
            << QByteArray("[Bands]\n3=20m\n\n[Rules]\nRefuseOffBand=false\n") << rules({{3, "20m"}, {6, "6m"}}, 0, true)
            << QByteArray("[Bands]\n3=20m\n6=6m\n\n[Rules]\nRefuseOffBand=true\n");
        QTest::newRow("a refusal once written stays written, as false")
            << QByteArray("[Rules]\nRefuseOffBand=true\n") << AntennaRules() << QByteArray("[Rules]\nRefuseOffBand=false\n");
        QTest::newRow("an antenna given twice keeps one line")
            << QByteArray("[Bands]\n3=20m\n3=40m\n") << rules({{3, "15m"}}) << QByteArray("[Bands]\n3=15m\n");
        QTest::newRow("a receive-only mark taken away")
            << QByteArray("[ReceiveOnly]\n7=true\n6=true\n") << rules({}, 1u << 5) << QByteArray("[ReceiveOnly]\n6=true\n");
        QTest::newRow("lines in another encoding than UTF-8 stay byte for byte")
            << QByteArray("; antena da torre \xC9 \xE0 leste\n[Bands]\n3=20m\n[Notas]\nDono=Jo\xE3o\n")
            << rules({{3, "40m"}})
            << QByteArray("; antena da torre \xC9 \xE0 leste\n[Bands]\n3=40m\n[Notas]\nDono=Jo\xE3o\n");
        QTest::newRow("CRLF and a byte order mark stay")
            << QByteArray("\xEF\xBB\xBF[Bands]\r\n3=20m\r\n") << rules({{3, "40m"}})
            << QByteArray("\xEF\xBB\xBF[Bands]\r\n3=40m\r\n");
    }
    void rewriting()
    {
        QFETCH(QByteArray, before);
        QFETCH(AntennaRules, rules);
        QFETCH(QByteArray, after);
        const QByteArray written = AntennaFile::rewrite(before, rules);
        QCOMPARE(written, after);
        // What was written reads back as the rules.
        QCOMPARE(describe(AntennaFile::parse(written).rules), describe(rules));
    }

    void missingUnreadableAndUnwritableFiles()
    {
        QTemporaryDir dir;
        const AntennaFile missing(dir.filePath("antennas.ini"));
        QVERIFY(missing.load().readable);
        QVERIFY(missing.load().problems.isEmpty());
        QVERIFY(!missing.load().rules.configured());

        // A folder in the file's place is no file: nothing read, nothing written.
        QVERIFY(QDir(dir.path()).mkdir("folder.ini"));
        const AntennaFile folder(dir.filePath("folder.ini"));
        QVERIFY(!folder.load().readable);
        QCOMPARE(folder.load().problems.size(), 1);
        QString error;
        QVERIFY(!folder.save(rules({{3, "20m"}}), &error));
        QVERIFY(error.contains("folder.ini"));

        // A folder that is not there yet is made.
        const AntennaFile deeper(dir.filePath("profiles/two/antennas.ini"));
        QVERIFY2(deeper.save(rules({{3, "20m"}}), &error), qPrintable(error));
        QCOMPARE(describe(deeper.load().rules), QString("3=20m"));
    }
};

QTEST_GUILESS_MAIN(tst_AntennaFile)
#include "tst_antennafile.moc"
