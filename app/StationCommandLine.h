#pragma once

#include "app/CommandLine.h"
#include "app/Station.h"
#include "band/BandFollowOptions.h"
#include "reconnect/ReconnectOptions.h"
#include "remote/RemoteOptions.h"

#include <QCommandLineOption>
#include <QHash>

// Every option of the program, read once at start into what the station
// uses for this run: --profile and --headless, --port, --reconnect, band
// follow's and the broker's options. An option that stands for remembered
// settings gives their keys of station.ini (optionKeys()), so the station
// lays exactly those over what it remembers. A bad value is named on stderr
// and that feature is off for the run; only what would mix up two stations
// (a bad profile name) refuses to start.
class StationCommandLine
{
public:
    StationCommandLine();

    // Whether the arguments ask for --headless, before the application
    // object exists (it must not look for a display then).
    static bool asksForHeadless(int argc, char **argv);

    // False, with the reason, when the program must not start.
    bool read(const QStringList &arguments, Station::Options *options, QString *refusal);

    // The name of every option the program takes (Qt's own aside).
    QStringList optionNames() const;
    // The station.ini keys an option gives, by option name; options that
    // stand for no remembered setting (or go with another option's keys,
    // as --rig-file goes with --rig-model's) give none.
    static QHash<QString, QStringList> optionKeys();

private:
    CommandLine commandLine;
    ReconnectOptions reconnectOptions;
    BandFollowOptions bandFollowOptions;
    RemoteOptions remoteOptions;
    QCommandLineOption profileOption;
    QCommandLineOption headlessOption;
};
