#include "app/CommandLine.h"

#include <QCoreApplication>

#include <cstdio>

CommandLine::CommandLine()
    : helpOption(commandLineParser.addHelpOption())
    , versionOption(commandLineParser.addVersionOption())
    , portOption(QStringLiteral("port"),
                 QStringLiteral("Connect at start to the serial port NAME (e.g. /dev/ttyUSB0 or "
                                "COM3), at 9600 baud, 8 data bits, no parity, 1 stop bit, no flow "
                                "control."),
                 QStringLiteral("NAME"))
{
    commandLineParser.setApplicationDescription(
        QStringLiteral("Control panel for the TQX-5R remote antenna switch."));
    commandLineParser.addOption(portOption);
}

namespace {

// Whether name was typed as an option of its own ("--name", "--name=...",
// "-n"), rather than as one letter of a word after a single dash, which the
// parser takes apart letter by letter.
bool typedWhole(const QString &name, const QStringList &arguments)
{
    const QString longForm = QStringLiteral("--") + name;
    for (const QString &argument : arguments) {
        if (argument == longForm || argument.startsWith(longForm + QLatin1Char('='))
            || argument == QStringLiteral("-") + name)
            return true;
    }
    return false;
}

} // namespace

QStringList CommandLine::parse(const QStringList &arguments)
{
    QStringList warnings;
    const bool parsed = commandLineParser.parse(arguments);
    // Nothing that could be a password typed where the panel takes none is
    // repeated: not the letters of a word after one dash (-psecret), and
    // after an unknown option, no stray argument (-p secret).
    const QStringList unknown = commandLineParser.unknownOptionNames();
    QStringList named;
    bool unnamed = false;
    for (const QString &name : unknown) {
        if (!typedWhole(name, arguments))
            unnamed = true;
        else if (!named.contains(name))
            named << name;
    }
    // Any other mistake (a value missing after an option) names only the
    // option; the known options that parsed are still in effect.
    const QString unknownText = unknown.size() == 1
                                    ? QCommandLineParser::tr("Unknown option '%1'.").arg(unknown.first())
                                    : QCommandLineParser::tr("Unknown options: %1.").arg(unknown.join(QStringLiteral(", ")));
    if (!parsed && (unknown.isEmpty() || commandLineParser.errorText() != unknownText))
        warnings << commandLineParser.errorText();
    if (named.size() == 1)
        warnings << QStringLiteral("Unknown option '%1'.").arg(named.first());
    else if (named.size() > 1)
        warnings << QStringLiteral("Unknown options: %1.").arg(named.join(QStringLiteral(", ")));
    if (unnamed)
        warnings << QStringLiteral("Ignoring an unknown option written as letters after one dash (not shown); "
                                   "the panel's options take two dashes, e.g. --port.");
    for (const QString &argument : commandLineParser.positionalArguments()) {
        warnings << (unknown.isEmpty() ? QStringLiteral("Ignoring the argument '%1'.").arg(argument)
                                       : QStringLiteral("Ignoring an argument (not shown)."));
    }
    for (const QString &warning : warnings)
        warn(warning);

    if (commandLineParser.isSet(helpOption) || commandLineParser.isSet(QStringLiteral("help-all")))
        commandLineParser.showHelp(0);
    if (commandLineParser.isSet(versionOption))
        commandLineParser.showVersion();
    return warnings;
}

QString CommandLine::port() const
{
    return commandLineParser.value(portOption);
}

void CommandLine::warn(const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(message));
    std::fflush(stderr);
}
