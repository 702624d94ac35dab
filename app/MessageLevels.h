#pragma once

#include "app/Log.h"

#include <QList>
#include <QString>

// The program's one table of what each of its messages is: an error, a
// warning, or information. Every status text and every line a feature asks
// to log is written with the level this table gives it, so a service
// manager's journal files it right (journalctl -p warning shows every
// warning and error). Messages are matched by their wording, "%1" standing
// for any text; anything not in the table is information.
namespace MessageLevels {

struct Entry
{
    Log::Level level;
    QString wording;   // as the program words it, with %1, %2...
};

const QList<Entry> &table();

// The level of a message as written.
Log::Level of(const QString &text);

// At least the given level: a line logged as a warning stays one.
Log::Level atLeast(Log::Level level, const QString &text);

} // namespace MessageLevels
