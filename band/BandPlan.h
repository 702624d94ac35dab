#pragma once

#include <QString>
#include <QtGlobal>

#include <array>

// The amateur bands from 2200 m to 70 cm, with edges wide enough for all
// three IARU regions. Bands are numbered 0..count-1 from the lowest; noBand is none.
namespace BandPlan {

struct Band
{
    const char *key;    // "20m": the memory file's key and the name other features see
    const char *name;   // "20 m": what the operator reads
    qint64 lowHz;       // both edges belong to the band
    qint64 highHz;
};

constexpr int noBand = -1;

constexpr std::array<Band, 17> bands{{
    {"2200m", "2200 m", 135700, 137800},
    {"630m", "630 m", 472000, 479000},
    {"160m", "160 m", 1800000, 2000000},
    {"80m", "80 m", 3500000, 4000000},
    {"60m", "60 m", 5250000, 5450000},
    {"40m", "40 m", 7000000, 7300000},
    {"30m", "30 m", 10100000, 10150000},
    {"20m", "20 m", 14000000, 14350000},
    {"17m", "17 m", 18068000, 18168000},
    {"15m", "15 m", 21000000, 21450000},
    {"12m", "12 m", 24890000, 24990000},
    {"10m", "10 m", 28000000, 29700000},
    {"6m", "6 m", 50000000, 54000000},
    {"4m", "4 m", 69900000, 70500000},
    {"2m", "2 m", 144000000, 148000000},
    {"1.25m", "1.25 m", 222000000, 225000000},
    {"70cm", "70 cm", 420000000, 450000000},
}};

constexpr int count = static_cast<int>(bands.size());

// The band the frequency is in, or noBand.
int bandAt(qint64 frequencyHz);
// noBand for a key that names no band.
int bandForKey(const QString &key);
QString key(int band);   // empty for noBand
QString name(int band);  // empty for noBand

} // namespace BandPlan
