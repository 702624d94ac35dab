#include "panel/AntennaLabels.h"
#include "panel/MainWindow.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

namespace {
// "-" stands for a key with no line in the file.
QString summary(const AntennaLabels::Captions &captions)
{
    QStringList parts;
    for (const auto &caption : captions)
        parts << (caption ? QString("[%1]").arg(*caption) : QString("-"));
    return parts.join(' ');
}
} // namespace

class tst_AntennaLabels : public QObject
{
    Q_OBJECT

private slots:
    void captions_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("expected");

        QTest::newRow("four letters") << QByteArray("#K1 Yagi\n") << "[Yagi] - - - - - - -";
        QTest::newRow("longer word is cut to four") << QByteArray("#K2 Dipole\n") << "- [Dipo] - - - - - -";
        QTest::newRow("separator may be anything") << QByteArray("#K3:Loop\r\n") << "- - [Loop] - - - - -";
        QTest::newRow("comment even with a marker inside") << QByteArray(";#K4 Beam\n") << "- - - - - - - -";
        QTest::newRow("#K10 matches #K1") << QByteArray("#K10 Vert\n") << "[ Ver] - - - - - - -";
        QTest::newRow("blanks count") << QByteArray("#K5   40\n") << "- - - - [  40] - - -";
        QTest::newRow("lower-case k is not a marker") << QByteArray("#k6 Wire\n") << "- - - - - - - -";
        QTest::newRow("last line for a key wins") << QByteArray("#K7 Old1\n#K7 New2\n") << "- - - - - - [New2] -";
        QTest::newRow("short line gives what it has") << QByteArray("#K8 ab\n#K1\n") << "[] - - - - - - [ab]";
        QTest::newRow("CR LF and no final newline") << QByteArray("; x\r\n#K1 ABCD\r\n#K2 EFGH") << "[ABCD] [EFGH] - - - - - -";
        QTest::newRow("UTF-8 with byte order mark") << QByteArray("\xEF\xBB\xBF#K1 Ant\xC3\xA9\n") << QString::fromUtf8("[Anté] - - - - - - -");
        QTest::newRow("UTF-8 without one") << QByteArray("#K1 Ant\xC3\xA9\n") << QString::fromUtf8("[Anté] - - - - - - -");
        QTest::newRow("not UTF-8: the locale's encoding")
            << QByteArray("#K1 Ant\xE9\n") << QString("[%1] - - - - - - -").arg(QTextCodec::codecForLocale()->toUnicode("Ant\xE9"));
    }
    void captions()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, expected);
        QCOMPARE(summary(AntennaLabels::parse(file)), expected);
    }

    void missingFileGivesNoCaptions()
    {
        QTemporaryDir dir;
        QCOMPARE(summary(AntennaLabels::read(dir.filePath("settings.cfg"))), QString("- - - - - - - -"));
    }

    void hugeFilesAreCutShort()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("settings.cfg");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        // A caption, one enormous line, then a marker far past the reading limit.
        file.write("#K1 Near\n#K2 Long");
        file.write(QByteArray(8 * 1024 * 1024, 'x'));
        file.write("\n#K3 Lost\n");
        file.close();
        QCOMPARE(summary(AntennaLabels::read(path)), QString("[Near] [Long] - - - - - -"));

    }

    void windowTakesCaptionsFromItsOwnDirectory()
    {
        const QString path = QCoreApplication::applicationDirPath() + "/settings.cfg";
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("; antennas on the tower\n#K1 Yagi\n#K8 Loop\n");
        file.close();
        MainWindow window;
        QFile::remove(path);

        QCOMPARE(window.findChild<QPushButton *>("botaoTecla1")->text(), QString("Yagi"));
        QCOMPARE(window.findChild<QPushButton *>("botaoTecla8")->text(), QString("Loop"));
        QCOMPARE(window.findChild<QPushButton *>("botaoTecla2")->text(), QString());
        QCOMPARE(window.findChild<QLabel *>("labelAnt1")->text(), QString("   Ant 1"));
    }
};

QTEST_MAIN(tst_AntennaLabels)
#include "tst_antennalabels.moc"
