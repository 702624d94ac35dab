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

// One "20m=3" line a band, from the lowest band up; anything that is not a
// band with an antenna 1..8 is dropped, as it was ignored when read.
bool writeBandLines(QIODevice &device, const QSettings::SettingsMap &map)
{
    QByteArray text;
    for (int band = 0; band < BandPlan::count; ++band) {
        const QString key = BandPlan::key(band);
        const int position = positionFrom(map.value(key));
        if (position != BandMemory::noAntenna)
            text += QStringLiteral("%1=%2\n").arg(key).arg(position + firstAntennaNumber).toUtf8();
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

BandAntennas BandMemory::load() const
{
    BandAntennas antennas = empty();
    // A named pipe or a device would hold the panel up waiting for data.
    const QFileInfo info(filePath);
    if (info.exists() && !info.isFile())
        return antennas;
    const QSettings file(filePath, bandFileFormat());
    for (int band = 0; band < BandPlan::count; ++band)
        antennas[static_cast<size_t>(band)] = positionFrom(file.value(BandPlan::key(band)));
    return antennas;
}

bool BandMemory::remember(int band, int position)
{
    if (BandPlan::key(band).isEmpty() || !isPosition(position))
        return false;
    QSettings file(filePath, bandFileFormat());
    file.setValue(BandPlan::key(band), position + firstAntennaNumber);
    file.sync();
    return file.status() == QSettings::NoError;
}

bool BandMemory::forget(int band)
{
    if (BandPlan::key(band).isEmpty())
        return false;
    QSettings file(filePath, bandFileFormat());
    file.remove(BandPlan::key(band));
    file.sync();
    return file.status() == QSettings::NoError;
}
