#pragma once

#include "settings/StationSettings.h"

#include <QString>
#include <QStringList>

#include <optional>

// What the command line says for one run: values for some of the
// remembered settings, named by their keys in station.ini, and what is not
// remembered at all. Whatever it leaves unset comes from the remembered
// settings; nothing here is ever written back to them. What the operator
// sets during the run wins: the keys of it are taken back (forget()).
struct StationOverrides
{
    StationSettings values;  // the command line's values, for the keys it gives
    QStringList keys;        // the keys it gives

    QString port;            // --port NAME; empty: not given
    QString bandMemoryPath;  // --bands FILE; empty: the profile's file
    QString antennasPath;    // --antennas FILE; empty: the profile's file
    QString brokerPassword;  // with --mqtt or --remote, from the password file or the environment

    // Gives these keys with the values in values.
    void give(const QStringList &given);
    bool gives(const QString &key) const { return keys.contains(key); }
    // The operator set these keys during the run.
    void forget(const QStringList &set);
};

// What this run uses: the remembered settings with the command line on top.
struct EffectiveStation
{
    enum class PasswordFrom { SecretStore, CommandLine };

    StationSettings settings;     // the remembered ones, with the command line's keys over them
    bool bandFollowRuns = false;  // switched on and at least one source
    QString bandMemoryPath;
    QString antennasPath;         // the antenna rules' file
    // The port to open at start with its line parameters; none: the panel
    // starts disconnected.
    std::optional<SerialSettings> connectAtStart;
    PasswordFrom passwordFrom = PasswordFrom::SecretStore;
    QString brokerPassword;       // only when it came from the command line

    // Parts the command line set for this run.
    bool brokerFromCommandLine = false;
    bool connectFromCommandLine = false;

    const BandFollowSettings &bandFollow() const { return settings.bandFollow; }
    const BrokerSettings &broker() const { return settings.broker; }
    bool reconnect() const { return settings.reconnect; }
};

EffectiveStation effectiveStation(const StationSettings &remembered, const StationOverrides &overrides,
                                  const QString &profileBandMemoryPath, const QString &profileAntennasPath = QString());
