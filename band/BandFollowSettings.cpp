#include "band/BandFollowSettings.h"

#include <QCoreApplication>

std::optional<HamlibSettings> RigSourceSettings::hamlib() const
{
    HamlibSettings settings;
    switch (kind) {
    case Kind::None:
        return std::nullopt;
    case Kind::Rigctld:
        settings.model = HamlibSettings::rigctldModel;
        settings.file = rigctldAddress;
        break;
    case Kind::SerialRadio:
        settings.model = model;
        settings.file = device;
        settings.speed = speed;
        break;
    }
    return settings;
}

bool RigSourceSettings::operator==(const RigSourceSettings &other) const
{
    return kind == other.kind && rigctldAddress == other.rigctldAddress && model == other.model
           && device == other.device && speed == other.speed;
}

bool BandFollowSettings::operator==(const BandFollowSettings &other) const
{
    return enabled == other.enabled && rig == other.rig && loggerPorts == other.loggerPorts
           && allowedSenders == other.allowedSenders && loggerRadio == other.loggerRadio && hangMs == other.hangMs;
}

LoggerSources LoggerSources::of(const BandFollowSettings &settings, QStringList *problems)
{
    const auto tr = [](const char *text) { return QCoreApplication::translate("BandFollow", text); };
    LoggerSources sources;
    for (const QString &text : settings.loggerPorts) {
        const std::optional<LoggerEndpoint> endpoint = LoggerEndpoint::parse(text);
        if (!endpoint) {
            if (problems)
                *problems << tr("Logger port '%1' is not a UDP port; it is not listened to.").arg(text);
        } else if (!sources.ports.contains(*endpoint)) {
            sources.ports << *endpoint;
        }
    }
    for (const QString &text : settings.allowedSenders) {
        if (const std::optional<AllowedSender> sender = AllowedSender::parse(text))
            sources.senders.allow(*sender);
        else if (problems)
            // Not taken as "anyone": a sender that cannot be read narrows
            // nothing, and packets from everyone would then move the antenna.
            *problems << tr("Allowed sender '%1' is not an address or ADDR/BITS; it is left out.").arg(text);
    }
    if (!settings.allowedSenders.isEmpty())
        sources.senders.allowNone();
    return sources;
}
