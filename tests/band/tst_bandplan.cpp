#include "band/BandMemory.h"
#include "band/BandPlan.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// Every band edge, inside and one hertz outside; and the antenna memory
// file: hand-written lines read, junk ignored (and gone once the panel
// writes), and nothing good lost when it writes a choice.
class tst_BandPlan : public QObject
{
    Q_OBJECT

private slots:
    void edges_data()
    {
        QTest::addColumn<qint64>("frequencyHz");
        QTest::addColumn<QString>("band");

        struct Edges
        {
            const char *key;
            qint64 lowHz;
            qint64 highHz;
        };
        // The widest edges any IARU region gives each band.
        const Edges plan[] = {
            {"2200m", 135700, 137800},      {"630m", 472000, 479000},
            {"160m", 1800000, 2000000},     {"80m", 3500000, 4000000},      {"60m", 5250000, 5450000},
            {"40m", 7000000, 7300000},      {"30m", 10100000, 10150000},    {"20m", 14000000, 14350000},
            {"17m", 18068000, 18168000},    {"15m", 21000000, 21450000},    {"12m", 24890000, 24990000},
            {"10m", 28000000, 29700000},    {"6m", 50000000, 54000000},     {"4m", 69900000, 70500000},
            {"2m", 144000000, 148000000},   {"1.25m", 222000000, 225000000}, {"70cm", 420000000, 450000000},
        };
        for (const Edges &band : plan) {
            QTest::addRow("%s below", band.key) << band.lowHz - 1 << QString();
            QTest::addRow("%s low", band.key) << band.lowHz << QString(band.key);
            QTest::addRow("%s high", band.key) << band.highHz << QString(band.key);
            QTest::addRow("%s above", band.key) << band.highHz + 1 << QString();
        }
        QTest::newRow("zero") << qint64(0) << QString();
        QTest::newRow("negative") << qint64(-14200000) << QString();
        QTest::newRow("far above") << qint64(10368000000) << QString();
    }
    void edges()
    {
        QFETCH(qint64, frequencyHz);
        QFETCH(QString, band);
        QCOMPARE(BandPlan::key(BandPlan::bandAt(frequencyHz)), band);
    }

    void junkIsIgnoredAndGoodLinesSurviveARewrite()
    {
        const QString path = dir.filePath("junk.ini");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\xEF\xBB\xBF" "20m=3\n; my antennas\n40m = 5\nthis is no line\n=7\n15m=9\n17m=0\n10m=-2\n12m=two\n6m=2.5\n2m=\n"
                   "80M=4\n1.25m=8\n" + QByteArray("\xff\xfe\x00garbage\n", 11) + "160m=1\n[Other]\n70cm=6\n");
        file.close();

        BandMemory memory(path);
        BandAntennas expected = BandMemory::empty();
        const auto set = [&expected](const char *key, int position) {
            expected[static_cast<size_t>(BandPlan::bandForKey(key))] = position;
        };
        set("20m", 2), set("40m", 4), set("80m", 3), set("1.25m", 7), set("160m", 0), set("70cm", 5);
        QCOMPARE(memory.load(), expected);

        QVERIFY(memory.remember(BandPlan::bandForKey("17m"), 6));
        QVERIFY(memory.remember(BandPlan::bandForKey("20m"), 1));
        QVERIFY(!memory.remember(BandPlan::noBand, 1));
        QVERIFY(!memory.remember(BandPlan::bandForKey("20m"), 8));
        set("17m", 6), set("20m", 1);
        QCOMPARE(memory.load(), expected);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QCOMPARE(text, QByteArray("160m=1\n80m=4\n40m=5\n20m=2\n17m=7\n1.25m=8\n70cm=6\n"));
        file.close();

        QVERIFY(memory.forget(BandPlan::bandForKey("40m")));
        set("40m", BandMemory::noAntenna);
        QCOMPARE(memory.load(), expected);
    }

    // A band remembered with split keeps its receive antenna on a line of
    // its own; the band's line names the antenna the radio transmits on,
    // which is all the panel before this one reads (it ignores the other
    // line). Today's files mean no split.
    void splitPairsInTheMemoryFile()
    {
        const QString path = dir.filePath("split.ini");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("20m=3\n160m.rx=6\n40m=5\n40m.rx=5\n");
        file.close();
        BandMemory memory(path);
        const auto at = [](const BandAntennas &a, const char *key) { return a[static_cast<size_t>(BandPlan::bandForKey(key))]; };
        BandMemory::Setups setups = memory.loadSetups();
        // A receive line alone, or one naming the band's own antenna, is no split.
        QCOMPARE(at(setups.antennas, "20m"), 2);
        QCOMPARE(at(setups.splitTx, "20m"), BandMemory::noAntenna);
        QCOMPARE(at(setups.antennas, "160m"), BandMemory::noAntenna);
        QCOMPARE(at(setups.antennas, "40m"), 4);
        QCOMPARE(at(setups.splitTx, "40m"), BandMemory::noAntenna);

        QVERIFY(memory.remember(BandPlan::bandForKey("160m"), 5, 1));
        setups = memory.loadSetups();
        QCOMPARE(at(setups.antennas, "160m"), 5);
        QCOMPARE(at(setups.splitTx, "160m"), 1);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        file.close();
        QCOMPARE(text, QByteArray("160m=2\n160m.rx=6\n40m=5\n20m=3\n"));

        // As the panel before this one read it: every "band=N" line (keys
        // in any case) names the band's antenna; the rest is skipped.
        QMap<QString, int> lastVersion;
        for (const QByteArray &line : text.split('\n')) {
            const int equals = line.indexOf('=');
            const int band = BandPlan::bandForKey(QString::fromUtf8(line.left(equals)).trimmed().toLower());
            if (equals > 0 && band != BandPlan::noBand)
                lastVersion.insert(BandPlan::key(band), line.mid(equals + 1).toInt());
        }
        QCOMPARE(lastVersion, (QMap<QString, int>{{"160m", 2}, {"40m", 5}, {"20m", 3}}));

        // Without split again, and forgotten: both lines go.
        QVERIFY(memory.remember(BandPlan::bandForKey("160m"), 5));
        QCOMPARE(at(memory.loadSetups().splitTx, "160m"), BandMemory::noAntenna);
        QVERIFY(memory.remember(BandPlan::bandForKey("160m"), 5, 1));
        QVERIFY(memory.forget(BandPlan::bandForKey("160m")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("40m=5\n20m=3\n"));
    }

    void newFileAndUnwritableFile()
    {
        BandMemory fresh(dir.filePath("new/folder/bands.ini"));
        QCOMPARE(fresh.load(), BandMemory::empty());
        QVERIFY(fresh.remember(BandPlan::bandForKey("70cm"), 1));
        QCOMPARE(fresh.load()[static_cast<size_t>(BandPlan::bandForKey("70cm"))], 1);

        // A folder where the file should be: no user, not even root, can write it.
        QVERIFY(QDir(dir.path()).mkdir("folder.ini"));
        QVERIFY(!BandMemory(dir.filePath("folder.ini")).remember(BandPlan::bandForKey("20m"), 2));
    }

private:
    QTemporaryDir dir;
};

QTEST_GUILESS_MAIN(tst_BandPlan)
#include "tst_bandplan.moc"
