#pragma once

#include "band/BandFollowSettings.h"

#include <QCommandLineOption>
#include <QStringList>

#include <optional>

class QCommandLineParser;

// The command-line options of band follow: --rig-model, --rig-file,
// --rig-speed, --logger-udp and --logger-from (repeatable), --logger-radio,
// --follow-hang and --bands. Band follow runs when at least one source is
// named and every value given is good.
class BandFollowOptions
{
public:
    BandFollowOptions();

    void add(QCommandLineParser &parser) const;

    // The settings, or nothing when band follow is not asked for or a value
    // is bad; each problem is added to problems.
    std::optional<BandFollowSettings> read(const QCommandLineParser &parser, QStringList &problems) const;

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
