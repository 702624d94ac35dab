#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

// The panel's own command-line options. Features add theirs to parser()
// before parse(). An option may be written with one dash as well as two
// (-port, --port); -h, -? and -v are --help and --version. An argument the
// panel does not know is a mistake the program must not start with (a typo
// in a service's options would otherwise go unnoticed). What may be a
// password typed where the panel takes none is never repeated: not an
// argument that belongs to no option, nor an unknown word after one dash.
class CommandLine
{
public:
    CommandLine();

    QCommandLineParser &parser() { return commandLineParser; }
    const QCommandLineParser &parser() const { return commandLineParser; }

    // Reads the arguments left after Qt has taken its own (-platform and the
    // like). --help and --version print and end the program here. Returns the
    // mistakes found, one line each; none when all is well.
    QStringList parse(const QStringList &arguments);

    // As parse(), but leaves --help and --version to the caller.
    QStringList read(const QStringList &arguments);
    bool asksForHelp() const;
    bool asksForVersion() const;

    // The options of its own: --help, --version, --port.
    QList<QCommandLineOption> options() const { return {helpOption, versionOption, portOption}; }

    // The port named with --port, or empty.
    QString port() const;

    // Writes one warning line on stderr, with its level.
    static void warn(const QString &message);

    // The line that follows a refusal.
    static QString usage();

private:
    QCommandLineParser commandLineParser;
    QCommandLineOption helpOption;
    // -? asks for help everywhere, as it does on Windows.
    QCommandLineOption questionMarkOption;
    QCommandLineOption versionOption;
    QCommandLineOption portOption;
};
