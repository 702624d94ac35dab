#include "settings/StationOverrides.h"

#include "settings/StationKeys.h"

void StationOverrides::give(const QStringList &given)
{
    for (const QString &key : given) {
        if (!keys.contains(key))
            keys << key;
    }
}

void StationOverrides::forget(const QStringList &set)
{
    for (const QString &key : set)
        keys.removeAll(key);
}

EffectiveStation effectiveStation(const StationSettings &remembered, const StationOverrides &overrides,
                                  const QString &profileBandMemoryPath, const QString &profileAntennasPath)
{
    EffectiveStation effective;
    effective.settings = remembered;
    StationKeys::copy(overrides.values, effective.settings, overrides.keys);

    const BandFollowSettings &follow = effective.settings.bandFollow;
    effective.bandFollowRuns = follow.enabled && follow.hasSource();
    effective.bandMemoryPath =
        overrides.bandMemoryPath.isEmpty() ? profileBandMemoryPath : overrides.bandMemoryPath;
    effective.antennasPath = overrides.antennasPath.isEmpty() ? profileAntennasPath : overrides.antennasPath;

    effective.brokerFromCommandLine = overrides.gives(StationKeys::Name::brokerMode);
    if (effective.brokerFromCommandLine && effective.settings.broker.mode != BrokerSettings::Mode::Off) {
        effective.passwordFrom = EffectiveStation::PasswordFrom::CommandLine;
        effective.brokerPassword = overrides.brokerPassword;
    }

    // A remote panel never opens a serial port; it attaches to its broker.
    if (effective.settings.broker.mode != BrokerSettings::Mode::RemotePanel) {
        if (!overrides.port.isEmpty()) {
            effective.connectAtStart = defaultSerialSettings(overrides.port);
            effective.connectFromCommandLine = true;
        } else if (remembered.connectAtStart && !remembered.lastConnection.portName.isEmpty()) {
            effective.connectAtStart = remembered.lastConnection;
        }
    }
    return effective;
}
