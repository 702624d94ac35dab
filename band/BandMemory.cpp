#include "band/BandMemory.h"

#include "panel/PanelState.h"

#include <QSettings>
#include <QStandardPaths>

namespace {

// Antennas are numbered from 1 in the file, as on the panel's keys.
constexpr int firstAntennaNumber = 1;

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
    const QSettings file(filePath, QSettings::IniFormat);
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
    QSettings file(filePath, QSettings::IniFormat);
    file.setValue(BandPlan::key(band), position + firstAntennaNumber);
    file.sync();
    // A file with junk lines reads as a format error but is written all the
    // same; only a failed write loses the choice.
    return file.status() != QSettings::AccessError;
}
