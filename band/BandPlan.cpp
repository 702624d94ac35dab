#include "band/BandPlan.h"

namespace BandPlan {

namespace {

bool isBand(int band)
{
    return band >= 0 && band < count;
}

} // namespace

int bandAt(qint64 frequencyHz)
{
    for (int band = 0; band < count; ++band) {
        const Band &b = bands[static_cast<size_t>(band)];
        if (frequencyHz >= b.lowHz && frequencyHz <= b.highHz)
            return band;
    }
    return noBand;
}

int bandForKey(const QString &key)
{
    for (int band = 0; band < count; ++band) {
        if (key == QLatin1String(bands[static_cast<size_t>(band)].key))
            return band;
    }
    return noBand;
}

QString key(int band)
{
    return isBand(band) ? QString::fromLatin1(bands[static_cast<size_t>(band)].key) : QString();
}

QString name(int band)
{
    return isBand(band) ? QString::fromLatin1(bands[static_cast<size_t>(band)].name) : QString();
}

} // namespace BandPlan
