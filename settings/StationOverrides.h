#pragma once

#include "settings/StationSettings.h"

#include <QString>
#include <QStringList>

#include <optional>

struct BandFollowSettings;
struct BrokerSettings;

// What the command line says for one run. Whatever it leaves unset comes from
// the remembered settings; nothing here is ever written back to them.
struct StationOverrides
{
    // Named with values that are good (Yes), or with a bad one (Refused): then
    // the feature is off for this run, as it always was with a bad option.
    enum class Given { No, Yes, Refused };

    QString port;            // --port NAME; empty: not given
    bool reconnect = false;  // --reconnect

    // --rig-model/--rig-file/--rig-speed and --logger-udp name the sources
    // together: given, they replace every remembered source for this run.
    Given bandFollow = Given::No;
    RigSourceSettings rig;
    QStringList loggerPorts;
    QString bandMemoryPath;                     // --bands FILE; empty: the profile's file
    std::optional<int> hangMs;                  // --follow-hang MS
    std::optional<int> loggerRadio;             // --logger-radio N
    std::optional<QStringList> allowedSenders;  // --logger-from ADDR[/BITS], repeatable

    // --mqtt or --remote and their companions replace the remembered broker;
    // the password then comes from the password file or the environment.
    Given broker = Given::No;
    BrokerPreferences brokerSettings;
    QString brokerPassword;
    std::optional<QString> discoveryPrefix;  // --mqtt-discovery [PREFIX]; empty: the default prefix

    // Fills the band follow part from what BandFollowOptions read.
    void setBandFollow(const BandFollowSettings &settings);
    // Fills the broker part from what RemoteOptions read, password included.
    void setBroker(const BrokerSettings &settings);
};

// What this run uses: the remembered settings with the command line on top.
struct EffectiveStation
{
    enum class PasswordFrom { SecretStore, CommandLine };

    bool bandFollowRuns = false;  // switched on and at least one source
    BandFollowPreferences bandFollow;
    QString bandMemoryPath;
    bool reconnect = false;
    // The port to open at start with its line parameters; none: the panel
    // starts disconnected.
    std::optional<SerialSettings> connectAtStart;
    BrokerPreferences broker;  // mode Off: no broker
    PasswordFrom passwordFrom = PasswordFrom::SecretStore;
    QString brokerPassword;    // only when it came from the command line

    // Parts the command line set for this run, so the window can say that
    // what the operator changes in a dialog takes effect at the next start.
    bool bandFollowFromCommandLine = false;
    bool brokerFromCommandLine = false;
    bool connectFromCommandLine = false;
};

EffectiveStation effectiveStation(const StationSettings &remembered, const StationOverrides &overrides,
                                  const QString &profileBandMemoryPath);

// Band follow's settings for its sources as they run today. Entries that do
// not parse are left out, each with a line in problems; nothing when no
// source is left.
std::optional<BandFollowSettings> toBandFollowSettings(const BandFollowPreferences &preferences,
                                                       const QString &memoryPath, QStringList *problems);

// The broker settings the bridge or the remote panel's link start from.
BrokerSettings toBrokerSettings(const BrokerPreferences &preferences, const QString &password);
