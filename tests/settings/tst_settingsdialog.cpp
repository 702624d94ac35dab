#include "panel/DarkTheme.h"
#include "settings/SettingsDialog.h"

#include <QComboBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QtTest>

namespace {

QComboBox *box(SettingsDialog &d, const char *name) { return d.findChild<QComboBox *>(name); }

QStringList labelTexts(SettingsDialog &d)
{
    QStringList texts;
    for (const char *name : {"descriptionLabel", "manufacturerLabel", "serialNumberLabel",
                             "locationLabel", "vidLabel", "pidLabel"})
        texts << d.findChild<QLabel *>(name)->text();
    return texts;
}

QStringList labelsFor(const QStringList &r)
{
    return {"Description: " + r[1], "Manufacturer: " + r[2], "Serial number: " + r[3],
            "Location: " + r[4], "Vendor Identifier: " + r[5], "Product Identifier: " + r[6]};
}

const QStringList noRecord = {"", "N/A", "N/A", "N/A", "N/A", "N/A", "N/A"};

void clickApply(SettingsDialog &d)
{
    QTest::mouseClick(d.findChild<QPushButton *>("applyButton"), Qt::LeftButton);
}

const char *const parameterBoxes[] = {"baudRateBox", "dataBitsBox", "parityBox", "stopBitsBox",
                                      "flowControlBox"};

// The value and text the record holds for the parameter of the named box.
QPair<int, QString> captured(const SerialSettings &s, const QByteArray &boxName)
{
    if (boxName == "dataBitsBox") return {s.dataBits, s.dataBitsText};
    if (boxName == "parityBox") return {s.parity, s.parityText};
    if (boxName == "stopBitsBox") return {s.stopBits, s.stopBitsText};
    if (boxName == "flowControlBox") return {s.flowControl, s.flowControlText};
    return {s.baudRate, s.baudRateText};
}

} // namespace

class TstSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void portRecordAndLabels_data()
    {
        QTest::addColumn<QStringList>("in");
        QTest::addColumn<int>("vid");
        QTest::addColumn<int>("pid");
        QTest::addColumn<QStringList>("record");
        QTest::newRow("complete")
            << QStringList{"ttyUSB0", "FT232R", "FTDI", "A1", "/dev/ttyUSB0"} << 0x0403 << 0x6001
            << QStringList{"ttyUSB0", "FT232R", "FTDI", "A1", "/dev/ttyUSB0", "403", "6001"};
        QTest::newRow("blanks, zero pid") << QStringList{"COM3", "", "", "", ""} << 0xABCD << 0
            << QStringList{"COM3", "N/A", "N/A", "N/A", "", "abcd", "N/A"};
        QTest::newRow("zero vid") << QStringList{"COM4", "d", "m", "s", "\\\\.\\COM4"} << 0 << 0x0001
            << QStringList{"COM4", "d", "m", "s", "\\\\.\\COM4", "N/A", "1"};
    }
    void portRecordAndLabels()
    {
        QFETCH(QStringList, in);
        QFETCH(int, vid);
        QFETCH(int, pid);
        QFETCH(QStringList, record);
        QCOMPARE(SettingsDialog::portRecord(in[0], in[1], in[2], in[3], in[4], vid, pid), record);

        SettingsDialog d;
        QComboBox *ports = box(d, "serialPortInfoListBox");
        ports->insertItem(0, record[0], record);
        ports->setCurrentIndex(ports->count() - 1);
        ports->setCurrentIndex(0);
        QCOMPARE(labelTexts(d), labelsFor(record));
        QVERIFY(!ports->isEditable());

        ports->setCurrentIndex(ports->count() - 1);
        QVERIFY(ports->isEditable());
        QCOMPARE(ports->currentText(), QString());
        QCOMPARE(labelTexts(d), labelsFor(noRecord));
    }

    void parameterLists_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QVariantList>("data");
        QTest::newRow("baud") << QByteArray("baudRateBox")
                              << QStringList{"9600", "19200", "38400", "115200", "Custom"}
                              << QVariantList{9600, 19200, 38400, 115200, QVariant()};
        QTest::newRow("data bits") << QByteArray("dataBitsBox") << QStringList{"5", "6", "7", "8"}
                                   << QVariantList{5, 6, 7, 8};
        QTest::newRow("parity") << QByteArray("parityBox")
                                << QStringList{"None", "Even", "Odd", "Mark", "Space"}
                                << QVariantList{0, 2, 3, 5, 4};
        QTest::newRow("stop bits") << QByteArray("stopBitsBox") << QStringList{"1", "1.5", "2"}
                                   << QVariantList{1, 3, 2};
        QTest::newRow("flow") << QByteArray("flowControlBox")
                              << QStringList{"None", "RTS/CTS", "XON/XOFF"} << QVariantList{0, 1, 2};
    }
    void parameterLists()
    {
        QFETCH(QByteArray, name);
        QFETCH(QStringList, texts);
        QFETCH(QVariantList, data);
        SettingsDialog d;
        QComboBox *b = box(d, name);
        QCOMPARE(b->count(), texts.size());
        // Each entry is captured as its own value and text; "Custom" carries nothing.
        for (int i = 0; i < texts.size(); ++i) {
            QCOMPARE(b->itemText(i), texts[i]);
            QCOMPARE(b->itemData(i).isValid(), data[i].isValid());
            if (!data[i].isValid())
                continue;
            b->setCurrentIndex(i);
            clickApply(d);
            QCOMPARE(captured(d.serialSettings(), name), qMakePair(data[i].toInt(), texts[i]));
        }
    }

    void defaultsAfterConstruction()
    {
        SettingsDialog d;
        const auto infos = QSerialPortInfo::availablePorts();
        QComboBox *ports = box(d, "serialPortInfoListBox");
        QCOMPARE(ports->count(), infos.size() + 1);
        QCOMPARE(ports->itemText(infos.size()), QString("Custom"));
        QCOMPARE(ports->currentIndex(), 0);
        QCOMPARE(ports->isEditable(), infos.isEmpty());
        const SerialSettings s = d.serialSettings();
        QCOMPARE(s.portName, infos.isEmpty() ? QString() : infos[0].portName());
        if (!infos.isEmpty()) {
            const QSerialPortInfo &p = infos[0];
            QCOMPARE(labelTexts(d), labelsFor(SettingsDialog::portRecord(
                p.portName(), p.description(), p.manufacturer(), p.serialNumber(),
                p.systemLocation(), p.vendorIdentifier(), p.productIdentifier())));
        } else {
            QCOMPARE(labelTexts(d), labelsFor(noRecord));
        }

        const QList<QPair<int, QString>> expected = {
            {9600, "9600"}, {QSerialPort::Data8, "8"}, {QSerialPort::NoParity, "None"},
            {QSerialPort::OneStop, "1"}, {QSerialPort::NoFlowControl, "None"}};
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(captured(s, parameterBoxes[i]), expected[i]);
        QVERIFY(!box(d, "baudRateBox")->isEditable());
        QCOMPARE(d.styleSheet(), darkThemeStyleSheet());
    }

    void customBaudRate_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("baud");
        QTest::newRow("upper bound") << "4000000" << 4000000;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("just above the bound") << "4000001" << 0;
        QTest::newRow("group separator") << "250,000" << 250000;
    }
    void customBaudRate()
    {
        QFETCH(QString, typed);
        QFETCH(int, baud);
        SettingsDialog d;
        d.show();
        QComboBox *baudBox = box(d, "baudRateBox");

        // Every return to "Custom" must give a fresh, empty and limited editor.
        for (int round = 0; round < 2; ++round) {
            QTest::keyClick(baudBox, Qt::Key_End);
            QVERIFY(baudBox->isEditable());
            QCOMPARE(baudBox->currentText(), QString());
            auto *v = qobject_cast<const QIntValidator *>(baudBox->lineEdit()->validator());
            QVERIFY(v);
            QCOMPARE(qMakePair(v->bottom(), v->top()), qMakePair(0, 4000000));
            QTest::keyClicks(baudBox->lineEdit(), "77");
            baudBox->setCurrentIndex(1);
            QVERIFY(!baudBox->isEditable());
        }
        QTest::keyClick(baudBox, Qt::Key_End);
        QTest::keyClicks(baudBox->lineEdit(), typed);
        clickApply(d);
        QVERIFY(!d.isVisible());
        QCOMPARE(captured(d.serialSettings(), "baudRateBox"),
                 qMakePair(baud, QString::number(baud)));
    }

    void customPortName()
    {
        SettingsDialog d;
        d.show();
        QComboBox *ports = box(d, "serialPortInfoListBox");
        const int count = ports->count();
        ports->setCurrentIndex(count - 1);
        QTest::keyClicks(ports->lineEdit(), "/dev/ttyACM7");
        // Return must neither add an entry nor lose the typed name.
        QTest::keyClick(ports->lineEdit(), Qt::Key_Return);
        QCOMPARE(ports->count(), count);
        QCOMPARE(ports->currentText(), QString("/dev/ttyACM7"));
        d.show();
        clickApply(d);
        QCOMPARE(d.serialSettings().portName, QString("/dev/ttyACM7"));
    }

    void closingWithoutApply()
    {
        SettingsDialog d;
        const SerialSettings before = d.serialSettings();
        // First the title bar's close, then Escape; the choices stay on screen only.
        for (const int pick : {2, 1}) {
            d.show();
            for (const char *name : parameterBoxes)
                box(d, name)->setCurrentIndex(pick);
            if (pick == 2)
                d.close();
            else
                QTest::keyClick(&d, Qt::Key_Escape);
            QVERIFY(!d.isVisible());
            for (const char *name : parameterBoxes) {
                QCOMPARE(captured(d.serialSettings(), name), captured(before, name));
                QCOMPARE(box(d, name)->currentIndex(), pick);
            }
        }
    }
};

QTEST_MAIN(TstSettingsDialog)
#include "tst_settingsdialog.moc"
