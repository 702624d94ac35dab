#include "band/FollowRules.h"

FollowRules::FollowRules(const BandAntennas &memory)
    : antennas(memory)
{
}

FollowRules::Actions FollowRules::reading(qint64 nowMs, const RigReading &reading)
{
    Actions actions;
    if (!reading.transmitting)
        transmittingSources.remove(reading.source);
    else if (transmittingSources.size() < maxTransmittingSources)
        transmittingSources.insert(reading.source);
    if (!reading.valid && reading.source == readingSource) {
        // The source of the radio's band has lost it (gone quiet, or off
        // every frequency it can tell): nothing is learned for a band the
        // radio may no longer be on.
        readingBand = BandPlan::noBand;
    }
    if (reading.valid) {
        const int band = BandPlan::bandAt(reading.frequencyHz);
        if (band != BandPlan::noBand) {
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
    return decide(nowMs, actions);
}

FollowRules::Actions FollowRules::switchState(qint64 nowMs, const SwitchSnapshot &snapshot)
{
    Actions actions;
    const SwitchSnapshot before = state;
    state = snapshot;

    if (ownTarget >= 0 && (nowMs - ownSinceMs > ownSwitchMs || !snapshot.linkOpen))
        ownTarget = -1;
    // On connecting, the switch gets the band's antenna as on a band change.
    if (!before.linkOpen && snapshot.linkOpen && currentBand != BandPlan::noBand)
        pending = antennas[static_cast<size_t>(currentBand)];

    if (operatorMoved(before, snapshot)) {
        if (snapshot.position == ownTarget)
            ownTarget = -1;
        else
            operatorChose(snapshot.position, actions);
    }
    return decide(nowMs, actions);
}

FollowRules::Actions FollowRules::operatorSelected(qint64 nowMs, int position)
{
    Actions actions;
    if (isPosition(position) && !state.splitOn && !state.superSplitOn && !state.operatorChoosing())
        operatorChose(position, actions);
    return decide(nowMs, actions);
}

void FollowRules::operatorChose(int position, Actions &actions)
{
    // The operator's choice wins until the next band change.
    pending = -1;
    if (currentBand == BandPlan::noBand || readingBand != currentBand)
        return;
    int &remembered = antennas[static_cast<size_t>(currentBand)];
    if (remembered != position) {
        remembered = position;
        actions.learnedPosition = position;
    }
}

FollowRules::Actions FollowRules::tick(qint64 nowMs)
{
    return decide(nowMs, Actions());
}

std::optional<qint64> FollowRules::nextDeadline() const
{
    if (candidateBand == BandPlan::noBand)
        return std::nullopt;
    return candidateSinceMs + settleMs;
}

FollowRules::Actions FollowRules::decide(qint64 nowMs, Actions actions)
{
    settle(nowMs, actions);
    carryOut(nowMs, actions);
    return actions;
}

void FollowRules::settle(qint64 nowMs, Actions &actions)
{
    if (candidateBand == BandPlan::noBand || nowMs - candidateSinceMs < settleMs)
        return;
    currentBand = candidateBand;
    candidateBand = BandPlan::noBand;
    pending = antennas[static_cast<size_t>(currentBand)];
    actions.bandChanged = true;
}

void FollowRules::carryOut(qint64 nowMs, Actions &actions)
{
    if (pending < 0 || held(pending))
        return;
    if (state.position != pending) {
        actions.select = pending;
        ownTarget = pending;
        ownSinceMs = nowMs;
    }
    pending = -1;
}

bool FollowRules::held(int position) const
{
    return readingBand != currentBand || !transmittingSources.isEmpty() || !state.linkOpen || !state.power
           || !state.hasPosition() || state.send || state.splitOn || state.superSplitOn
           || state.operatorChoosing() || state.isBusy(position);
}

bool FollowRules::operatorMoved(const SwitchSnapshot &before, const SwitchSnapshot &after) const
{
    const auto answering = [](const SwitchSnapshot &s) {
        return s.linkOpen && s.power && s.hasPosition();
    };
    const auto pairedOrChoosing = [](const SwitchSnapshot &s) {
        return s.splitOn || s.superSplitOn || s.operatorChoosing();
    };
    return before.position != after.position && answering(before) && answering(after)
           && !pairedOrChoosing(before) && !pairedOrChoosing(after);
}
