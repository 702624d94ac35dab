#include "settings/BandFollowChecks.h"

#include "remote/RemoteOptions.h"
#include "rig/AllowedSender.h"
#include "rig/HamlibModels.h"
#include "rig/HamlibSettings.h"
#include "rig/LoggerEndpoint.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <limits>

namespace {

constexpr int rigctldDefaultPort = 4532;

QString tr(const char *text)
{
    return QCoreApplication::translate("BandFollowChecks", text);
}

} // namespace

namespace BandFollowChecks {

bool Problems::any() const
{
    return !rigctldAddress.isEmpty() || !model.isEmpty() || !device.isEmpty() || !speed.isEmpty()
           || !loggerPorts.isEmpty() || !allowedSenders.isEmpty() || !hangTime.isEmpty();
}

QStringList splitEntries(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[,;\\s]+"));
    return text.split(separators, Qt::SkipEmptyParts);
}

QString checkRigctldAddress(const QString &text)
{
    QString host;
    int port = 0;
    if (text.trimmed().isEmpty())
        return tr("Give the address of rigctld, e.g. localhost:4532.");
    if (!RemoteOptions::parseAddress(text.trimmed(), rigctldDefaultPort, &host, &port))
        return tr("'%1' is not an address: HOST or HOST:PORT, e.g. localhost:4532.").arg(text.trimmed());
    return QString();
}

QString checkModel(int model)
{
    if (model <= 0)
        return tr("Choose the radio's model from the list.");
    if (!HamlibModels::find(model))
        return tr("Hamlib model %1 is not known to this Hamlib; choose the radio from the list.").arg(model);
    if (model == HamlibSettings::rigctldModel)
        return tr("Model 2 is rigctld itself; choose \"rigctld at\" above for it.");
    return QString();
}

QString checkDevice(const QString &device)
{
    if (device.trimmed().isEmpty())
        return tr("Give the radio's serial device, e.g. /dev/ttyUSB1 or COM4.");
    return QString();
}

QString checkSpeed(const QString &text, int *speed)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.compare(QCoreApplication::translate("BandFollowDialog", "Default"),
                                             Qt::CaseInsensitive) == 0) {
        if (speed)
            *speed = 0;
        return QString();
    }
    qint64 value = 0;
    for (const QChar c : trimmed) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9') || value > std::numeric_limits<int>::max() / 10) {
            value = 0;
            break;
        }
        value = value * 10 + (c.unicode() - '0');
    }
    if (value <= 0 || value > std::numeric_limits<int>::max())
        return tr("'%1' is not a serial speed: a whole number of baud, or Default.").arg(trimmed);
    if (speed)
        *speed = static_cast<int>(value);
    return QString();
}

QString checkLoggerPorts(const QStringList &entries)
{
    for (const QString &entry : entries) {
        if (!LoggerEndpoint::parse(entry))
            return tr("'%1' is not a logger port: PORT (1 to 65535) or ADDRESS:PORT.").arg(entry);
    }
    return QString();
}

QString checkAllowedSenders(const QStringList &entries)
{
    for (const QString &entry : entries) {
        if (!AllowedSender::parse(entry))
            return tr("'%1' is not a sender: an address (192.168.1.20) or a network (192.168.1.0/24).").arg(entry);
    }
    return QString();
}

QString checkHangTime(int ms)
{
    if (ms < 0 || ms > BandFollowSettings::longestHangMs)
        return tr("The hang time is from 0 to %1 ms.").arg(BandFollowSettings::longestHangMs);
    return QString();
}

Problems check(const BandFollowSettings &settings)
{
    Problems problems;
    switch (settings.rig.kind) {
    case RigSourceSettings::Kind::None:
        break;
    case RigSourceSettings::Kind::Rigctld:
        problems.rigctldAddress = checkRigctldAddress(settings.rig.rigctldAddress);
        break;
    case RigSourceSettings::Kind::SerialRadio:
        problems.model = checkModel(settings.rig.model);
        problems.device = checkDevice(settings.rig.device);
        if (settings.rig.speed < 0)
            problems.speed = tr("The speed cannot be negative.");
        break;
    }
    problems.loggerPorts = checkLoggerPorts(settings.loggerPorts);
    problems.allowedSenders = checkAllowedSenders(settings.allowedSenders);
    problems.hangTime = checkHangTime(settings.hangMs);
    return problems;
}

} // namespace BandFollowChecks
