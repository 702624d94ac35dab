#include "settings/StationSettings.h"

#include "settings/StationKeys.h"

#include "remote/BrokerSettings.h"

#include <QCoreApplication>

bool sameSerialSettings(const SerialSettings &a, const SerialSettings &b)
{
    // The texts follow from the values (Serial Settings words them).
    return a.portName == b.portName && a.baudRate == b.baudRate && a.dataBits == b.dataBits && a.parity == b.parity
           && a.stopBits == b.stopBits && a.flowControl == b.flowControl;
}

bool StationSettings::operator==(const StationSettings &other) const
{
    // Key by key, so no setting can be left out of the comparison.
    return StationKeys::differing(*this, other).isEmpty();
}

SerialSettings defaultSerialSettings(const QString &portName)
{
    // The texts are the ones the settings dialog shows for its defaults, under
    // its own translation context.
    SerialSettings settings;
    settings.portName = portName;
    settings.baudRate = QSerialPort::Baud9600;
    settings.baudRateText = QStringLiteral("9600");
    settings.dataBits = QSerialPort::Data8;
    settings.dataBitsText = QStringLiteral("8");
    settings.parity = QSerialPort::NoParity;
    settings.parityText = QCoreApplication::translate("SettingsDialog", "None");
    settings.stopBits = QSerialPort::OneStop;
    settings.stopBitsText = QStringLiteral("1");
    settings.flowControl = QSerialPort::NoFlowControl;
    settings.flowControlText = QCoreApplication::translate("SettingsDialog", "None");
    return settings;
}
