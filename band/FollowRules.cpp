#include "band/FollowRules.h"

#include <algorithm>

namespace {

// A restore takes three words at most (split off, select, split on).
constexpr int mostSteps = 3;

} // namespace

FollowRules::FollowRules(const BandAntennas &memory, qint64 hangMs, const BandAntennas &splitMemory)
    : antennas(memory)
    , splits(splitMemory)
    , hangMs(std::max<qint64>(0, hangMs))
{
}

FollowRules::Setup FollowRules::setupOf(const SwitchReport &report)
{
    return Setup{report.position, report.split && isPosition(report.splitPosition) ? report.splitPosition : -1};
}

FollowRules::Actions FollowRules::reading(qint64 nowMs, const RigReading &reading)
{
    noteSource(nowMs, reading);
    if (!reading.valid && reading.source == readingSource) {
        // The source of the radio's band has lost it (gone quiet, or off
        // every frequency it can tell): nothing is learned for a band the
        // radio may no longer be on.
        readingBand = BandPlan::noBand;
    }
    if (reading.valid) {
        const int band = BandPlan::bandAt(reading.frequencyHz);
        if (band != BandPlan::noBand) {
            // A band counts by the time it stands, not by how many readings
            // say so: a logger sends two or three for every band of a sweep.
            if (band == currentBand) {
                candidateBand = BandPlan::noBand;
            } else if (band != candidateBand) {
                candidateBand = band;
                candidateSinceMs = nowMs;
            }
        }
        readingBand = band;
        readingSource = reading.source;
    }
    return decide(nowMs, Actions());
}

void FollowRules::noteSource(qint64 nowMs, const RigReading &reading)
{
    auto known = sources.find(reading.source);
    if (known == sources.end()) {
        if (sources.size() >= maxSources) {
            // Make room by forgetting a quiet source; transmitting ones stay,
            // so a flood of names can never release a hold. With every one
            // transmitting, band follow is held anyway.
            const auto quiet = std::find_if(sources.begin(), sources.end(),
                                            [](const Source &s) { return !s.transmitting; });
            if (quiet == sources.end())
                return;
            sources.erase(quiet);
        }
        known = sources.insert(reading.source, Source());
    }
    Source &source = *known;
    if (source.transmitting || reading.transmitting)
        lastTransmitMs = nowMs;
    source.kind = reading.kind;
    source.lastMs = nowMs;
    source.transmitting = reading.transmitting;
    source.answering = reading.valid || reading.kind == RigReading::Kind::Logger;
}

FollowRules::Actions FollowRules::switchState(qint64 nowMs, const SwitchSnapshot &snapshot)
{
    const SwitchSnapshot before = state;
    state = snapshot;
    const SwitchReport &report = snapshot.reported;
    if (before.send || snapshot.send || before.reported.send || report.send)
        lastTransmitMs = nowMs;

    const bool ours = inFlightTarget && report.known && setupOf(report) == *inFlightTarget;
    const bool flying = inFlight(nowMs);
    if (ours || !snapshot.linkOpen)
        inFlightTarget.reset();
    if (answering(snapshot) && unconfirmed && setupOf(report) == *unconfirmed)
        unconfirmed.reset();

    if (!answering(before) && answering(snapshot))
        answeringAgain(snapshot);
    everHeard = everHeard || answering(snapshot);
    if (answering(snapshot))
        setupHeard = setupOf(report);

    // A key the operator pressed counts once the switch shows it.
    const bool pressConfirmed = choice && !choice->confirmed && answering(snapshot)
                                && setupOf(report) == Setup{choice->position, choice->splitTx};
    if (pressConfirmed)
        choice->confirmed = true;
    if (operatorMoved(before, snapshot) && !ours && !pressConfirmed) {
        if (flying) {
            // A status frame from before our select took effect, or a change
            // nobody can tell from ours: not learned.
        } else if (pending >= 0 && hold(nowMs) == Hold::None) {
            // Our select is about to leave and the switch moved: never
            // override what may be the operator's hand, never learn a guess.
            pending = -1;
        } else {
            operatorChose(nowMs, setupOf(report), true);
        }
    }
    return decide(nowMs, Actions());
}

