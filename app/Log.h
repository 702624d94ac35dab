#pragma once

#include <QString>

// The program's own lines on stderr, for an operator reading a terminal or a
// service manager's journal. Each is one line with a level. Under systemd
// (JOURNAL_STREAM set) a line starts with the journal's priority ("<3>",
// "<4>", "<6>") and the journal adds the time; elsewhere it carries the
// program's name and a timestamp. Secrets never come here.
namespace Log {

enum class Level { Error, Warning, Info };

// Writes one line; line breaks inside the text become blanks.
void write(Level level, const QString &text);

inline void error(const QString &text) { write(Level::Error, text); }
inline void warning(const QString &text) { write(Level::Warning, text); }
inline void info(const QString &text) { write(Level::Info, text); }

// From now on Qt's own messages (a missing runtime folder, a font, a
// plugin) are written as lines of the log with their level too, so a
// journal or a terminal never gets a line without one.
void takeQtMessages();
// Whether lines are written with their level (after takeQtMessages()): the
// program's other warnings then take the same form.
bool writesLeveledLines();

// The line as written, without its end of line, for the tests; journal
// says whether systemd's journal reads it, timestamp is the local time.
QString format(Level level, const QString &text, bool journal, const QString &timestamp);

} // namespace Log
