#include "band/BandFollower.h"

#include "link/MonotonicClock.h"
#include "link/Protocol.h"
#include "panel/SwitchSeam.h"

#include <QDir>
#include <QFileInfo>

BandFollower::BandFollower(SwitchSeam *seam, const QString &memoryPath, qint64 hangMs, QObject *parent)
    : QObject(parent)
    , seam(seam)
    , memory(memoryPath)
    , rules(memory.load(), hangMs)
    , deadlineTimer(this)
{
    qRegisterMetaType<RigReading>();
    deadlineTimer.setSingleShot(true);
    deadlineTimer.setTimerType(Qt::PreciseTimer);
    connect(&deadlineTimer, &QTimer::timeout, this, [this] { apply(rules.tick(nowMs())); });
    connect(seam, &SwitchSeam::stateChanged, this, &BandFollower::switchStateChanged);
    connect(seam, &SwitchSeam::statusReported, this, &BandFollower::statusFrameRead);
    connect(seam, &SwitchSeam::operatorSelected, this,
            [this](int position) { apply(rules.operatorSelected(nowMs(), position)); });
    seam->setGuard({[this] { return mayLeaveNow(); }, [this](CommandWord) { left(); }});
    connect(&memoryWatcher, &QFileSystemWatcher::fileChanged, this, &BandFollower::memoryFileChanged);
    connect(&memoryWatcher, &QFileSystemWatcher::directoryChanged, this, &BandFollower::memoryFileChanged);
    watchMemoryFile();
    apply(rules.switchState(nowMs(), seam->snapshot()));
}

void BandFollower::watchMemoryFile()
{
    // A file rewritten by renaming a new one over it is a new file to watch;
    // one not there yet shows in its folder.
    const QFileInfo file(memory.path());
    if (file.exists() && !memoryWatcher.files().contains(file.filePath()))
        memoryWatcher.addPath(file.filePath());
    if (file.dir().exists() && !memoryWatcher.directories().contains(file.dir().path()))
        memoryWatcher.addPath(file.dir().path());
}

void BandFollower::memoryFileChanged()
{
    watchMemoryFile();
    const BandAntennas onFile = memory.load();
    bool changedAny = false;
    for (int band = 0; band < BandPlan::count; ++band) {
        if (rules.memory()[static_cast<size_t>(band)] != onFile[static_cast<size_t>(band)]) {
            rules.setRemembered(band, onFile[static_cast<size_t>(band)]);
            changedAny = true;
        }
    }
    if (changedAny)
        apply(FollowRules::Actions());
}

qint64 BandFollower::nowMs()
{
    return MonotonicClock::nowMs();
}

BandFollower::~BandFollower()
{
    seam->setGuard({});
    seam->withdrawGuardedWord();
    if (statusAsked)
        seam->wantStatusAt(std::nullopt);
    const FollowRules::Actions last = rules.flush();
    if (last.learnedPosition >= 0)
        memory.remember(last.learnedBand, last.learnedPosition);
}

QString BandFollower::band() const
{
    return BandPlan::key(rules.band());
}

void BandFollower::takeReading(const RigReading &reading)
{
    apply(rules.reading(nowMs(), reading));
}

bool BandFollower::setRemembered(int band, int position)
{
    rules.setRemembered(band, position);
    const bool saved = isPosition(position) ? memory.remember(band, position) : memory.forget(band);
    apply(FollowRules::Actions());
    return saved;
}

void BandFollower::reconsider()
{
    apply(rules.tick(nowMs()));
}

void BandFollower::switchStateChanged(const SwitchSnapshot &snapshot)
{
    apply(rules.switchState(nowMs(), snapshot));
}

void BandFollower::statusFrameRead()
{
    apply(rules.statusFrame(nowMs()));
}

void BandFollower::loggerFlooded(bool flooded)
{
    apply(rules.loggerFlooded(nowMs(), flooded));
    emit statusText(flooded ? tr("Band follow held: logger port flooded") : tr("Band follow resumed"));
}

bool BandFollower::mayLeaveNow()
{
    // News already at the door (a logger's transmit packet, a rig reading
    // queued from its thread) counts before the select may go.
    if (freshenSources && !freshenSources())
        return false;
    return rules.mayLeave(nowMs()) && offered == rules.pendingSelect();
}

void BandFollower::left()
{
    const int position = rules.pendingSelect();
    rules.selectSent(nowMs());
    offered = -1;
    emit statusText(tr("%1: Ant %2").arg(BandPlan::name(rules.band())).arg(position + 1));
    offer();
}

void BandFollower::apply(const FollowRules::Actions &actions)
{
    if (actions.bandChanged)
        emit bandChanged(band());
    if (actions.learnedPosition >= 0) {
        const bool saved = memory.remember(actions.learnedBand, actions.learnedPosition);
        if (!saved && !saveFailureShown)
            emit problem(tr("Cannot save the band memory"), tr("Cannot save the band memory to %1; what was learned "
                                                                "holds for this run only.").arg(memory.path()));
        saveFailureShown = !saved;
    }
    switch (actions.notice) {
    case FollowRules::Notice::None:
        break;
    case FollowRules::Notice::HeldSilentRig:
        emit statusText(tr("Band follow held: rig silent while transmitting"));
        break;
    case FollowRules::Notice::HeldSilentLogger:
        emit statusText(tr("Band follow held: logger silent while transmitting"));
        break;
    case FollowRules::Notice::Resumed:
        emit statusText(tr("Band follow resumed"));
        break;
    }
    offer();
}

void BandFollower::offer()
{
    const int wanted = rules.pendingSelect();
    if (wanted != offered) {
        offered = wanted;
        if (wanted >= 0)
            seam->placeGuardedWord(Protocol::selectWord(wanted));
        else
            seam->withdrawGuardedWord();
    }
    seam->setGuardedWordReady(rules.mayLeave(nowMs()));
    const std::optional<qint64> statusWanted = rules.statusWantedAt();
    if (statusWanted != statusAsked) {
        statusAsked = statusWanted;
        seam->wantStatusAt(statusWanted);
    }

    if (const std::optional<qint64> deadline = rules.nextDeadline(nowMs()))
        deadlineTimer.start(static_cast<int>(qMax<qint64>(0, *deadline - nowMs())));
    else
        deadlineTimer.stop();
    emit changed();
}
