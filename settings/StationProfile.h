#pragma once

#include <QString>

// Where a profile keeps its files. The default profile lives in the
// configuration folder itself ($XDG_CONFIG_HOME/tqx5r-panel/ on Linux, where
// the band memory has always been); a named one in a folder of its own below
// it, so a station with two switches runs two panels side by side:
//
//   tqx5r-panel/station.ini            remembered settings
//   tqx5r-panel/bands.ini              antenna per band
//   tqx5r-panel/antennas.ini           the bands each antenna is for
//   tqx5r-panel/settings.cfg           key captions
//   tqx5r-panel/profiles/NAME/...      the same three files for --profile NAME
class StationProfile
{
public:
    static constexpr int maxNameLength = 64;

    struct Paths
    {
        QString folder;
        QString settingsFile;
        QString bandMemoryFile;
        QString antennasFile;
        QString captionsFile;
    };

    // Empty for a good name, else why it cannot be one. A name is 1 to 64
    // letters, digits, '-', '_' or '.', not starting with '.', and no name a
    // Windows folder cannot have ("CON", "nul.txt", ...). Names differing in
    // case alone are different profiles where the file system tells them
    // apart.
    static QString nameProblem(const QString &name);

    // The files of a profile; an empty name is the default profile. The name
    // must have passed nameProblem().
    static Paths paths(const QString &name = QString());

    // The configuration folder: QStandardPaths' generic configuration folder
    // plus "/tqx5r-panel".
    static QString configFolder();
};
