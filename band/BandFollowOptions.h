#pragma once

#include "band/BandFollowSettings.h"

#include <QCommandLineOption>
#include <QStringList>

#include <optional>

#include <QCommandLineParser>

// The command-line options of band follow: --rig-model, --rig-file,
// --rig-speed, --logger-udp and --logger-from (repeatable), --logger-radio,
// --follow-hang, --bands and --antennas. Sources named here replace the remembered ones
// for the run; the others change what the remembered sources do. A bad value
// turns band follow off for the run. Senders that the logger ports can never
// hear (a sender on the network while the ports listen on this computer only,
// an IPv6 sender) are warned about, and band follow runs.
class BandFollowOptions
{
public:
    BandFollowOptions();

    void add(QCommandLineParser &parser) const;
    QList<QCommandLineOption> options() const;

    // What the options say. Only the fields of the options given count;
    // the sources (--rig-model and --logger-udp) count together.
    struct Given
    {
        BandFollowSettings settings;
        QString memoryPath;    // --bands FILE; empty: the profile's file
        QString antennasPath;  // --antennas FILE; empty: the profile's file
        bool refused = false;  // a value was bad: band follow is off for the run
    };

    // Each problem, and each warning, is added to problems.
    Given read(const QCommandLineParser &parser, QStringList &problems) const;

private:
    QCommandLineOption rigModel;
    QCommandLineOption rigFile;
    QCommandLineOption rigSpeed;
    QCommandLineOption loggerUdp;
    QCommandLineOption loggerFrom;
    QCommandLineOption loggerRadio;
    QCommandLineOption followHang;
    QCommandLineOption bands;
    QCommandLineOption antennas;
};
