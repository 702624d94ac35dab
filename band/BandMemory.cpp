#include "band/BandMemory.h"

#include "panel/PanelState.h"

#include <QFileInfo>
#include <QIODevice>
#include <QVariant>
#include <QSettings>
#include <QStandardPaths>

namespace {

// Antennas are numbered from 1 in the file, as on the panel's keys.
constexpr int firstAntennaNumber = 1;

// "160m.rx": the receive antenna of a band remembered with split.
QString receiveKey(int band)
{
    return BandPlan::key(band) + QStringLiteral(".rx");
}

// The file as people write it: "key=value" lines, whatever their case and
// blanks, under any [section] or none, with a byte order mark or not.
// Comments and lines that are no setting are skipped.
bool readBandLines(QIODevice &device, QSettings::SettingsMap &map)
{
    QByteArray content = device.readAll();
    if (content.startsWith("\xEF\xBB\xBF"))
        content.remove(0, 3);
    for (const QByteArray &raw : content.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const int equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#'))
            || line.startsWith(QLatin1Char('[')))
            continue;
        map.insert(line.left(equals).trimmed().toLower(), line.mid(equals + 1).trimmed());
    }
    return true;
}

// The position an antenna number in the file names, or noAntenna.
int positionFrom(const QVariant &value)
{
    bool ok = false;
    const int position = value.toString().trimmed().toInt(&ok) - firstAntennaNumber;
    return ok && isPosition(position) ? position : BandMemory::noAntenna;
}

// One "20m=3" line a band, from the lowest band up, with its "20m.rx" line
// after it when split was used there; anything that is not a band with an
// antenna 1..8 is dropped, as it was ignored when read.
bool writeBandLines(QIODevice &device, const QSettings::SettingsMap &map)
{
    QByteArray text;
    for (int band = 0; band < BandPlan::count; ++band) {
        const QString key = BandPlan::key(band);
        const int position = positionFrom(map.value(key));
        if (position == BandMemory::noAntenna)
            continue;
        text += QStringLiteral("%1=%2\n").arg(key).arg(position + firstAntennaNumber).toUtf8();
        const int receive = positionFrom(map.value(receiveKey(band)));
        if (receive != BandMemory::noAntenna && receive != position)
            text += QStringLiteral("%1=%2\n").arg(receiveKey(band)).arg(receive + firstAntennaNumber).toUtf8();
    }
    return device.write(text) == text.size();
}

QSettings::Format bandFileFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("ini"), readBandLines, writeBandLines);
    return format;
}

} // namespace

BandMemory::BandMemory(const QString &path)
    : filePath(path)
{
}

QString BandMemory::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/tqx5r-panel/bands.ini");
}

BandAntennas BandMemory::empty()
{
    BandAntennas antennas;
    antennas.fill(noAntenna);
    return antennas;
}

BandMemory::Setups BandMemory::loadSetups() const
{
    Setups setups{empty(), empty()};
    // A named pipe or a device would hold the panel up waiting for data.
    const QFileInfo info(filePath);
    if (info.exists() && !info.isFile())
        return setups;
    const QSettings file(filePath, bandFileFormat());
    for (int band = 0; band < BandPlan::count; ++band) {
        const auto b = static_cast<size_t>(band);
        const int position = positionFrom(file.value(BandPlan::key(band)));
        const int receive = positionFrom(file.value(receiveKey(band)));
        // A receive line alone, or naming the same antenna, is no split.
        if (position != noAntenna && receive != noAntenna && receive != position) {
            setups.antennas[b] = receive;
            setups.splitTx[b] = position;
        } else {
            setups.antennas[b] = position;
        }
    }
    return setups;
}

bool BandMemory::remember(int band, int position, int splitTx)
{
    if (BandPlan::key(band).isEmpty() || !isPosition(position))
        return false;
    QSettings file(filePath, bandFileFormat());
    if (isPosition(splitTx) && splitTx != position) {
        file.setValue(BandPlan::key(band), splitTx + firstAntennaNumber);
        file.setValue(receiveKey(band), position + firstAntennaNumber);
    } else {
        file.setValue(BandPlan::key(band), position + firstAntennaNumber);
        file.remove(receiveKey(band));
    }
    file.sync();
    return file.status() == QSettings::NoError;
}

bool BandMemory::forget(int band)
{
    if (BandPlan::key(band).isEmpty())
        return false;
    QSettings file(filePath, bandFileFormat());
    file.remove(BandPlan::key(band));
    file.remove(receiveKey(band));
    file.sync();
    return file.status() == QSettings::NoError;
}
