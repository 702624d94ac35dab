#include "band/BandMemory.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The antenna memory file: read by hand-written lines, junk ignored, and
// nothing good lost when the panel writes a choice.
namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

int antennaFor(const BandAntennas &antennas, const char *key)
{
    return antennas[static_cast<size_t>(BandPlan::bandForKey(key))];
}

} // namespace

class tst_BandMemory : public QObject
{
    Q_OBJECT

private slots:
    void handWrittenFileWithJunk();
    void choiceIsWrittenAndGoodLinesSurvive();
    void missingFileAndFolder();
    void unwritableFileIsReported();
    void defaultPathFollowsXdgConfigHome();

private:
    QTemporaryDir dir;
};

void tst_BandMemory::handWrittenFileWithJunk()
{
    const QString path = dir.filePath("junk.ini");
    const QByteArray binaryJunk("\xff\xfe\x00garbage\n", 11);
    write(path, "; my antennas\n20m=3\n40m = 5\nthis is no line\n=7\n15m=9\n17m=0\n10m=-2\n12m=two\n"
                "6m=2.5\n2m=\n80M=4\n1.25m=8\n" + binaryJunk + "160m=1\n[Other]\n70cm=6\n");
    const BandAntennas antennas = BandMemory(path).load();
    QCOMPARE(antennaFor(antennas, "20m"), 2);
    QCOMPARE(antennaFor(antennas, "40m"), 4);
    QCOMPARE(antennaFor(antennas, "1.25m"), 7);
    QCOMPARE(antennaFor(antennas, "160m"), 0);
    for (const char *ignored : {"15m", "17m", "10m", "12m", "6m", "2m", "80m", "70cm", "30m"})
        QVERIFY2(antennaFor(antennas, ignored) == BandMemory::noAntenna, ignored);
}

void tst_BandMemory::choiceIsWrittenAndGoodLinesSurvive()
{
    const QString path = dir.filePath("rewrite.ini");
    write(path, "20m=3\njunk\n15m=9\n40m=5\n");
    BandMemory memory(path);
    QVERIFY(memory.remember(BandPlan::bandForKey("17m"), 6));
    QVERIFY(memory.remember(BandPlan::bandForKey("20m"), 1));
    QVERIFY(!memory.remember(BandPlan::noBand, 1));
    QVERIFY(!memory.remember(BandPlan::bandForKey("20m"), 8));

    const QByteArray text = readAll(path);
    for (const char *line : {"\n17m=7\n", "\n20m=2\n", "\n40m=5\n", "\n15m=9\n"})
        QVERIFY2(text.contains(line), text.constData());
    const BandAntennas antennas = memory.load();
    QCOMPARE(antennaFor(antennas, "17m"), 6);
    QCOMPARE(antennaFor(antennas, "20m"), 1);
    QCOMPARE(antennaFor(antennas, "40m"), 4);
}

void tst_BandMemory::missingFileAndFolder()
{
    BandMemory memory(dir.filePath("new/folder/bands.ini"));
    QCOMPARE(memory.load(), BandMemory::empty());
    QVERIFY(memory.remember(BandPlan::bandForKey("70cm"), 1));
    QVERIFY(readAll(memory.path()).contains("70cm=2"));
}

void tst_BandMemory::unwritableFileIsReported()
{
    // A folder where the file should be: no user, not even root, can write it.
    QVERIFY(QDir(dir.path()).mkdir("folder.ini"));
    QVERIFY(!BandMemory(dir.filePath("folder.ini")).remember(BandPlan::bandForKey("20m"), 2));
}

void tst_BandMemory::defaultPathFollowsXdgConfigHome()
{
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    QCOMPARE(BandMemory::defaultPath(), dir.filePath("tqx5r-panel/bands.ini"));
}

QTEST_GUILESS_MAIN(tst_BandMemory)
#include "tst_bandmemory.moc"
