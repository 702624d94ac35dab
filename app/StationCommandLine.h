#pragma once

#include "app/CommandLine.h"
#include "app/Station.h"
#include "band/BandFollowOptions.h"
#include "reconnect/ReconnectOptions.h"
#include "remote/RemoteOptions.h"

#include <QCommandLineOption>

// Every option of the program, read once at start into what the station
// uses for this run: --profile and --headless, --port, --reconnect, band
// follow's and the broker's options. A bad value is named on stderr and that
// feature is off for the run; only what would mix up two stations (a bad
// profile name) refuses to start.
class StationCommandLine
{
public:
    StationCommandLine();

    // Whether the arguments ask for --headless, before the application
    // object exists (it must not look for a display then).
    static bool asksForHeadless(int argc, char **argv);

    // False, with the reason, when the program must not start.
    bool read(const QStringList &arguments, Station::Options *options, QString *refusal);

private:
    CommandLine commandLine;
    ReconnectOptions reconnectOptions;
    BandFollowOptions bandFollowOptions;
    RemoteOptions remoteOptions;
    QCommandLineOption profileOption;
    QCommandLineOption headlessOption;
};