FollowRules::Actions FollowRules::statusFrame(qint64 nowMs)
{
    if (state.linkOpen)
        lastFrameMs = nowMs;
    return decide(nowMs, Actions());
}

FollowRules::Actions FollowRules::loggerFlooded(qint64 nowMs, bool isFlooded)
{
    // A transmit report may have been lost in the flood: its end counts as
    // the end of a transmission.
    if (flooded && !isFlooded)
        lastTransmitMs = nowMs;
    flooded = isFlooded;
    return decide(nowMs, Actions());
}

void FollowRules::answeringAgain(const SwitchSnapshot &snapshot)
{
    // The switch answers (again). A band change since it was last heard, or
    // its first answer since the start, selects the band's antenna.
    if (currentBand != BandPlan::noBand && (!everHeard || currentBand != heardBand)) {
        setPending(currentBand);
        return;
    }
    // Otherwise its own antenna stands: moved while it was not heard, it is
    // someone's hand at the front panel, and a select waiting is dropped.
    if (everHeard && setupOf(snapshot.reported) != setupHeard) {
        pending = -1;
        unconfirmed.reset();
        return;
    }
    // Not moved, but a select of ours went as it fell silent and never
    // showed: it is made again.
    if (unconfirmed && pending < 0) {
        pending = unconfirmed->position;
        pendingTx = unconfirmed->splitTx;
        stepsSent = 0;
    }
}

void FollowRules::setPending(int band)
{
    pending = antennas[static_cast<size_t>(band)];
    pendingTx = pending >= 0 ? splits[static_cast<size_t>(band)] : -1;
    stepsSent = 0;
}

bool FollowRules::pendingPermitted() const
{
    return pending < 0 || !allows || allows(currentBand, pending, pendingTx);
}

FollowRules::Step FollowRules::nextStep() const
{
    if (pending < 0)
        return Step::None;
    const SwitchReport &report = state.reported;
    if (report.split) {
        // A select in split would pick the TX antenna: split goes off first,
        // unless the switch already has the pair.
        return setupOf(report) == Setup{pending, pendingTx} ? Step::None : Step::SplitOff;
    }
    if (report.position != pending)
        return Step::Select;
    return pendingTx >= 0 ? Step::SplitOn : Step::None;
}

int FollowRules::stepTarget(Step step) const
{
    switch (step) {
    case Step::Select:
        return pending;
    case Step::SplitOn:
        return pendingTx;
    case Step::None:
    case Step::SplitOff:
        break;
    }
    return -1;
}

std::optional<CommandWord> FollowRules::pendingWord() const
{
    switch (nextStep()) {
    case Step::SplitOff:
        return Protocol::splitOffWord();
    case Step::Select:
        return Protocol::selectWord(pending);
    case Step::SplitOn:
        return Protocol::splitOnWord(pending, pendingTx);
    case Step::None:
        break;
    }
    return std::nullopt;
}

bool FollowRules::mayLeave(qint64 nowMs) const
{
    return pending >= 0 && nextStep() != Step::None && hold(nowMs) == Hold::None && pendingPermitted();
}

FollowRules::Actions FollowRules::operatorSelected(qint64 nowMs, int position)
{
    if (isPosition(position) && !paired(state) && !state.operatorChoosing()) {
        // Already there, the switch has said so; otherwise its report will.
        const Setup chosen{position, -1};
        operatorChose(nowMs, chosen, answering(state) && setupOf(state.reported) == chosen);
    }
    return decide(nowMs, Actions());
}

