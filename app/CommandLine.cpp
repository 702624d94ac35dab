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

QStringList CommandLine::parse(const QStringList &arguments)
{
    QStringList warnings;
    if (!commandLineParser.parse(arguments)) {
        // Unknown options and options missing their value end up here; the
        // known ones that parsed are still in effect.
        warnings << commandLineParser.errorText();
    }
    // After an unknown option that looks like a password, the next argument
    // may be the password itself: it is not repeated.
    const bool secretMayFollow = commandLineParser.unknownOptionNames().filter(QStringLiteral("pass"), Qt::CaseInsensitive).size() > 0;
    for (const QString &argument : commandLineParser.positionalArguments()) {
        warnings << (secretMayFollow ? QStringLiteral("Ignoring an argument (not shown).")
                                     : QStringLiteral("Ignoring the argument '%1'.").arg(argument));
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
