#pragma once

#include "settings/StationSettings.h"

#include <QString>

// The remembered settings in an INI file. A missing file is a first start:
// defaults, and nothing to say. A file that cannot be read, is not text, or
// does not parse gives the defaults and one message; so do values that make
// no sense (those fall back one by one). Such a file is left alone until the
// operator changes a setting; the first save after that keeps a copy of it
// beside it (station.ini.bad) before writing afresh, so nothing typed by hand
// is lost.
class StationSettingsFile
{
public:
    // Larger than any settings file the panel writes; a file beyond it is not
    // read at all.
    static constexpr qint64 maxFileBytes = 256 * 1024;
    static constexpr int formatVersion = 1;

    explicit StationSettingsFile(const QString &path);

    QString path() const { return filePath; }

    StationSettings load();
    // After load(): empty, or the one message to show.
    QString problem() const { return loadProblem; }

    // Writes the remembered settings (never the ones a command line
    // overrode for this run). False, with the reason in error, when the file
    // could not be written.
    bool save(const StationSettings &settings, QString *error = nullptr);

    // Where the copy of a damaged file went on the last save, or empty.
    QString keptCopy() const { return keptCopyPath; }

private:
    QString copyName() const;
    bool keepDamagedCopy(QString *error);

    QString filePath;
    QString loadProblem;
    bool damaged = false;
    QString keptCopyPath;
};
