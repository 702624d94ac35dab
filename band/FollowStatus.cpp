#include "band/FollowStatus.h"

#include <QCoreApplication>

namespace FollowStatus {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("FollowStatus", text);
}

constexpr qint64 msPerSecond = 1000;

} // namespace

QString holdReason(FollowRules::Hold hold)
{
    using Hold = FollowRules::Hold;
    switch (hold) {
    case Hold::Transmitting:
    case Hold::AfterTransmit:
        return tr("TX");
    case Hold::Flooded:
        return tr("logger flooded");
    case Hold::Send:
        return tr("SEND");
    case Hold::NotConnected:
        return tr("not connected");
    case Hold::NoAnswer:
        return tr("no answer");
    case Hold::Split:
        return tr("split");
    case Hold::SuperSplit:
        return tr("super split");
    case Hold::Choosing:
        return tr("choosing");
    case Hold::OffBand:
        return tr("off the band");
    case Hold::Busy:
        return tr("antenna busy");
    case Hold::None:
    case Hold::AwaitingStatus:
    case Hold::Restoring:
    case Hold::Spacing:
        break;
    }
    return QString();
}

QString label(bool on, int band, FollowRules::Hold hold)
{
    if (!on)
        return tr("Follow off");
    const QString name = band == BandPlan::noBand ? tr("No band yet") : BandPlan::name(band);
    const QString reason = holdReason(hold);
    return reason.isEmpty() ? name : tr("%1 · held: %2").arg(name, reason);
}

QString liveLine(bool on, int band, FollowRules::Hold hold, const Sources &sources)
{
    QStringList parts{label(on, band, hold)};
    const QString rig = sources.rigIsRigctld ? tr("rigctld") : tr("rig");
    switch (sources.rig) {
    case Sources::Rig::None:
        break;
    case Sources::Rig::Connecting:
        parts << tr("%1 connecting").arg(rig);
        break;
    case Sources::Rig::Answering:
        parts << tr("%1 answering").arg(rig);
        break;
    case Sources::Rig::NotAnswering:
        parts << tr("%1 not answering").arg(rig);
        break;
    }
    if (!sources.loggerPortsTaken.isEmpty())
        parts << tr("logger: UDP %1 taken by another program").arg(sources.loggerPortsTaken.join(QStringLiteral(", ")));
    if (sources.listening) {
        parts << (sources.sinceLastPacketMs
                      ? tr("logger: last packet %1 s ago").arg(*sources.sinceLastPacketMs / msPerSecond)
                      : tr("logger: no packet yet"));
    }
    return parts.join(QStringLiteral(" · "));
}

} // namespace FollowStatus