void FollowRules::operatorChose(qint64 nowMs, Setup setup, bool reported)
{
    // The operator's choice wins; which band it is for shows within
    // settleMs (a band change may be under way).
    pending = -1;
    unconfirmed.reset();
    choice = Choice{setup.position, setup.splitTx, nowMs, readingBandAt(nowMs), reported};
}

FollowRules::Actions FollowRules::tick(qint64 nowMs)
{
    return decide(nowMs, Actions());
}

FollowRules::Actions FollowRules::flush()
{
    Actions actions;
    if (choice && choice->confirmed && candidateBand == BandPlan::noBand && choice->band == currentBand)
        learn(currentBand, Setup{choice->position, choice->splitTx}, actions);
    choice.reset();
    return actions;
}

void FollowRules::selectSent(qint64 nowMs)
{
    const Setup target{pending, pendingTx};
    Setup shows = target;
    switch (nextStep()) {
    case Step::SplitOff:
        shows = Setup{state.reported.position, -1};
        break;
    case Step::Select:
        shows = Setup{pending, -1};
        break;
    case Step::SplitOn:
    case Step::None:
        break;
    }
    countedAtMs.reset();
    inFlightTarget = shows;
    unconfirmed = target;
    inFlightSinceMs = nowMs;
    lastSentMs = nowMs;
    // The last word of the set-up, or a restore that keeps not taking.
    if (shows == target || ++stepsSent >= mostSteps) {
        pending = -1;
        stepsSent = 0;
    }
}

void FollowRules::setRemembered(int band, int position, int splitTx)
{
    if (band < 0 || band >= BandPlan::count)
        return;
    const bool split = isPosition(position) && isPosition(splitTx) && splitTx != position;
    antennas[static_cast<size_t>(band)] = isPosition(position) ? position : BandMemory::noAntenna;
    splits[static_cast<size_t>(band)] = split ? splitTx : BandMemory::noAntenna;
    // A new choice for the band the radio is on takes effect at once, as a
    // select of band follow's (the holds, the hang time and the guard at
    // its turn apply); a band change under way decides for itself.
    if (band != currentBand || candidateBand != BandPlan::noBand || !isPosition(position))
        return;
    if (answering(state) && setupOf(state.reported) == Setup{position, split ? splitTx : -1}) {
        pending = -1;
        return;
    }
    setPending(band);
    choice.reset();
    unconfirmed.reset();
}

FollowRules::Actions FollowRules::decide(qint64 nowMs, Actions actions)
{
    settle(nowMs, actions);
    resolveChoice(nowMs, actions);
    if (!pendingPermitted()) {
        // Remembered, or set by hand, for a band the antenna rules keep it off.
        actions.skippedBand = currentBand;
        actions.skippedPosition = pending;
        actions.skippedSplitTx = pendingTx;
        pending = -1;
    }
    if (pending >= 0 && stepsSent > 0 && inFlightTarget && nowMs - inFlightSinceMs > inFlightMs)
        pending = -1;   // a word of the restore never showed: the switch did not take it
    if (pending >= 0 && nextStep() == Step::None && hold(nowMs) == Hold::None)
        pending = -1;   // already there
    if (pending < 0) {
        countedAtMs.reset();
        stepsSent = 0;
    }
    if (answering(state))
        heardBand = currentBand;
    notice(nowMs, actions);
    return actions;
}

void FollowRules::settle(qint64 nowMs, Actions &actions)
{
    if (candidateBand == BandPlan::noBand || nowMs - candidateSinceMs < settleMs)
        return;
    currentBand = candidateBand;
    candidateBand = BandPlan::noBand;
    actions.bandChanged = true;
    if (choice) {
        // Chosen around the band change: the operator's, for the new band,
        // once the switch shows it.
        pending = -1;
        if (readingBandAt(nowMs) != currentBand) {
            choice.reset();
        } else if (choice->confirmed) {
            learn(currentBand, Setup{choice->position, choice->splitTx}, actions);
            choice.reset();
        } else {
            choice->band = currentBand;
        }
        return;
    }
    setPending(currentBand);
    unconfirmed.reset();
    // A move at the front panel just before now shows in the next frame.
    countedAtMs = nowMs;
}

