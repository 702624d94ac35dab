#include "settings/SettingsDialog.h"

#include "ui_SettingsDialog.h"

#include "panel/DarkTheme.h"

#include <QIntValidator>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QVariant>

#include <limits>

namespace {

// Fill-in for missing details inside a port record; a fixed text, never translated.
const QString blankString = QStringLiteral("N/A");

constexpr int maxCustomBaudRate = 4000000;

QString textOrBlank(const QString &text)
{
    return text.isEmpty() ? blankString : text;
}

QString idOrBlank(quint16 id)
{
    return id != 0 ? QString::number(id, 16) : blankString;
}

} // namespace

// A custom rate is the number its digits spell, whatever the locale; any
// other text (empty, signs, group separators, a number too big to be a rate)
// gives 0. The editor's validator only limits what can be typed: whether the
// port takes the rate is the port's answer when it opens.
qint32 SettingsDialog::customBaudRate(const QString &text)
{
    if (text.isEmpty())
        return 0;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        value = value * 10 + (c.unicode() - '0');
        if (value > std::numeric_limits<qint32>::max())
            return 0;
    }
    return static_cast<qint32>(value);
}

SettingsDialog::SettingsDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::SettingsDialog)
{
    ui->setupUi(this);
    setStyleSheet(darkThemeStyleSheet());

    customBaudValidator = new QIntValidator(0, maxCustomBaudRate, this);

    // Typed values must never turn into new list entries. For the port list
    // this matters beyond tidiness: an entry added on Return carries no record,
    // so choosing it would count as "Custom" and wipe the name just typed.
    ui->baudRateBox->setInsertPolicy(QComboBox::NoInsert);
    ui->serialPortInfoListBox->setInsertPolicy(QComboBox::NoInsert);

    // These must be in place before the lists are filled: the first entry of
    // each list sets up the editable state and the info labels.
    connect(ui->applyButton, SIGNAL(clicked()), this, SLOT(apply()));
    connect(ui->serialPortInfoListBox, SIGNAL(currentIndexChanged(int)),
            this, SLOT(showPortInfo(int)));
    connect(ui->baudRateBox, SIGNAL(currentIndexChanged(int)),
            this, SLOT(checkCustomBaudRatePolicy(int)));
    connect(ui->serialPortInfoListBox, SIGNAL(currentIndexChanged(int)),
            this, SLOT(checkCustomDevicePathPolicy(int)));

    populateParameterBoxes();
    populatePortList();

    // Whoever opens the port before the operator ever applies gets the defaults.
    captureSettings();
}

SettingsDialog::~SettingsDialog()
{
    delete ui;
}

SerialSettings SettingsDialog::serialSettings() const
{
    return appliedSettings;
}

QStringList SettingsDialog::portRecord(const QString &name, const QString &description,
                                       const QString &manufacturer,
                                       const QString &serialNumber,
                                       const QString &systemLocation, quint16 vendorId,
                                       quint16 productId)
{
    return {name,
            textOrBlank(description),
            textOrBlank(manufacturer),
            textOrBlank(serialNumber),
            systemLocation,
            idOrBlank(vendorId),
            idOrBlank(productId)};
}

void SettingsDialog::showPortInfo(int idx)
{
    if (idx == -1)
        return;

    // The "Custom" entry has no record, so every label falls back to "N/A".
    const QStringList list = ui->serialPortInfoListBox->itemData(idx).toStringList();
    const auto element = [&list](int i) { return list.count() > i ? list.at(i) : tr("N/A"); };

    ui->descriptionLabel->setText(tr("Description: %1").arg(element(1)));
    ui->manufacturerLabel->setText(tr("Manufacturer: %1").arg(element(2)));
    ui->serialNumberLabel->setText(tr("Serial number: %1").arg(element(3)));
    ui->locationLabel->setText(tr("Location: %1").arg(element(4)));
    ui->vidLabel->setText(tr("Vendor Identifier: %1").arg(element(5)));
    ui->pidLabel->setText(tr("Product Identifier: %1").arg(element(6)));
}

void SettingsDialog::apply()
{
    captureSettings();
    hide();
}

void SettingsDialog::checkCustomBaudRatePolicy(int idx)
{
    const bool isCustomBaudRate = !ui->baudRateBox->itemData(idx).isValid();
    ui->baudRateBox->setEditable(isCustomBaudRate);
    if (isCustomBaudRate) {
        ui->baudRateBox->clearEditText();
        // Leaving "Custom" throws the line editor away, so each new one needs
        // the validator again.
        ui->baudRateBox->lineEdit()->setValidator(customBaudValidator);
    }
}

void SettingsDialog::checkCustomDevicePathPolicy(int idx)
{
    const bool isCustomPath = !ui->serialPortInfoListBox->itemData(idx).isValid();
    ui->serialPortInfoListBox->setEditable(isCustomPath);
    if (isCustomPath)
        ui->serialPortInfoListBox->clearEditText();
}

