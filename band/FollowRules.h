#pragma once

#include "band/BandMemory.h"
#include "panel/SwitchSnapshot.h"
#include "rig/RigReading.h"

#include <QSet>

#include <optional>

// When to switch antennas with the radio's band, and what to learn from the
// operator. Plain rules: the caller hands in readings, the switch's state and
// the time (ms on any monotonic clock) and carries out what comes back.
//
// - A reading on a new band counts once it has held for settleMs; a reading
//   outside every band changes nothing.
// - On a band change the antenna remembered for the band is selected unless
//   the switch is already there. It waits while anything holds it back
//   (transmitting, SEND, split or super split, the operator mid-choice, the
//   link closed or silent, the antenna busy, the radio off the band) and is
//   dropped by a newer band change or by a choice of the operator's.
// - A position change the panel did not ask for, made on a connected,
//   answering switch outside split and super split while the radio is on a
//   band, is the operator's choice: it is remembered for that band.
class FollowRules
{
public:
    static constexpr qint64 settleMs = 30;
    // Time for our own select to show in a status frame: the command's
    // pacing, a poll and the answer, with room to spare.
    static constexpr qint64 ownSwitchMs = 2000;
    // Sources are named by what they send; a flood of made-up names must
    // not grow memory. Past this many, one more changes nothing: already held.
    static constexpr int maxTransmittingSources = 64;

    struct Actions
    {
        int select = -1;              // position to select now, or -1
        bool bandChanged = false;
        int learnedPosition = -1;     // remembered for the current band, or -1

        bool any() const { return select >= 0 || bandChanged || learnedPosition >= 0; }
    };

    explicit FollowRules(const BandAntennas &memory = BandMemory::empty());

    Actions reading(qint64 nowMs, const RigReading &reading);
    Actions switchState(qint64 nowMs, const SwitchSnapshot &snapshot);
    // The operator selected an antenna with a key, perhaps the one in use.
    Actions operatorSelected(qint64 nowMs, int position);
    Actions tick(qint64 nowMs);

    // When tick() next has something to decide, if ever.
    std::optional<qint64> nextDeadline() const;

    int band() const { return currentBand; }
    const BandAntennas &memory() const { return antennas; }

private:
    // After any event: a band that has settled, then a select that may go.
    Actions decide(qint64 nowMs, Actions actions);
    void settle(qint64 nowMs, Actions &actions);
    void carryOut(qint64 nowMs, Actions &actions);
    bool held(int position) const;
    bool operatorMoved(const SwitchSnapshot &before, const SwitchSnapshot &after) const;
    void operatorChose(int position, Actions &actions);

    BandAntennas antennas;
    int currentBand = BandPlan::noBand;
    int readingBand = BandPlan::noBand;   // the band of the latest frequency
    QString readingSource;                // who gave it
    int candidateBand = BandPlan::noBand;
    qint64 candidateSinceMs = 0;
    int pending = -1;                     // position to select for currentBand
    int ownTarget = -1;                   // position we selected, until it shows
    qint64 ownSinceMs = 0;
    QSet<QString> transmittingSources;
    SwitchSnapshot state;
};
