#include "app/CommandLine.h"

#include "app/Log.h"

#include <QCoreApplication>

#include <cstdio>

CommandLine::CommandLine()
    : helpOption(commandLineParser.addHelpOption())
    , questionMarkOption(QStringLiteral("?"))
    , versionOption(commandLineParser.addVersionOption())
    , portOption(QStringLiteral("port"),
                 QStringLiteral("Connect at start to the serial port NAME (e.g. /dev/ttyUSB0 or "
                                "COM3), at 9600 baud, 8 data bits, no parity, 1 stop bit, no flow "
                                "control."),
                 QStringLiteral("NAME"))
{
    commandLineParser.setApplicationDescription(
        QStringLiteral("Control panel for the TQX-5R remote antenna switch."));
    // A word after one dash is one option, never a row of one-letter ones:
    // taken apart, -follow-hang would ask for help (its h) and end the
    // program with success, and a service manager would see nothing amiss.
    commandLineParser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!helpOption.names().contains(questionMarkOption.names().first())) {
        questionMarkOption.setFlags(QCommandLineOption::HiddenFromHelp);
        commandLineParser.addOption(questionMarkOption);
    }
    commandLineParser.addOption(portOption);
}

namespace {

// Whether an unknown option may be named: typed after two dashes ("--name",
// "--name=..."), or a single letter after one ("-n"). A longer word after one
// dash may be a password typed after a dash, and is not repeated.
bool mayBeNamed(const QString &name, const QStringList &arguments)
{
    const QString longForm = QStringLiteral("--") + name;
    const QString shortForm = QStringLiteral("-") + name;
    for (const QString &argument : arguments) {
        if (argument == longForm || argument.startsWith(longForm + QLatin1Char('=')))
            return true;
        if (name.size() == 1 && (argument == shortForm || argument.startsWith(shortForm + QLatin1Char('='))))
            return true;
    }
    return false;
}

} // namespace

QStringList CommandLine::parse(const QStringList &arguments)
{
    const QStringList warnings = read(arguments);
    if (asksForHelp())
        commandLineParser.showHelp(0);
    if (asksForVersion())
        commandLineParser.showVersion();
    return warnings;
}

QStringList CommandLine::read(const QStringList &arguments)
{
    QStringList warnings;
    const bool parsed = commandLineParser.parse(arguments);
    const QStringList unknown = commandLineParser.unknownOptionNames();
    QStringList named;
    int unnamed = 0;
    for (const QString &name : unknown) {
        if (!mayBeNamed(name, arguments))
            ++unnamed;
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
    if (unnamed == 1)
        warnings << QStringLiteral("Ignoring an unknown option written after one dash (not shown: it may be a "
                                   "password); --help lists the options.");
    else if (unnamed > 1)
        warnings << QStringLiteral("Ignoring %1 unknown options written after one dash (not shown: they may be "
                                   "passwords); --help lists the options.").arg(unnamed);
    // The panel takes no arguments of its own, so one that belongs to no
    // option is most likely a value typed apart from its option, or a
    // password after one that takes none.
    const int stray = commandLineParser.positionalArguments().size();
    if (stray == 1)
        warnings << QStringLiteral("Ignoring 1 argument that belongs to no option (not shown: it may be a password).");
    else if (stray > 1)
        warnings << QStringLiteral("Ignoring %1 arguments that belong to no option (not shown: they may be "
                                   "passwords).").arg(stray);
    for (const QString &warning : warnings)
        warn(warning);
    return warnings;
}

bool CommandLine::asksForHelp() const
{
    return commandLineParser.isSet(helpOption) || commandLineParser.isSet(questionMarkOption)
           || commandLineParser.isSet(QStringLiteral("help-all"));
}

bool CommandLine::asksForVersion() const
{
    return commandLineParser.isSet(versionOption);
}

QString CommandLine::port() const
{
    return commandLineParser.value(portOption);
}

void CommandLine::warn(const QString &message)
{
    // Without a screen or under systemd every line carries its level, so a
    // typo in a service's options is read as the warning it is.
    if (Log::writesLeveledLines()) {
        Log::warning(QStringLiteral("%1: %2").arg(QCoreApplication::applicationName(), message));
        return;
    }
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 qPrintable(message));
    std::fflush(stderr);
}