void SettingsDialog::populateParameterBoxes()
{
    ui->baudRateBox->addItem(QStringLiteral("9600"), QSerialPort::Baud9600);
    ui->baudRateBox->addItem(QStringLiteral("19200"), QSerialPort::Baud19200);
    ui->baudRateBox->addItem(QStringLiteral("38400"), QSerialPort::Baud38400);
    ui->baudRateBox->addItem(QStringLiteral("115200"), QSerialPort::Baud115200);
    ui->baudRateBox->addItem(tr("Custom"));

    ui->dataBitsBox->addItem(QStringLiteral("5"), QSerialPort::Data5);
    ui->dataBitsBox->addItem(QStringLiteral("6"), QSerialPort::Data6);
    ui->dataBitsBox->addItem(QStringLiteral("7"), QSerialPort::Data7);
    ui->dataBitsBox->addItem(QStringLiteral("8"), QSerialPort::Data8);
    ui->dataBitsBox->setCurrentIndex(3);

    ui->parityBox->addItem(tr("None"), QSerialPort::NoParity);
    ui->parityBox->addItem(tr("Even"), QSerialPort::EvenParity);
    ui->parityBox->addItem(tr("Odd"), QSerialPort::OddParity);
    ui->parityBox->addItem(tr("Mark"), QSerialPort::MarkParity);
    ui->parityBox->addItem(tr("Space"), QSerialPort::SpaceParity);

    ui->stopBitsBox->addItem(QStringLiteral("1"), QSerialPort::OneStop);
    ui->stopBitsBox->addItem(tr("1.5"), QSerialPort::OneAndHalfStop);
    ui->stopBitsBox->addItem(QStringLiteral("2"), QSerialPort::TwoStop);

    ui->flowControlBox->addItem(tr("None"), QSerialPort::NoFlowControl);
    ui->flowControlBox->addItem(tr("RTS/CTS"), QSerialPort::HardwareControl);
    ui->flowControlBox->addItem(tr("XON/XOFF"), QSerialPort::SoftwareControl);
}

void SettingsDialog::populatePortList()
{
    ui->serialPortInfoListBox->clear();

    // Every port the platform reports, in its order, busy ones included.
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        const QStringList record = portRecord(info.portName(), info.description(),
                                              info.manufacturer(), info.serialNumber(),
                                              info.systemLocation(), info.vendorIdentifier(),
                                              info.productIdentifier());
        ui->serialPortInfoListBox->addItem(record.first(), record);
    }

    ui->serialPortInfoListBox->addItem(tr("Custom"));
}

void SettingsDialog::captureSettings()
{
    appliedSettings.portName = ui->serialPortInfoListBox->currentText();

    if (ui->baudRateBox->currentIndex() == 4) {
        appliedSettings.baudRate = customBaudRate(ui->baudRateBox->currentText());
    } else {
        appliedSettings.baudRate = ui->baudRateBox->currentData().toInt();
    }
    appliedSettings.baudRateText = QString::number(appliedSettings.baudRate);

    appliedSettings.dataBits =
        static_cast<QSerialPort::DataBits>(ui->dataBitsBox->currentData().toInt());
    appliedSettings.dataBitsText = ui->dataBitsBox->currentText();

    appliedSettings.parity =
        static_cast<QSerialPort::Parity>(ui->parityBox->currentData().toInt());
    appliedSettings.parityText = ui->parityBox->currentText();

    appliedSettings.stopBits =
        static_cast<QSerialPort::StopBits>(ui->stopBitsBox->currentData().toInt());
    appliedSettings.stopBitsText = ui->stopBitsBox->currentText();

    appliedSettings.flowControl =
        static_cast<QSerialPort::FlowControl>(ui->flowControlBox->currentData().toInt());
    appliedSettings.flowControlText = ui->flowControlBox->currentText();
}

void SettingsDialog::selectCustomPort(const QString &portName)
{
    // "Custom" is always the last entry of the port list.
    ui->serialPortInfoListBox->setCurrentIndex(ui->serialPortInfoListBox->count() - 1);
    ui->serialPortInfoListBox->setEditText(portName);
    captureSettings();
}

void SettingsDialog::selectSettings(const SerialSettings &settings)
{
    const int listed = ui->serialPortInfoListBox->findText(settings.portName, Qt::MatchExactly);
    if (listed >= 0 && ui->serialPortInfoListBox->itemData(listed).isValid()) {
        ui->serialPortInfoListBox->setCurrentIndex(listed);
    } else {
        ui->serialPortInfoListBox->setCurrentIndex(ui->serialPortInfoListBox->count() - 1);
        ui->serialPortInfoListBox->setEditText(settings.portName);
    }

    const int baud = ui->baudRateBox->findData(settings.baudRate);
    if (baud >= 0) {
        ui->baudRateBox->setCurrentIndex(baud);
    } else {
        ui->baudRateBox->setCurrentIndex(4);
        ui->baudRateBox->setEditText(QString::number(settings.baudRate));
    }

    const auto select = [](QComboBox *box, int value) {
        const int index = box->findData(value);
        if (index >= 0)
            box->setCurrentIndex(index);
    };
    select(ui->dataBitsBox, settings.dataBits);
    select(ui->parityBox, settings.parity);
    select(ui->stopBitsBox, settings.stopBits);
    select(ui->flowControlBox, settings.flowControl);
    captureSettings();
}
