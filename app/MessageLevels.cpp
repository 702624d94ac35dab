#include "app/MessageLevels.h"

#include <QRegularExpression>

namespace MessageLevels {

namespace {

using Log::Level;

QList<Entry> makeTable()
{
    return {
        // The switch and its port.
        {Level::Error, QStringLiteral("Open error")},
        {Level::Error, QStringLiteral("The connection to %1 was lost: %2")},
        {Level::Warning, QStringLiteral("Connection to %1 lost; reconnecting…")},
        {Level::Warning, QStringLiteral("Cannot open %1: %2")},
        {Level::Warning, QStringLiteral("%1 opened but the TQX-5R did not answer; retrying…")},
        {Level::Warning, QStringLiteral("No answer from TQX-5R")},
        {Level::Warning, QStringLiteral("Not connected to TQX-5R")},
        {Level::Warning, QStringLiteral("Too many commands waiting for the TQX-5R; a command was dropped")},
        // Remembered settings.
        {Level::Error, QStringLiteral("Cannot save the settings%1")},
        {Level::Error, QStringLiteral("Cannot write the settings file %1")},
        {Level::Error, QStringLiteral("Cannot save the captions%1")},
        {Level::Error, QStringLiteral("Cannot write %1")},
        {Level::Error, QStringLiteral("Cannot read %1: %2")},
        {Level::Warning, QStringLiteral("The remembered settings could not all be read%1")},
        {Level::Warning, QStringLiteral("Cannot read the settings file %1")},
        {Level::Warning, QStringLiteral("Some values in the settings file %1")},
        {Level::Warning, QStringLiteral("The last connection in the settings file %1")},
        {Level::Warning, QStringLiteral("The remembered broker settings cannot be used%1")},
        // Band follow.
        {Level::Error, QStringLiteral("Cannot save the band memory%1")},
        {Level::Warning, QStringLiteral("Rig not answering")},
        {Level::Warning, QStringLiteral("Band follow held: %1")},
        {Level::Warning, QStringLiteral("Cannot listen for logger %1")},
        {Level::Warning, QStringLiteral("Logger packets from %1 are not taken%2")},
        {Level::Warning, QStringLiteral("Logger port '%1' is not a UDP port%2")},
        {Level::Warning, QStringLiteral("Allowed sender '%1' is not an address%2")},
        {Level::Warning, QStringLiteral("Hamlib model %1 is not known here%2")},
        {Level::Warning, QStringLiteral("Band follow runs on the panel that owns the switch%1")},
        // Antennas and their bands.
        {Level::Warning, QStringLiteral("Antenna %1 is not for %2")},
        {Level::Warning, QStringLiteral("Antenna %1 is receive only%2")},
        {Level::Warning, QStringLiteral("Antenna %1 in use is not for %2")},
        {Level::Warning, QStringLiteral("Transmitting on Antenna %1, which is %2")},
        {Level::Warning, QStringLiteral("Some lines of %1 are ignored%2")},
        {Level::Warning, QStringLiteral("Cannot read the antenna rules%1")},
        {Level::Error, QStringLiteral("Cannot save the antenna rules%1")},
        {Level::Warning, QStringLiteral("The panel that owns the switch warns: %1")},
        // The broker.
        {Level::Warning, QStringLiteral("Lost the broker %1: %2; reconnecting")},
        {Level::Warning, QStringLiteral("Cannot reach the broker %1: %2; trying again")},
        {Level::Error, QStringLiteral("The broker %1 refused the login: %2")},
        {Level::Error, QStringLiteral("The broker %1 refused the subscription to %2")},
        {Level::Warning, QStringLiteral("The broker %1 refused to take %2: %3")},
        {Level::Error, QStringLiteral("TLS with %1: %2")},
        {Level::Warning, QStringLiteral("A command could not be sent: %1")},
        {Level::Warning, QStringLiteral("The panel that owns the switch refused a command: %1")},
        // Options read at start (a bad value turns a feature off for the run).
        {Level::Warning, QStringLiteral("--%1")},
        {Level::Warning, QStringLiteral("The broker password %1")},
        {Level::Warning, QStringLiteral("The password file %1")},
        {Level::Warning, QStringLiteral("Band follow hears nothing%1")},
        {Level::Warning, QStringLiteral("Band follow never hears%1")},
        {Level::Warning, QStringLiteral("Starting without band follow.")},
        {Level::Warning, QStringLiteral("Give either --mqtt or --remote%1")},
        {Level::Warning, QStringLiteral("Cannot read the %1 file%2")},
        {Level::Warning, QStringLiteral("Cannot read the file given with %1")},
        {Level::Warning, QStringLiteral("A broker password needs --mqtt-user%1")},
        {Level::Warning, QStringLiteral("'%1' is not a broker address%2")},
        {Level::Warning, QStringLiteral("'%1' cannot be a %2")},
    };
}

// "Cannot open %1: %2; retrying…" as a pattern matching the whole text.
QRegularExpression patternOf(const QString &wording)
{
    QStringList pieces;
    for (const QString &piece : wording.split(QRegularExpression(QStringLiteral("%\\d"))))
        pieces << QRegularExpression::escape(piece);
    const QString pattern = pieces.join(QStringLiteral(".*"));
    return QRegularExpression(QStringLiteral("\\A(?:%1)\\z").arg(pattern),
                              QRegularExpression::DotMatchesEverythingOption);
}

struct Compiled
{
    Level level;
    QRegularExpression pattern;
};

const QList<Compiled> &compiled()
{
    static const QList<Compiled> patterns = [] {
        QList<Compiled> all;
        for (const Entry &entry : table())
            all.append({entry.level, patternOf(entry.wording)});
        return all;
    }();
    return patterns;
}

int rank(Level level)
{
    switch (level) {
    case Level::Error:
        return 2;
    case Level::Warning:
        return 1;
    case Level::Info:
        break;
    }
    return 0;
}

} // namespace

const QList<Entry> &table()
{
    static const QList<Entry> entries = makeTable();
    return entries;
}

Log::Level of(const QString &text)
{
    for (const Compiled &entry : compiled()) {
        if (entry.pattern.match(text).hasMatch())
            return entry.level;
    }
    return Level::Info;
}

Log::Level atLeast(Log::Level level, const QString &text)
{
    const Level found = of(text);
    return rank(found) > rank(level) ? found : level;
}

} // namespace MessageLevels
