#include "panel/AntennaLabels.h"
#include "settings/CaptionsDialog.h"
#include "settings/CaptionsFile.h"
#include "support/Files.h"

#include <QAccessible>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString grin = QString::fromUtf8("\xF0\x9F\x98\x80");  // four bytes in UTF-8, two UTF-16 units

CaptionsFile::Captions captions(const QStringList &list)
{
    CaptionsFile::Captions result;
    for (int i = 0; i < list.size() && i < positionCount; ++i)
        result[static_cast<size_t>(i)] = list[i];
    return result;
}

// What the panel shows on the keys after reading path.
QStringList keys(const QString &path)
{
    QStringList shown;
    for (const auto &caption : AntennaLabels::read(path))
        shown << caption.value_or(QString());
    return shown;
}

} // namespace

// The captions file as the Antenna Captions dialog writes it: what the panel
// reads back, what else the file held, which file is read at start and which
// are written, and the dialog itself.
class tst_Captions : public QObject
{
    Q_OBJECT

private slots:
    void normalized_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        QTest::newRow("four letters") << "Yagi" << "Yagi";
        QTest::newRow("longer word") << "Dipole" << "Dipo";
        QTest::newRow("blanks kept") << " 40 " << " 40 ";
        QTest::newRow("line break and tab dropped") << "a\tb\nc\rd" << "abcd";
        QTest::newRow("two emoji fill it") << grin + grin << grin + grin;
        QTest::newRow("emoji never cut in half") << "abc" + grin << "abc";
        QTest::newRow("emoji counts two") << "a" + grin + "bc" << "a" + grin + "b";
        QTest::newRow("lone half dropped") << QString("ab") + QChar(0xD83D) + "c" << "abc";
        QTest::newRow("combining accent counts one") << QString::fromUtf8("e\xCC\x81xyz") << QString::fromUtf8("e\xCC\x81xy");
    }
    void normalized()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        QCOMPARE(CaptionsFile::normalized(typed), stored);
    }

    // The panel's own reader gives back exactly what was written, odd
    // captions included; an empty caption writes no line and shows blank.
    void roundTripThroughThePanelsReader()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("sub/settings.cfg");
        const QStringList written{"Yagi", "", "  40", "ab", grin + grin, QString::fromUtf8("Ant\xC3\xA9"), "a" + grin + "b", "    "};
        QString error;
        QVERIFY2(CaptionsFile::write(path, captions(written), &error), qPrintable(error));
        QCOMPARE(keys(path), written);
        QVERIFY(!AntennaLabels::read(path)[1]);
        QVERIFY(!contents(path).contains("#K2"));

        // Too long is cut as the dialog cuts it, so the file never holds more.
        QVERIFY(CaptionsFile::write(path, captions({"Dipole", "abc" + grin}), &error));
        QCOMPARE(keys(path), QStringList({"Dipo", "abc", "", "", "", "", "", ""}));
    }

    // Comments and other lines stay; every line the panel would take for a
    // key goes, even the ones it reads in unexpected ways ("#K10").
    void otherLinesKept()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("settings.cfg");
        QVERIFY(writeFile(path, "; antennas on the tower\r\n#K1 Old1\n#K10 Vert\n#K9 nine\nnotes\n;#K2 commented\n#K3\n"));
        QString error;
        QVERIFY(CaptionsFile::write(path, captions({"New1", "", "", "Loop"}), &error));
        QCOMPARE(keys(path), QStringList({"New1", "", "", "Loop", "", "", "", ""}));
        // UTF-8 without a byte order mark.
        QCOMPARE(contents(path), QByteArray("; antennas on the tower\n#K9 nine\nnotes\n;#K2 commented\n"
                                            "#K1 New1\n#K4 Loop\n"));
        QVERIFY(CaptionsFile::write(path, captions({QString::fromUtf8("Anté")}), &error));
        QVERIFY(contents(path).endsWith("#K1 Ant\xC3\xA9\n") && !contents(path).startsWith("\xEF\xBB\xBF"));
        QCOMPARE(keys(path).first(), QString::fromUtf8("Anté"));
    }

    void savePlan_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("writable");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("warned");
        QTest::newRow("no file beside the program") << false << false << QStringList{"/home/op/settings.cfg"} << false;
        QTest::newRow("writable one is kept in step")
            << true << true << QStringList{"/home/op/settings.cfg", "/usr/bin/settings.cfg"} << false;
        QTest::newRow("read-only one wins at start") << true << false << QStringList{"/home/op/settings.cfg"} << true;
    }
    void savePlan()
    {
        QFETCH(bool, exists);
        QFETCH(bool, writable);
        QFETCH(QStringList, files);
        QFETCH(bool, warned);
        const CaptionsFile::SavePlan plan =
            CaptionsFile::savePlan("/usr/bin/settings.cfg", exists, writable, "/home/op/settings.cfg");
        QCOMPARE(plan.files, files);
        QCOMPARE(!plan.warning.isEmpty(), warned);
        if (warned)
            QVERIFY(plan.warning.contains("/usr/bin/settings.cfg") && plan.warning.contains("after a restart"));
    }

    // On the file system: the file beside the program is read when there is
    // one; a writable one is written with the user's, one that cannot be (a
    // folder in its way) is left and named.
    void saveOnDisk()
    {
        QTemporaryDir dir;
        const QString beside = dir.filePath("bin/settings.cfg");
        const QString user = dir.filePath("config/tqx5r-panel/settings.cfg");
        QCOMPARE(CaptionsFile::fileToRead(beside, user), user);
        QVERIFY(writeFile(beside, "; shack\n#K1 Prog\n"));
        QCOMPARE(CaptionsFile::fileToRead(beside, user), beside);
        const CaptionsFile::Captions typed = captions({"Beam", "Wire"});

        QCOMPARE(CaptionsFile::save(CaptionsFile::savePlan(beside, user), typed), QStringList());
        QCOMPARE(keys(user), keys(beside));
        QCOMPARE(keys(beside).mid(0, 2), QStringList({"Beam", "Wire"}));
        QVERIFY(contents(beside).contains("; shack"));

        const QString blocked = dir.filePath("blocked/settings.cfg");
        QDir().mkpath(blocked);
        const QStringList messages = CaptionsFile::save(CaptionsFile::savePlan(blocked, user), captions({"Vert"}));
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages.first().contains("cannot be written"));
        QCOMPARE(keys(user).first(), QString("Vert"));
    }

    void dialog()
    {
        CaptionsDialog dialog;
        dialog.setCaptions(captions({"Yagi", "", "Dipole"}));
        QCOMPARE(dialog.captions(), captions({"Yagi", "", "Dipo"}));
        dialog.show();

        const QList<QLineEdit *> edits = dialog.findChildren<QLineEdit *>();
        QCOMPARE(edits.size(), positionCount);
        for (int key = 1; key <= positionCount; ++key) {
            auto *edit = dialog.findChild<QLineEdit *>(QString("key%1Edit").arg(key));
            QVERIFY(edit);
            // Read out with its key number, as the label beside it shows.
            const auto labels = QAccessible::queryAccessibleInterface(edit)->relations(QAccessible::Label);
            QCOMPARE(labels.size(), 1);
            QCOMPARE(labels.first().first->text(QAccessible::Name), QString("Key %1:").arg(key));
        }

        auto *second = dialog.findChild<QLineEdit *>("key2Edit");
        QTest::keyClicks(second, "Vertical");
        QCOMPARE(second->text(), QString("Vert"));
        auto *fourth = dialog.findChild<QLineEdit *>("key4Edit");
        QTest::keyClicks(fourth, "ab");
        // An emoji as an input method commits it: one event, two units.
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, grin);
        QApplication::sendEvent(fourth, &press);
        QCOMPARE(fourth->text(), "ab" + grin);
        QApplication::sendEvent(fourth, &press);
        QCOMPARE(fourth->text(), "ab" + grin);

        QSignalSpy applied(&dialog, &CaptionsDialog::applied);
        auto *buttons = dialog.findChild<QDialogButtonBox *>();
        QTest::mouseClick(buttons->button(QDialogButtonBox::Apply), Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(applied.count(), 2);
        QCOMPARE(applied.last().first().value<CaptionsFile::Captions>(), captions({"Yagi", "Vert", "Dipo", "ab" + grin}));

        dialog.show();
        second->clear();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QCOMPARE(applied.count(), 2);
    }
};

QTEST_MAIN(tst_Captions)
#include "tst_captions.moc"