void FollowRules::resolveChoice(qint64 nowMs, Actions &actions)
{
    // While a band change is under way the choice waits for it.
    if (!choice || candidateBand != BandPlan::noBand || nowMs - choice->atMs < settleMs)
        return;
    if (!choice->confirmed) {
        // A key whose word never reached the switch teaches nothing.
        if (nowMs - choice->atMs > inFlightMs)
            choice.reset();
        return;
    }
    // Learned for the band the radio was on when the operator chose.
    if (choice->band == currentBand)
        learn(currentBand, Setup{choice->position, choice->splitTx}, actions);
    choice.reset();
}

void FollowRules::learn(int band, Setup setup, Actions &actions)
{
    if (band == BandPlan::noBand || !isPosition(setup.position))
        return;
    const int tx = isPosition(setup.splitTx) && setup.splitTx != setup.position ? setup.splitTx : BandMemory::noAntenna;
    // What the antenna rules forbid on the band is never taken for its antenna.
    if (allows && !allows(band, setup.position, tx))
        return;
    int &remembered = antennas[static_cast<size_t>(band)];
    int &rememberedTx = splits[static_cast<size_t>(band)];
    if (remembered == setup.position && rememberedTx == tx)
        return;
    remembered = setup.position;
    rememberedTx = tx;
    actions.learnedBand = band;
    actions.learnedPosition = setup.position;
    actions.learnedSplitTx = tx;
}

void FollowRules::notice(qint64 nowMs, Actions &actions)
{
    const Source *silent = silentTransmitter(nowMs);
    if (silent && !silenceTold) {
        silenceTold = true;
        actions.notice = silent->kind == RigReading::Kind::Logger ? Notice::HeldSilentLogger : Notice::HeldSilentRig;
    } else if (!silent && silenceTold) {
        silenceTold = false;
        actions.notice = Notice::Resumed;
    }
}

int FollowRules::readingBandAt(qint64 nowMs) const
{
    const auto source = sources.constFind(readingSource);
    if (source != sources.constEnd() && source->kind == RigReading::Kind::Logger
        && nowMs - source->lastMs > loggerStaleMs)
        return BandPlan::noBand;
    return readingBand;
}

FollowRules::Hold FollowRules::hold(qint64 nowMs) const
{
    if (anyTransmitting())
        return Hold::Transmitting;
    if (flooded)
        return Hold::Flooded;
    if (state.send || state.reported.send)
        return Hold::Send;
    if (lastTransmitMs && nowMs - *lastTransmitMs < hangMs)
        return Hold::AfterTransmit;
    if (!state.linkOpen)
        return Hold::NotConnected;
    if (!state.power || !state.reported.hasPosition())
        return Hold::NoAnswer;
    // A set-up to restore deals with split itself; otherwise split holds,
    // and so does a split word of the operator's still on its way.
    if (state.splitOn != state.reported.split || (state.reported.split && pending < 0))
        return Hold::Split;
    if (state.superSplitOn || state.reported.superSplitOn())
        return Hold::SuperSplit;
    if (state.operatorChoosing())
        return Hold::Choosing;
    // A band counted stays the band to select for until a reading says
    // otherwise, however long a hold lasts; only learning wants a fresh one.
    if (readingBand != currentBand)
        return Hold::OffBand;
    if (pending >= 0 && state.reported.isBusy(stepTarget(nextStep())))
        return Hold::Busy;
    if (awaitingStatus())
        return Hold::AwaitingStatus;
    // The words of one restore follow each other as the switch shows them;
    // restores are a second apart.
    if (pending >= 0 && stepsSent > 0 && inFlight(nowMs))
        return Hold::Restoring;
    if (stepsSent == 0 && lastSentMs && nowMs - *lastSentMs < followSpacingMs)
        return Hold::Spacing;
    return Hold::None;
}

