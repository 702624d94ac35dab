#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

// The panel's own command-line options. Features add theirs to parser()
// before parse(). An argument the panel does not know never stops it: it is
// named on stderr and the panel starts as usual. What may be a password typed
// where the panel takes none is never repeated.
class CommandLine
{
public:
    CommandLine();

    QCommandLineParser &parser() { return commandLineParser; }
    const QCommandLineParser &parser() const { return commandLineParser; }

    // Reads the arguments left after Qt has taken its own (-platform and the
    // like). --help and --version print and end the program here. Returns the
    // warnings written to stderr.
    QStringList parse(const QStringList &arguments);

    // The port named with --port, or empty.
    QString port() const;

    // Writes one warning line on stderr, prefixed with the program's name.
    static void warn(const QString &message);

private:
    QCommandLineParser commandLineParser;
    QCommandLineOption helpOption;
    QCommandLineOption versionOption;
    QCommandLineOption portOption;
};
