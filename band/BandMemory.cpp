#include "band/BandMemory.h"

#include "panel/PanelState.h"

#include <QIODevice>
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

// One "20m=3" line a band, from the lowest band up; anything that is not a
// band is dropped.
bool writeBandLines(QIODevice &device, const QSettings::SettingsMap &map)
{
    QByteArray text;
    for (int band = 0; band < BandPlan::count; ++band) {
        const QString key = BandPlan::key(band);
        if (map.contains(key))
            text += (key + QLatin1Char('=') + map.value(key).toString() + QLatin1Char('\n')).toUtf8();
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
    const QSettings file(filePath, bandFileFormat());
    for (int band = 0; band < BandPlan::count; ++band) {
        bool ok = false;
        const int number = file.value(BandPlan::key(band)).toString().trimmed().toInt(&ok);
        const int position = number - firstAntennaNumber;
        if (ok && isPosition(position))
            antennas[static_cast<size_t>(band)] = position;
    }
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
