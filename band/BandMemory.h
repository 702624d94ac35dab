#pragma once

#include "band/BandPlan.h"

#include <QString>

#include <array>

// Which antenna the operator last chose on each band (positions 0..7, or
// noAntenna).
using BandAntennas = std::array<int, BandPlan::count>;

// The antenna per band, kept in a small INI file the operator may edit:
// one line per band such as "20m=3", antennas numbered 1..8 as on the panel.
// A band where the operator used split has a second line naming the receive
// antenna: "160m=2" with "160m.rx=6" is antenna 6 with split, TX on 2 (so
// whatever reads only the first line takes the antenna it may transmit on).
// Keys are read whatever their case; lines that name no band or no antenna
// are ignored. Writing a choice rewrites the file with every good band line
// it holds, in band order; the lines that were ignored are dropped.
class BandMemory
{
public:
    static constexpr int noAntenna = -1;

    explicit BandMemory(const QString &path);

    // $XDG_CONFIG_HOME/tqx5r-panel/bands.ini, or the system's equivalent.
    static QString defaultPath();

    // Each band's antenna (the receive antenna with split) and split TX
    // antenna (noAntenna without split).
    struct Setups
    {
        BandAntennas antennas;
        BandAntennas splitTx;
    };

    QString path() const { return filePath; }
    BandAntennas load() const { return loadSetups().antennas; }
    Setups loadSetups() const;
    // False when the file could not be written.
    bool remember(int band, int position, int splitTx = noAntenna);
    bool forget(int band);

    static BandAntennas empty();

private:
    QString filePath;
};
