#pragma once

#include <QString>

// One serial port as the system lists it (what QSerialPortInfo reports), as
// plain data so the choice of a port can be made and tested without the
// system's list.
struct SerialPortEntry
{
    QString name;           // "ttyUSB0", "COM3"
    QString systemLocation; // "/dev/ttyUSB0", "\\.\COM3"
    QString serialNumber;   // empty when the adapter has none
    QString description;
    QString manufacturer;
    bool hasVendorId = false;
    quint16 vendorId = 0;
    bool hasProductId = false;
    quint16 productId = 0;

    bool hasModel() const { return hasVendorId && hasProductId; }
    bool sameModel(const SerialPortEntry &other) const
    {
        return hasModel() && other.hasModel() && vendorId == other.vendorId && productId == other.productId;
    }
    // A port is named by its port name or by its system location.
    bool isNamed(const QString &portName) const { return name == portName || systemLocation == portName; }
};