std::optional<qint64> FollowRules::freshFrom() const
{
    std::optional<qint64> from = countedAtMs;
    const auto later = [&from](qint64 at) {
        if (!from || at > *from)
            from = at;
    };
    // A hold by time may take its frame from a poll that leaves a command's
    // spacing before it ends: the select can then go as the hold ends.
    if (lastTransmitMs)
        later(*lastTransmitMs + hangMs - holdEndLeadMs);
    // Within a restore each word follows the frame that shows the one
    // before; the spacing (and its fresh frame) is between restores.
    if (lastSentMs && stepsSent == 0)
        later(*lastSentMs + followSpacingMs - holdEndLeadMs);
    return from;
}

bool FollowRules::awaitingStatus() const
{
    if (pending < 0)
        return false;
    const std::optional<qint64> from = freshFrom();
    return from && (!lastFrameMs || *lastFrameMs < *from);
}

bool FollowRules::inFlight(qint64 nowMs) const
{
    return inFlightTarget && nowMs - inFlightSinceMs <= inFlightMs;
}

bool FollowRules::anyTransmitting() const
{
    return std::any_of(sources.begin(), sources.end(), [](const Source &s) { return s.transmitting; });
}

const FollowRules::Source *FollowRules::silentTransmitter(qint64 nowMs) const
{
    for (const Source &source : sources) {
        if (!source.transmitting)
            continue;
        const bool silent = source.kind == RigReading::Kind::Logger ? nowMs - source.lastMs > loggerStaleMs
                                                                    : !source.answering;
        if (silent)
            return &source;
    }
    return nullptr;
}

std::optional<qint64> FollowRules::nextDeadline(qint64 nowMs) const
{
    std::optional<qint64> next;
    const auto consider = [&next, nowMs](qint64 at) {
        if (at > nowMs && (!next || at < *next))
            next = at;
    };
    if (candidateBand != BandPlan::noBand)
        consider(candidateSinceMs + settleMs);
    else if (choice)
        consider(choice->atMs + (choice->confirmed ? settleMs : inFlightMs + 1));
    // The end of the hang time changes what holds band follow, pending
    // select or not (the status bar shows it).
    if (lastTransmitMs)
        consider(*lastTransmitMs + hangMs);
    if (pending >= 0 && lastSentMs)
        consider(*lastSentMs + followSpacingMs);
    // A word of a restore that does not show gives the restore up.
    if (pending >= 0 && stepsSent > 0 && inFlightTarget)
        consider(inFlightSinceMs + inFlightMs + 1);
    // A logger that stops speaking while transmitting is told about.
    for (const Source &source : sources) {
        if (source.kind == RigReading::Kind::Logger && source.transmitting)
            consider(source.lastMs + loggerStaleMs + 1);
    }
    return next;
}

std::optional<qint64> FollowRules::statusWantedAt() const
{
    // Only for a band with an antenna to select: a poll timed for nothing
    // would only add traffic.
    if (candidateBand != BandPlan::noBand)
        return isPosition(antennas[static_cast<size_t>(candidateBand)]) && !choice
                   ? std::optional<qint64>(candidateSinceMs + settleMs)
                   : std::nullopt;
    // A switch that is not heard (closed, silent) is polled as ever.
    if (awaitingStatus() && answering(state))
        return freshFrom();
    return std::nullopt;
}

bool FollowRules::operatorMoved(const SwitchSnapshot &before, const SwitchSnapshot &after) const
{
    // Split is part of what is learned; super split and a choice half made
    // are not.
    const auto superSplitOrChoosing = [](const SwitchSnapshot &s) {
        return s.superSplitOn || s.reported.superSplitOn() || s.operatorChoosing();
    };
    return setupOf(before.reported) != setupOf(after.reported) && answering(before) && answering(after)
           && !superSplitOrChoosing(before) && !superSplitOrChoosing(after);
}
