#include "band/FollowRules.h"

#include <algorithm>

FollowRules::FollowRules(const BandAntennas &memory, qint64 hangMs)
    : antennas(memory)
    , hangMs(std::max<qint64>(0, hangMs))
{
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

    const bool ours = inFlightTarget >= 0 && report.known && report.position == inFlightTarget;
    const bool flying = inFlight(nowMs);
    if (ours || !snapshot.linkOpen)
        inFlightTarget = -1;
    if (answering(snapshot) && report.position == unconfirmed)
        unconfirmed = -1;

    if (!answering(before) && answering(snapshot))
        answeringAgain(snapshot);
    everHeard = everHeard || answering(snapshot);
    if (answering(snapshot))
        positionHeard = report.position;

    // A key the operator pressed counts once the switch shows it.
    const bool pressConfirmed = choice && !choice->confirmed && answering(snapshot)
                                && report.position == choice->position;
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
            operatorChose(nowMs, report.position, true);
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
        pending = antennas[static_cast<size_t>(currentBand)];
        return;
    }
    // Otherwise its own antenna stands: moved while it was not heard, it is
    // someone's hand at the front panel, and a select waiting is dropped.
    if (everHeard && snapshot.reported.position != positionHeard) {
        pending = -1;
        unconfirmed = -1;
        return;
    }
    // Not moved, but a select of ours went as it fell silent and never
    // showed: it is made again.
    if (unconfirmed >= 0 && pending < 0)
        pending = unconfirmed;
}

FollowRules::Actions FollowRules::operatorSelected(qint64 nowMs, int position)
{
    if (isPosition(position) && !paired(state) && !state.operatorChoosing()) {
        // Already there, the switch has said so; otherwise its report will.
        operatorChose(nowMs, position, answering(state) && state.reported.position == position);
    }
    return decide(nowMs, Actions());
}

void FollowRules::operatorChose(qint64 nowMs, int position, bool reported)
{
    // The operator's choice wins; which band it is for shows within
    // settleMs (a band change may be under way).
    pending = -1;
    unconfirmed = -1;
    choice = Choice{position, nowMs, readingBandAt(nowMs), reported};
}

FollowRules::Actions FollowRules::tick(qint64 nowMs)
{
    return decide(nowMs, Actions());
}

FollowRules::Actions FollowRules::flush()
{
    Actions actions;
    if (choice && choice->confirmed && candidateBand == BandPlan::noBand && choice->band == currentBand)
        learn(currentBand, choice->position, actions);
    choice.reset();
    return actions;
}

void FollowRules::selectSent(qint64 nowMs)
{
    countedAtMs.reset();
    inFlightTarget = pending;
    unconfirmed = pending;
    inFlightSinceMs = nowMs;
    lastSentMs = nowMs;
    pending = -1;
}

void FollowRules::setRemembered(int band, int position)
{
    if (band < 0 || band >= BandPlan::count)
        return;
    antennas[static_cast<size_t>(band)] = isPosition(position) ? position : BandMemory::noAntenna;
    // A new choice for the band the radio is on takes effect at once, as a
    // select of band follow's (the holds, the hang time and the guard at
    // its turn apply); a band change under way decides for itself.
    if (band != currentBand || candidateBand != BandPlan::noBand || !isPosition(position))
        return;
    if (answering(state) && state.reported.position == position) {
        pending = -1;
        return;
    }
    pending = position;
    choice.reset();
    unconfirmed = -1;
}

FollowRules::Actions FollowRules::decide(qint64 nowMs, Actions actions)
{
    settle(nowMs, actions);
    resolveChoice(nowMs, actions);
    if (pending >= 0 && pending == state.reported.position && hold(nowMs) == Hold::None)
        pending = -1;   // already there
    if (pending < 0)
        countedAtMs.reset();
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
            learn(currentBand, choice->position, actions);
            choice.reset();
        } else {
            choice->band = currentBand;
        }
        return;
    }
    pending = antennas[static_cast<size_t>(currentBand)];
    unconfirmed = -1;
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
        learn(currentBand, choice->position, actions);
    choice.reset();
}

void FollowRules::learn(int band, int position, Actions &actions)
{
    if (band == BandPlan::noBand || !isPosition(position))
        return;
    int &remembered = antennas[static_cast<size_t>(band)];
    if (remembered == position)
        return;
    remembered = position;
    actions.learnedBand = band;
    actions.learnedPosition = position;
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
    if (state.splitOn || state.reported.split)
        return Hold::Split;
    if (state.superSplitOn || state.reported.superSplitOn())
        return Hold::SuperSplit;
    if (state.operatorChoosing())
        return Hold::Choosing;
    // A band counted stays the band to select for until a reading says
    // otherwise, however long a hold lasts; only learning wants a fresh one.
    if (readingBand != currentBand)
        return Hold::OffBand;
    if (pending >= 0 && state.reported.isBusy(pending))
        return Hold::Busy;
    if (awaitingStatus())
        return Hold::AwaitingStatus;
    if (lastSentMs && nowMs - *lastSentMs < followSpacingMs)
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
    if (lastTransmitMs)
        later(*lastTransmitMs + hangMs);
    if (lastSentMs)
        later(*lastSentMs + followSpacingMs);
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
    return inFlightTarget >= 0 && nowMs - inFlightSinceMs <= inFlightMs;
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
    const auto pairedOrChoosing = [](const SwitchSnapshot &s) { return paired(s) || s.operatorChoosing(); };
    return before.reported.position != after.reported.position && answering(before) && answering(after)
           && !pairedOrChoosing(before) && !pairedOrChoosing(after);
}
