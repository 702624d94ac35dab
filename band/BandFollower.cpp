#include "band/BandFollower.h"

#include "link/Protocol.h"
#include "panel/SwitchSeam.h"

BandFollower::BandFollower(SwitchSeam *seam, const QString &memoryPath, QObject *parent)
    : QObject(parent)
    , seam(seam)
    , memory(memoryPath)
    , rules(memory.load())
    , settleTimer(this)
{
    qRegisterMetaType<RigReading>();
    clock.start();
    settleTimer.setSingleShot(true);
    settleTimer.setTimerType(Qt::PreciseTimer);
    connect(&settleTimer, &QTimer::timeout, this, [this] { apply(rules.tick(nowMs())); });
    connect(seam, &SwitchSeam::stateChanged, this, &BandFollower::switchStateChanged);
    connect(seam, &SwitchSeam::operatorSelected, this,
            [this](int position) { apply(rules.operatorSelected(nowMs(), position)); });
    apply(rules.switchState(nowMs(), seam->snapshot()));
}

QString BandFollower::band() const
{
    return BandPlan::key(rules.band());
}

void BandFollower::takeReading(const RigReading &reading)
{
    apply(rules.reading(nowMs(), reading));
}

void BandFollower::switchStateChanged(const SwitchSnapshot &snapshot)
{
    apply(rules.switchState(nowMs(), snapshot));
}

void BandFollower::apply(const FollowRules::Actions &actions)
{
    if (actions.bandChanged)
        emit bandChanged(band());
    if (actions.learnedPosition >= 0) {
        const bool saved = memory.remember(rules.band(), actions.learnedPosition);
        if (!saved && !saveFailureShown)
            emit statusText(tr("Cannot save the band memory to %1").arg(memory.path()));
        saveFailureShown = !saved;
    }
    if (actions.select >= 0) {
        seam->queueWord(Protocol::selectWord(actions.select));
        emit statusText(tr("%1: Ant %2").arg(BandPlan::name(rules.band())).arg(actions.select + 1));
    }

    if (const std::optional<qint64> deadline = rules.nextDeadline())
        settleTimer.start(static_cast<int>(qMax<qint64>(0, *deadline - nowMs())));
    else
        settleTimer.stop();
}
