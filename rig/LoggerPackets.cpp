#include "rig/LoggerPackets.h"

#include <QDataStream>
#include <QHash>
#include <QXmlStreamReader>

#include <limits>

namespace LoggerPackets {

namespace {

const QString radioInfoElement = QStringLiteral("RadioInfo");

bool isTrue(const QString &text)
{
    return text.trimmed().compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

// A frequency field in 10 Hz units; NaN when it is missing or not a number.
double frequencyField(const QHash<QString, QString> &fields, const QString &name)
{
    bool ok = false;
    const double units = fields.value(name).trimmed().toDouble(&ok);
    return ok ? units * radioInfoHzPerUnit : std::numeric_limits<double>::quiet_NaN();
}

} // namespace

std::optional<RigReading> parse(const QByteArray &datagram, int radio)
{
    std::optional<RigReading> reading = parseWsjtxStatus(datagram);
    if (!reading)
        reading = parseRadioInfo(datagram, radio);
    if (reading)
        reading->kind = RigReading::Kind::Logger;
    return reading;
}

std::optional<RigReading> parseRadioInfo(const QByteArray &datagram, int followedRadio)
{
    if (!datagram.contains("<RadioInfo"))
        return std::nullopt;
    QXmlStreamReader xml(datagram);
    if (!xml.readNextStartElement() || xml.name() != radioInfoElement)
        return std::nullopt;
    // The packet's own fields, one level deep; nested or unknown ones are skipped.
    QHash<QString, QString> fields;
    while (xml.readNextStartElement()) {
        const QString name = xml.name().toString();
        fields.insert(name, xml.readElementText(QXmlStreamReader::SkipChildElements));
    }
    if (xml.hasError())
        return std::nullopt;

    const QString radio = fields.value(QStringLiteral("RadioNr")).trimmed();
    const QString active = fields.value(QStringLiteral("ActiveRadioNr")).trimmed();
    const bool hasTransmitting = fields.contains(QStringLiteral("IsTransmitting"));
    const bool transmitting = isTrue(fields.value(QStringLiteral("IsTransmitting")));
    const QString source = QStringLiteral("RadioInfo %1 %2")
                               .arg(fields.value(QStringLiteral("StationName")).trimmed(), radio);

    if (followedRadio != activeRadio) {
        // Another radio has a switch of its own: none of its packets count.
        if (radio != QString::number(followedRadio))
            return std::nullopt;
    } else if (!radio.isEmpty() && !active.isEmpty() && radio != active) {
        // The operator works the active radio; any radio that transmits
        // still holds the switch.
        if (!hasTransmitting)
            return std::nullopt;
        return RigReading::none(source, transmitting);
    }

    RigReading reading = RigReading::at(source, frequencyField(fields, QStringLiteral("Freq")), transmitting);
    if (!reading.valid)
        reading = RigReading::at(source, frequencyField(fields, QStringLiteral("TXFreq")), transmitting);
    if (!reading.valid && !hasTransmitting)
        return std::nullopt;
    return reading;
}

std::optional<RigReading> parseWsjtxStatus(const QByteArray &datagram)
{
    QDataStream in(datagram);
    in.setByteOrder(QDataStream::BigEndian);
    quint32 magic = 0;
    quint32 schema = 0;
    quint32 type = 0;
    in >> magic >> schema >> type;
    if (in.status() != QDataStream::Ok || magic != wsjtxMagic || type != wsjtxStatusType)
        return std::nullopt;

    // Strings travel as UTF-8 byte arrays with a 32-bit length. Qt reads a
    // claimed length in bounded steps, so a lying length only ends the read.
    QByteArray id, mode, dxCall, report, txMode;
    quint64 dialFrequencyHz = 0;
    bool txEnabled = false;
    bool transmitting = false;
    in >> id >> dialFrequencyHz >> mode >> dxCall >> report >> txMode >> txEnabled >> transmitting;
    if (in.status() != QDataStream::Ok)
        return std::nullopt;
    return RigReading::at(QStringLiteral("WSJT-X %1").arg(QString::fromUtf8(id)),
                          static_cast<double>(dialFrequencyHz), transmitting);
}

} // namespace LoggerPackets
