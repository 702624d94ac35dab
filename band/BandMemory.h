#pragma once

#include "band/BandPlan.h"

#include <QString>

#include <array>

// Which antenna the operator last chose on each band (positions 0..7, or
// noAntenna).
using BandAntennas = std::array<int, BandPlan::count>;

// The antenna per band, kept in a small INI file the operator may edit:
// one line per band such as "20m=3", antennas numbered 1..8 as on the panel.
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

    QString path() const { return filePath; }
    BandAntennas load() const;
    // False when the file could not be written.
    bool remember(int band, int position);
    bool forget(int band);

    static BandAntennas empty();

private:
    QString filePath;
};
