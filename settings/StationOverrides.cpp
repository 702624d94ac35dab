#include "settings/StationOverrides.h"

#include "band/BandFollowSettings.h"
#include "remote/BrokerSettings.h"

#include <QCoreApplication>

void StationOverrides::setBandFollow(const BandFollowSettings &settings)
{
    bandFollow = Given::Yes;
    rig = RigSourceSettings();
    if (settings.rig) {
        if (settings.rig->model == HamlibSettings::rigctldModel) {
            rig.kind = RigSourceSettings::Kind::Rigctld;
            // rigctl's own default when no address is given.
            rig.rigctldAddress = settings.rig->file.isEmpty() ? RigSourceSettings::defaultRigctldAddress()
                                                              : settings.rig->file;
        } else {
            rig.kind = RigSourceSettings::Kind::SerialRadio;
            rig.model = settings.rig->model;
            rig.device = settings.rig->file;
            rig.speed = settings.rig->speed;
        }
    }
    loggerPorts.clear();
    for (const LoggerEndpoint &endpoint : settings.loggers)
        loggerPorts << endpoint.toString();
    bandMemoryPath = settings.memoryPath;
}

void StationOverrides::setBroker(const BrokerSettings &settings)
{
    broker = Given::Yes;
    brokerSettings = BrokerPreferences();
    brokerSettings.mode = settings.remotePanel ? BrokerPreferences::Mode::RemotePanel : BrokerPreferences::Mode::Publish;
    brokerSettings.host = settings.host;
    brokerSettings.port = settings.port;
    brokerSettings.topic = settings.topic;
    brokerSettings.user = settings.user;
    brokerSettings.caFile = settings.caFile;
    brokerPassword = settings.password;
    if (!settings.discoveryPrefix.isEmpty())
        discoveryPrefix = settings.discoveryPrefix;
}

EffectiveStation effectiveStation(const StationSettings &remembered, const StationOverrides &overrides,
                                  const QString &profileBandMemoryPath)
{
    using Given = StationOverrides::Given;
    EffectiveStation effective;

    effective.bandFollow = remembered.bandFollow;
    effective.bandFollowFromCommandLine = overrides.bandFollow != Given::No;
    if (overrides.bandFollow == Given::Yes) {
        effective.bandFollow.enabled = true;
        effective.bandFollow.rig = overrides.rig;
        effective.bandFollow.loggerPorts = overrides.loggerPorts;
    }
    if (overrides.hangMs)
        effective.bandFollow.hangMs = *overrides.hangMs;
    if (overrides.loggerRadio)
        effective.bandFollow.loggerRadio = *overrides.loggerRadio;
    if (overrides.allowedSenders)
        effective.bandFollow.allowedSenders = *overrides.allowedSenders;
    effective.bandFollowRuns = overrides.bandFollow != Given::Refused && effective.bandFollow.enabled
                               && effective.bandFollow.hasSource();
    effective.bandMemoryPath =
        overrides.bandMemoryPath.isEmpty() ? profileBandMemoryPath : overrides.bandMemoryPath;

    effective.reconnect = remembered.reconnect || overrides.reconnect;

    effective.brokerFromCommandLine = overrides.broker != Given::No;
    switch (overrides.broker) {
    case Given::No:
        effective.broker = remembered.broker;
        break;
    case Given::Yes:
        effective.broker = overrides.brokerSettings;
        effective.passwordFrom = EffectiveStation::PasswordFrom::CommandLine;
        effective.brokerPassword = overrides.brokerPassword;
        break;
    case Given::Refused:
        effective.broker = remembered.broker;
        effective.broker.mode = BrokerPreferences::Mode::Off;
        break;
    }
    if (overrides.discoveryPrefix) {
        effective.broker.discovery = true;
        effective.broker.discoveryPrefix =
            overrides.discoveryPrefix->isEmpty() ? BrokerPreferences::defaultDiscoveryPrefix() : *overrides.discoveryPrefix;
    }

    // A remote panel never opens a serial port; it attaches to its broker.
    if (effective.broker.mode != BrokerPreferences::Mode::RemotePanel) {
        if (!overrides.port.isEmpty()) {
            effective.connectAtStart = defaultSerialSettings(overrides.port);
            effective.connectFromCommandLine = true;
        } else if (remembered.connectAtStart && !remembered.lastConnection.portName.isEmpty()) {
            effective.connectAtStart = remembered.lastConnection;
        }
    }
    return effective;
}

std::optional<BandFollowSettings> toBandFollowSettings(const BandFollowPreferences &preferences,
                                                       const QString &memoryPath, QStringList *problems)
{
    BandFollowSettings settings;
    settings.memoryPath = memoryPath;
    switch (preferences.rig.kind) {
    case RigSourceSettings::Kind::None:
        break;
    case RigSourceSettings::Kind::Rigctld: {
        HamlibSettings rig;
        rig.model = HamlibSettings::rigctldModel;
        rig.file = preferences.rig.rigctldAddress;
        settings.rig = rig;
        break;
    }
    case RigSourceSettings::Kind::SerialRadio: {
        HamlibSettings rig;
        rig.model = preferences.rig.model;
        rig.file = preferences.rig.device;
        rig.speed = preferences.rig.speed;
        settings.rig = rig;
        break;
    }
    }
    for (const QString &text : preferences.loggerPorts) {
        const std::optional<LoggerEndpoint> endpoint = LoggerEndpoint::parse(text);
        if (!endpoint) {
            if (problems)
                *problems << QCoreApplication::translate("StationOverrides", "Logger port '%1' is not a UDP port; "
                                                                             "it is not listened to.").arg(text);
        } else if (!settings.loggers.contains(*endpoint)) {
            settings.loggers << *endpoint;
        }
    }
    if (!settings.rig && settings.loggers.isEmpty())
        return std::nullopt;
    return settings;
}

BrokerSettings toBrokerSettings(const BrokerPreferences &preferences, const QString &password)
{
    BrokerSettings settings;
    settings.host = preferences.host;
    settings.port = preferences.effectivePort();
    settings.topic = preferences.topic;
    settings.user = preferences.user;
    settings.password = password;
    settings.caFile = preferences.caFile;
    settings.remotePanel = preferences.mode == BrokerPreferences::Mode::RemotePanel;
    return settings;
}
