#pragma once

#include "band/BandFollowSettings.h"

#include <QCommandLineOption>
#include <QStringList>

#include <optional>

#include <QCommandLineParser>

// The command-line options of band follow: --rig-model, --rig-file,
// --rig-speed, --logger-udp and --logger-from (repeatable), --logger-radio,
// --follow-hang and --bands. Sources named here replace the remembered ones
// for the run; the others change what the remembered sources do. A bad value
// turns band follow off for the run. Senders that the logger ports can never
// hear (a sender on the network while the ports listen on this computer only,
// an IPv6 sender) are warned about, and band follow runs.
class BandFollowOptions
{
public:
    BandFollowOptions();

    void add(QCommandLineParser &parser) const;

    // The settings the options give (perhaps without a source), or nothing
    // when a value is bad; each problem, and each warning, is added to
    // problems.
    std::optional<BandFollowSettings> read(const QCommandLineParser &parser, QStringList &problems) const;

    // Whether each of these was given.
    bool hangGiven(const QCommandLineParser &parser) const { return parser.isSet(followHang); }
    bool radioGiven(const QCommandLineParser &parser) const { return parser.isSet(loggerRadio); }
    bool sendersGiven(const QCommandLineParser &parser) const { return parser.isSet(loggerFrom); }

private:
    QCommandLineOption rigModel;
    QCommandLineOption rigFile;
    QCommandLineOption rigSpeed;
    QCommandLineOption loggerUdp;
    QCommandLineOption loggerFrom;
    QCommandLineOption loggerRadio;
    QCommandLineOption followHang;
    QCommandLineOption bands;
};
