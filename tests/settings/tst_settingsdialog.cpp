#include "settings/SettingsDialog.h"

#include <QAccessible>
#include <QComboBox>
#include <QIntValidator>
#include <QLabel>
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

    // A screen reader reads each list with the label in front of it (the
    // port list with its group's title); the labels read as before.
    void everyFieldIsLabelled()
    {
        SettingsDialog d;
        const QList<QPair<const char *, QString>> labelled{
            {"serialPortInfoListBox", "Select Serial Port"}, {"baudRateBox", "BaudRate:"},
            {"dataBitsBox", "Data bits:"},   {"parityBox", "Parity:"},
            {"stopBitsBox", "Stop bits:"},   {"flowControlBox", "Flow control:"}};
        for (const auto &field : labelled) {
            QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(box(d, field.first));
            QStringList labels;
            for (const auto &relation : iface->relations(QAccessible::Label))
                labels << relation.first->text(QAccessible::Name);
            QVERIFY2(labels.contains(field.second), qPrintable(field.first + (": " + labels.join(", "))));
        }
        QCOMPARE(d.findChild<QLabel *>("baudRateLabel")->text(), QString("BaudRate:"));
    }

    void portRecord()
    {
        QCOMPARE(SettingsDialog::portRecord("ttyUSB0", "FT232R", "FTDI", "A1", "/dev/ttyUSB0", 0x0403, 0),
                 QStringList({"ttyUSB0", "FT232R", "FTDI", "A1", "/dev/ttyUSB0", "403", "N/A"}));
        QCOMPARE(SettingsDialog::portRecord("COM3", "", "", "", "", 0, 0xABCD),
                 QStringList({"COM3", "N/A", "N/A", "N/A", "", "N/A", "abcd"}));
    }

    // The defaults are captured at construction; closing without Apply
    // (title bar or Escape) keeps the record. Apply takes each parameter as
    // its own value where a list's order is not its values' order.
    void capturedOnApplyOnly()
    {
        SettingsDialog d;
        const auto infos = QSerialPortInfo::availablePorts();
        const QStringList defaults = {infos.isEmpty() ? QString() : infos[0].portName(), "9600", "9600", "8", "8",
                                      "0", "None", "1", "1", "0", "None"};
        QCOMPARE(fields(d.serialSettings()), defaults);
        for (bool escape : {false, true}) {
            d.show();
            for (QComboBox *b : d.findChildren<QComboBox *>())
                b->setCurrentIndex(1);
            escape ? QTest::keyClick(&d, Qt::Key_Escape) : void(d.close());
            QVERIFY(!d.isVisible());
            QCOMPARE(fields(d.serialSettings()), defaults);
        }

        const QList<QPair<const char *, int>> picks{{"parityBox", 3}, {"stopBitsBox", 1}, {"flowControlBox", 2}};
        for (const auto &pick : picks)
            box(d, pick.first)->setCurrentIndex(pick.second);
        clickApply(d);
        QCOMPARE(fields(d.serialSettings()).mid(5), QStringList({"5", "Mark", "3", "1.5", "2", "XON/XOFF"}));
        box(d, "parityBox")->setCurrentIndex(4);
        clickApply(d);
        QCOMPARE(fields(d.serialSettings()).mid(5, 2), QStringList({"4", "Space"}));
    }

    void customBaudAndPort_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("baud");
        QTest::newRow("upper bound") << "4000000" << 4000000;
        QTest::newRow("empty") << "" << 0;
        // The editor lets this stand unfinished; the port decides at open.
        QTest::newRow("above the editor's bound") << "5000000" << 5000000;
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

    // A remembered record comes back whole, texts included, whether its port
    // and rate are in the lists or were typed; a parameter the lists do not
    // know leaves the choice as it was.
    void selectSettingsCapturesTheRecord()
    {
        SettingsDialog d;
        const SerialSettings typed{"/dev/ttyACM3", 250000, "250000", QSerialPort::Data7, "7", QSerialPort::EvenParity,
                                   "Even", QSerialPort::TwoStop, "2", QSerialPort::HardwareControl, "RTS/CTS"};
        d.selectSettings(typed);
        QCOMPARE(fields(d.serialSettings()), fields(typed));
        QVERIFY(box(d, "serialPortInfoListBox")->isEditable());

        SerialSettings listed{"/dev/ttyS9", 38400, "38400", QSerialPort::Data8, "8", QSerialPort::MarkParity,
                              "Mark", QSerialPort::OneAndHalfStop, "1.5", QSerialPort::SoftwareControl, "XON/XOFF"};
        const auto infos = QSerialPortInfo::availablePorts();
        if (!infos.isEmpty())
            listed.portName = infos.first().portName();
        d.selectSettings(listed);
        QCOMPARE(fields(d.serialSettings()), fields(listed));
        QCOMPARE(box(d, "baudRateBox")->isEditable(), false);

        SerialSettings unknown = listed;
        unknown.parity = QSerialPort::UnknownParity;
        d.selectSettings(unknown);
        QCOMPARE(fields(d.serialSettings()), fields(listed));
    }

    // Digits are the number they spell, in any locale; anything else is 0.
    void customBaudRateText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("baud");
        QTest::newRow("digits") << "9600" << 9600;
        QTest::newRow("leading zero") << "019200" << 19200;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("too large") << "2147483648" << 0;
        QTest::newRow("group separator") << "9,600" << 0;
        QTest::newRow("blank") << " 9600" << 0;
        QTest::newRow("sign") << "+9600" << 0;
        QTest::newRow("other digits") << QString::fromUtf8("\u0669\u0666") << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void customBaudRateText()
    {
        QFETCH(QString, text);
        QFETCH(int, baud);
        QLocale::setDefault(QLocale(QLocale::German));
        QCOMPARE(SettingsDialog::customBaudRate(text), baud);
        QLocale::setDefault(QLocale::c());
    }
};

QTEST_MAIN(TstSettingsDialog)
#include "tst_settingsdialog.moc"
