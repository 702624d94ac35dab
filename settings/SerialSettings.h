#pragma once

#include <QSerialPort>
#include <QString>

// The port and line parameters chosen in the settings dialog. Each parameter
// also keeps the text the operator saw, for the connection message. A record
// that was never filled holds zeros and empty texts.
struct SerialSettings
{
    QString portName;
    qint32 baudRate{};
    QString baudRateText;
    QSerialPort::DataBits dataBits{};
    QString dataBitsText;
    QSerialPort::Parity parity{};
    QString parityText;
    QSerialPort::StopBits stopBits{};
    QString stopBitsText;
    QSerialPort::FlowControl flowControl{};
    QString flowControlText;
};
