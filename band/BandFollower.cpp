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
    , deadlineTimer(this)
{
    const BandMemory::Setups remembered = memory.loadSetups();
    rules = FollowRules(remembered.antennas, hangMs, remembered.splitTx);
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
    const BandMemory::Setups onFile = memory.loadSetups();
    bool changedAny = false;
    for (size_t band = 0; band < onFile.antennas.size(); ++band) {
        if (rules.memory()[band] != onFile.antennas[band] || rules.splitMemory()[band] != onFile.splitTx[band]) {
            rules.setRemembered(static_cast<int>(band), onFile.antennas[band], onFile.splitTx[band]);
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
        memory.remember(last.learnedBand, last.learnedPosition, last.learnedSplitTx);
}

QString BandFollower::band() const
{
    return BandPlan::key(rules.band());
}

void BandFollower::takeReading(const RigReading &reading)
{
    apply(rules.reading(nowMs(), reading));
}

void BandFollower::setAntennaRules(FollowRules::Permitted permitted, std::function<void()> refresh)
{
    rules.setPermitted(std::move(permitted));
    refreshRules = std::move(refresh);
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
    // A hand edit of the antenna rules counts as soon as it is on disk.
    if (refreshRules)
        refreshRules();
    return rules.mayLeave(nowMs()) && offered == rules.pendingWord();
}

void BandFollower::left()
{
    const int position = rules.pendingSelect();
    const CommandWord word = rules.pendingWord().value_or(Protocol::selectWord(position));
    rules.selectSent(nowMs());
    offered.reset();
    const QString band = BandPlan::name(rules.band());
    if (Protocol::commandLetter(word) == Protocol::selectLetter)
        emit statusText(tr("%1: Ant %2").arg(band).arg(position + 1));
    else if (Protocol::commandOperand(word) == 0)
        emit statusText(tr("%1: split off").arg(band));
    else
        emit statusText(tr("%1: Ant %2, split TX Ant %3").arg(band).arg(position + 1)
                            .arg(Protocol::commandOperand(word) & 0x0F));
    offer();
}

void BandFollower::apply(const FollowRules::Actions &actions)
{
    if (actions.bandChanged)
        emit bandChanged(band());
    if (actions.skippedPosition >= 0)
        emit notForBand(actions.skippedBand, actions.skippedPosition, actions.skippedSplitTx);
    if (actions.learnedPosition >= 0) {
        const bool saved = memory.remember(actions.learnedBand, actions.learnedPosition, actions.learnedSplitTx);
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
    const std::optional<CommandWord> wanted = rules.pendingWord();
    if (wanted != offered) {
        offered = wanted;
        if (wanted)
            seam->placeGuardedWord(*wanted);
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
