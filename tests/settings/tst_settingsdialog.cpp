#include "panel/DarkTheme.h"
#include "settings/SettingsDialog.h"

#include <QComboBox>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QtTest>

namespace {

QComboBox *box(SettingsDialog &d, const char *name) { return d.findChild<QComboBox *>(name); }
void clickApply(SettingsDialog &d) { QTest::mouseClick(d.findChild<QPushButton *>("applyButton"), Qt::LeftButton); }

// The captured record: the port, then each parameter's value and the text shown for it.
QStringList fields(const SerialSettings &s)
{
    return {s.portName,   QString::number(s.baudRate), s.baudRateText, QString::number(s.dataBits),
            s.dataBitsText, QString::number(s.parity), s.parityText, QString::number(s.stopBits),
            s.stopBitsText, QString::number(s.flowControl), s.flowControlText};
}

} // namespace

class TstSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void portRecord()
    {
        QCOMPARE(SettingsDialog::portRecord("ttyUSB0", "FT232R", "FTDI", "A1", "/dev/ttyUSB0", 0x0403, 0),
                 QStringList({"ttyUSB0", "FT232R", "FTDI", "A1", "/dev/ttyUSB0", "403", "N/A"}));
        QCOMPARE(SettingsDialog::portRecord("COM3", "", "", "", "", 0, 0xABCD),
                 QStringList({"COM3", "N/A", "N/A", "N/A", "", "N/A", "abcd"}));
    }

    // Each list as "text=item data"; "Custom" carries no data.
    void parameterLists_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("baudRateBox") << 0 << QStringList{"9600=9600", "19200=19200", "38400=38400", "115200=115200",
                                                         "Custom"};
        QTest::newRow("dataBitsBox") << 1 << QStringList{"5=5", "6=6", "7=7", "8=8"};
        QTest::newRow("parityBox") << 2 << QStringList{"None=0", "Even=2", "Odd=3", "Mark=5", "Space=4"};
        QTest::newRow("stopBitsBox") << 3 << QStringList{"1=1", "1.5=3", "2=2"};
        QTest::newRow("flowControlBox") << 4 << QStringList{"None=0", "RTS/CTS=1", "XON/XOFF=2"};
    }
    void parameterLists()
    {
        QFETCH(int, field);
        QFETCH(QStringList, entries);
        SettingsDialog d;
        QComboBox *b = box(d, QTest::currentDataTag());
        QStringList shown;
        for (int i = 0; i < b->count(); ++i) {
            const QVariant data = b->itemData(i);
            shown << b->itemText(i) + (data.isValid() ? '=' + data.toString() : QString());
            if (data.isValid()) { // each entry is captured as its own value and text
                b->setCurrentIndex(i);
                clickApply(d);
                const QStringList valueAndText = fields(d.serialSettings()).mid(1 + 2 * field, 2);
                QCOMPARE(valueAndText, QStringList({data.toString(), b->itemText(i)}));
            }
        }
        QCOMPARE(shown, entries);
    }

    // The defaults are captured at construction, and closing the dialog
    // without Apply (title bar, then Escape) keeps them.
    void defaultsKeptWithoutApply()
    {
        SettingsDialog d;
        const auto infos = QSerialPortInfo::availablePorts();
        QComboBox *ports = box(d, "serialPortInfoListBox");
        QCOMPARE(ports->count(), infos.size() + 1); // every port the platform reports, then "Custom"
        QCOMPARE(ports->itemText(infos.size()), QString("Custom"));
        const QStringList defaults = {infos.isEmpty() ? QString() : infos[0].portName(), "9600", "9600", "8", "8",
                                      "0", "None", "1", "1", "0", "None"};
        QCOMPARE(fields(d.serialSettings()), defaults);
        QVERIFY(!box(d, "baudRateBox")->isEditable());
        QCOMPARE(d.styleSheet(), darkThemeStyleSheet());
        for (const int pick : {2, 1}) {
            d.show();
            for (QComboBox *b : d.findChildren<QComboBox *>())
                b->setCurrentIndex(std::min(pick, b->count() - 1));
            if (pick == 2)
                d.close();
            else
                QTest::keyClick(&d, Qt::Key_Escape);
            QVERIFY(!d.isVisible());
            QCOMPARE(fields(d.serialSettings()), defaults);
        }
    }

    void customBaudAndPort_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("baud");
        QTest::newRow("upper bound") << "4000000" << 4000000;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("just above the bound") << "4000001" << 0;
        QTest::newRow("group separator") << "250,000" << 250000;
    }
    void customBaudAndPort()
    {
        QFETCH(QString, typed);
        QFETCH(int, baud);
        SettingsDialog d;
        d.show();
        QComboBox *baudBox = box(d, "baudRateBox");
        // Every return to "Custom" gives a fresh, empty editor with its limit.
        for (int round = 0; round < 3; ++round) {
            QTest::keyClick(baudBox, Qt::Key_End);
            QCOMPARE(baudBox->currentText(), QString());
            auto *v = qobject_cast<const QIntValidator *>(baudBox->lineEdit()->validator());
            QVERIFY(v && v->bottom() == 0 && v->top() == 4000000);
            if (round == 2)
                break;
            QTest::keyClicks(baudBox->lineEdit(), "77");
            baudBox->setCurrentIndex(1);
            QVERIFY(!baudBox->isEditable());
        }
        QTest::keyClicks(baudBox->lineEdit(), typed);

        // Return must neither add a port entry nor lose the typed name.
        QComboBox *ports = box(d, "serialPortInfoListBox");
        const int count = ports->count();
        ports->setCurrentIndex(count - 1);
        QVERIFY(ports->isEditable());
        QTest::keyClicks(ports->lineEdit(), "/dev/ttyACM7");
        QTest::keyClick(ports->lineEdit(), Qt::Key_Return);
        QCOMPARE(ports->count(), count);
        d.show();
        clickApply(d);
        QVERIFY(!d.isVisible());
        const QString number = QString::number(baud);
        QCOMPARE(fields(d.serialSettings()).mid(0, 3), QStringList({"/dev/ttyACM7", number, number}));
    }
};

QTEST_MAIN(TstSettingsDialog)
#include "tst_settingsdialog.moc"
