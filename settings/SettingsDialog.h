#pragma once

#include "settings/SerialSettings.h"

#include <QDialog>
#include <QString>
#include <QStringList>

QT_BEGIN_NAMESPACE
class QIntValidator;
QT_END_NAMESPACE

namespace Ui {
class SettingsDialog;
}

// Lets the operator pick the serial port and its line parameters. The dialog
// never touches the port; it only keeps the record captured on the last Apply
// (or at construction) for whoever opens the port next.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(QWidget *parent = nullptr);
    ~SettingsDialog() override;

    SerialSettings serialSettings() const;

    // Chooses "Custom", types portName into it and captures the settings, as
    // an operator would with Apply; the line parameters stay as they are.
    void selectCustomPort(const QString &portName);

    // Shows a remembered record in the lists and captures it, as an operator
    // picking the same values and clicking Apply would: the port's own entry
    // when the list has it, "Custom" with the name typed otherwise; a baud
    // rate the list lacks is typed under "Custom". A parameter the lists do
    // not know keeps its current choice.
    void selectSettings(const SerialSettings &settings);

    // The baud rate a text typed under "Custom" stands for: the number its
    // digits spell, or 0 for anything else.
    static qint32 customBaudRate(const QString &text);

    // The seven strings a port entry carries as item data: name, description,
    // manufacturer, serial number, system location, vendor id, product id.
    // Missing texts and zero ids read "N/A"; the location is kept as it is.
    static QStringList portRecord(const QString &name, const QString &description,
                                  const QString &manufacturer, const QString &serialNumber,
                                  const QString &systemLocation, quint16 vendorId,
                                  quint16 productId);

private slots:
    void showPortInfo(int idx);
    void apply();
    void checkCustomBaudRatePolicy(int idx);
    void checkCustomDevicePathPolicy(int idx);

private:
    void populateParameterBoxes();
    void populatePortList();
    void captureSettings();

    Ui::SettingsDialog *ui = nullptr;
    SerialSettings appliedSettings;
    QIntValidator *customBaudValidator = nullptr;
};
