#pragma once

#include "band/AntennaRules.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// antennas.ini, the antenna rules as the operator writes them, beside
// bands.ini:
//
//   [Bands]
//   6=6m
//   3=20m 15m 10m
//   [Rules]
//   RefuseOffBand=true
//   [ReceiveOnly]
//   7=true
//
// [Bands] keys are antennas 1..8, each with the bands it may be used on, in
// bands.ini's names (any case, separated by blanks or commas); an antenna
// without a key may be used on every band. Lines that cannot be used are
// named in problems and ignored, but never so that an antenna becomes
// allowed where the line meant to restrict it: an unknown band name drops
// that name only, a receive-only mark or rule that is neither true nor false
// counts as true. Writing changes only the lines of what it writes and keeps
// every other line (comments, other groups, lines it cannot read) as it was.
class AntennaFile
{
public:
    // Larger files are not read.
    static constexpr qint64 maxBytes = 256 * 1024;
    // Problems named one by one; the rest are counted.
    static constexpr int maxProblems = 20;

    struct Contents
    {
        AntennaRules rules;
        QStringList problems;   // "line 4: unknown band '15x'; its other bands count"
        bool readable = true;   // false: the file is there but could not be read
    };

    explicit AntennaFile(const QString &path);
    QString path() const { return filePath; }

    // A missing file holds no rules and no problem.
    Contents load() const;
    // False, with the reason, when the file could not be written.
    bool save(const AntennaRules &rules, QString *error) const;

    static Contents parse(const QByteArray &text);
    // The text with the rules written into it.
    static QByteArray rewrite(const QByteArray &text, const AntennaRules &rules);

private:
    QString filePath;
};
