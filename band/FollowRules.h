#pragma once

#include "band/BandMemory.h"
#include "link/Protocol.h"
#include "panel/SwitchSnapshot.h"
#include "rig/RigReading.h"

#include <QHash>

#include <functional>
#include <optional>

// When to switch antennas with the radio's band, and what to learn from the
// operator. Plain rules: the caller hands in readings, the switch's state and
// the time (ms on any monotonic clock) and carries out what comes back.
//
// The switch is known by what it reports (SwitchSnapshot::reported: every
// status frame, whether the panel painted it or skipped it after a key), and
// by what the panel shows of the link and of the operator's modes.
//
// - A reading on a new band counts once the band has stood for settleMs,
//   however many readings came meanwhile; a radio swept through bands
//   switches once, where it stops, and a reading outside every band
//   changes nothing.
// - On a band change the set-up remembered for the band (its antenna and,
//   when the operator used split there, the split TX antenna) becomes the
//   pending select, unless the switch is already there. It is carried out
//   as the panel's own words would: split off when the switch is in split
//   (a select would pick its TX antenna), the antenna, then split on with
//   the TX antenna; each word once the switch shows the one before. A band
//   remembered without split gets split off. A word may leave only while
//   nothing holds it back, and the panel asks again at the very moment it
//   would write it: transmitting (and hangMs after the last transmit report
//   or SEND), the logger port flooded, SEND, split while nothing is to be
//   restored (or the panel's split and the switch's disagreeing: the
//   operator's word is on its way), super split, the operator mid-choice,
//   the link closed or silent, the antenna busy, the radio off the band, no
//   status frame read since the band counted or since holdEndLeadMs before
//   a hold by time (the hang time, the spacing) ended (a move at the front
//   panel may not have shown yet; a poll is timed for that moment), or less
//   than followSpacingMs
//   since the last select of ours. A newer band change replaces it, a
//   choice of the operator's drops it.
// - What the antenna rules forbid on the band (permitted) is never selected,
//   even when remembered (said once: skipped in Actions), and never learned.
// - A change of antenna or split the panel did not ask for, reported by a
//   connected, answering switch outside super split while the radio is on a
//   band, is the operator's choice (with split, the pair is learned); so is
//   a key the operator pressed, once
//   the switch reports that antenna (a press that never reached the switch
//   teaches nothing). While a select of ours is on its way (sent and not
//   yet shown by the switch, at most inFlightMs) no position change is
//   learned. A choice made within settleMs of a band change, or seen only in
//   the first frame after it counted, belongs to the new band: it is not
//   learned for the old one, and the new band's antenna does not override it.
// - After the switch was silent or the link closed, its own position stands
//   unless the band changed meanwhile (or it is the first time it answers);
//   moved meanwhile, a select still waiting is dropped; not moved, a select
//   of ours that went as it fell silent is made again.
class FollowRules
{
public:
    static constexpr qint64 settleMs = 300;
    static constexpr qint64 defaultHangMs = 500;
    // Time for our own select to show in a status frame: the command's
    // pacing, a poll and the answer, with room to spare.
    static constexpr qint64 inFlightMs = 2000;
    static constexpr qint64 followSpacingMs = 1000;
    // The pause a command keeps after a poll: the frame for the end of a
    // hold by time is polled this long before it ends.
    static constexpr qint64 holdEndLeadMs = 100;
    // A logger speaks when something changes; after this long without a
    // word from it, the radio may be elsewhere.
    static constexpr qint64 loggerStaleMs = 30000;
    // Sources are named by what they send; a flood of made-up names must
    // not grow memory.
    static constexpr int maxSources = 64;

    // Something the operator should read once.
    enum class Notice { None, HeldSilentRig, HeldSilentLogger, Resumed };

    // Why a select waits (the first reason that applies).
    enum class Hold {
        None,
        Transmitting,
        Flooded,
        Send,
        AfterTransmit,
        NotConnected,
        NoAnswer,
        Split,
        SuperSplit,
        Choosing,
        OffBand,
        Busy,
        AwaitingStatus,
        Restoring,   // the word before of a set-up being restored has not shown yet
        Spacing,
    };

    struct Actions
    {
        bool bandChanged = false;
        int learnedBand = BandPlan::noBand;   // with learnedPosition: remembered now
        int learnedPosition = -1;
        int learnedSplitTx = BandMemory::noAntenna;
        Notice notice = Notice::None;
        // A set-up remembered for the band that the rules do not permit there:
        // not selected.
        int skippedBand = BandPlan::noBand;
        int skippedPosition = -1;
        int skippedSplitTx = BandMemory::noAntenna;
    };

    // Whether a set-up may be used on a band: the antenna in use and the
    // split TX antenna (noAntenna without split).
    using Permitted = std::function<bool(int band, int position, int splitTx)>;

    explicit FollowRules(const BandAntennas &memory = BandMemory::empty(), qint64 hangMs = defaultHangMs,
                         const BandAntennas &splitMemory = BandMemory::empty());

    // None: everything is.
    void setPermitted(Permitted permitted) { allows = std::move(permitted); }

    Actions reading(qint64 nowMs, const RigReading &reading);
    Actions switchState(qint64 nowMs, const SwitchSnapshot &snapshot);
    // A status frame was read (after switchState() took in any change).
    Actions statusFrame(qint64 nowMs);
    // A logger port hears far more than any logger sends: packets may have
    // been lost, a transmit report among them.
    Actions loggerFlooded(qint64 nowMs, bool flooded);
    // The operator selected an antenna with a key, perhaps the one in use.
    Actions operatorSelected(qint64 nowMs, int position);
    Actions tick(qint64 nowMs);
    // A choice still waiting to see whether the band changes is learned now,
    // for the band the radio is on (the panel is closing).
    Actions flush();

    // The position band follow wants selected, or -1.
    int pendingSelect() const { return pending; }
    // The word that comes next for it, if any.
    std::optional<CommandWord> pendingWord() const;
    Hold hold(qint64 nowMs) const;
    // True when the pending word may be written now.
    bool mayLeave(qint64 nowMs) const;
    // The pending word has been written to the switch.
    void selectSent(qint64 nowMs);

    // The operator set (or, with -1, forgot) a band's antenna by hand, with
    // split on another TX antenna or without; for the band the radio is on,
    // it becomes the pending select.
    void setRemembered(int band, int position, int splitTx = BandMemory::noAntenna);

    // When something next changes by time alone, if ever.
    std::optional<qint64> nextDeadline(qint64 nowMs) const;
    // From when a status frame is wanted: the moment a band change under
    // way will count, or now while a select waits for one.
    std::optional<qint64> statusWantedAt() const;

    int band() const { return currentBand; }
    bool sourcesTransmitting() const { return anyTransmitting(); }
    // The band the latest trustworthy frequency is in.
    int readingBandAt(qint64 nowMs) const;
    const BandAntennas &memory() const { return antennas; }
    // The split TX antenna remembered with each band's antenna, or noAntenna.
    const BandAntennas &splitMemory() const { return splits; }

private:
    struct Source
    {
        RigReading::Kind kind = RigReading::Kind::Rig;
        qint64 lastMs = 0;
        bool transmitting = false;
        bool answering = true;   // a rig that lost its radio says so
    };
    // The antenna in use and the split TX antenna (-1 without split).
    struct Setup
    {
        int position = -1;
        int splitTx = -1;
        bool operator==(const Setup &other) const { return position == other.position && splitTx == other.splitTx; }
        bool operator!=(const Setup &other) const { return !(*this == other); }
    };
    // The words of a restore, in the order they go.
    enum class Step { None, SplitOff, Select, SplitOn };

    struct Choice
    {
        int position = -1;
        int splitTx = -1;
        qint64 atMs = 0;
        int band = BandPlan::noBand;   // the radio's band when it was made
        bool confirmed = false;        // the switch reports it
    };

    Actions decide(qint64 nowMs, Actions actions);
    void settle(qint64 nowMs, Actions &actions);
    void resolveChoice(qint64 nowMs, Actions &actions);
    void notice(qint64 nowMs, Actions &actions);
    void noteSource(qint64 nowMs, const RigReading &reading);
    void learn(int band, Setup setup, Actions &actions);
    void operatorChose(qint64 nowMs, Setup setup, bool reported);
    void setPending(int band);
    bool pendingPermitted() const;
    Step nextStep() const;
    // The antenna a step moves to, to be free; -1 for none.
    int stepTarget(Step step) const;
    static Setup setupOf(const SwitchReport &report);
    void answeringAgain(const SwitchSnapshot &snapshot);
    bool inFlight(qint64 nowMs) const;
    // From when a status frame must have been read before the pending select
    // may leave: the moment its band counted or holdEndLeadMs before the last
    // hold by time ended (the hang time, the spacing), whichever is later. A move at the front
    // panel made just before shows in that frame.
    std::optional<qint64> freshFrom() const;
    bool awaitingStatus() const;
    bool anyTransmitting() const;
    // A transmitting source that has fallen silent, or none.
    const Source *silentTransmitter(qint64 nowMs) const;
    bool operatorMoved(const SwitchSnapshot &before, const SwitchSnapshot &after) const;
    static bool answering(const SwitchSnapshot &s) { return s.linkOpen && s.power && s.reported.hasPosition(); }
    static bool paired(const SwitchSnapshot &s)
    {
        return s.splitOn || s.superSplitOn || s.reported.split || s.reported.superSplitOn();
    }

    BandAntennas antennas;
    BandAntennas splits;                  // the split TX antenna with each band's, or noAntenna
    Permitted allows;
    qint64 hangMs;
    int currentBand = BandPlan::noBand;
    int readingBand = BandPlan::noBand;   // the band of the latest frequency
    QString readingSource;                // who gave it
    int candidateBand = BandPlan::noBand;
    qint64 candidateSinceMs = 0;
    int pending = -1;                     // position to select for currentBand
    int pendingTx = -1;                   // ... with split on this TX antenna
    int stepsSent = 0;                    // words of the pending set-up written so far
    std::optional<Setup> inFlightTarget;  // what our last word makes the switch show, until it does
    qint64 inFlightSinceMs = 0;
    std::optional<qint64> lastSentMs;
    std::optional<qint64> lastTransmitMs; // last transmit report, or when one ended
    std::optional<Choice> choice;         // the operator's, not yet learned
    bool everHeard = false;               // the switch has answered since start
    int heardBand = BandPlan::noBand;     // the band while it last answered
    Setup setupHeard;                     // its antenna and split when it last answered
    std::optional<Setup> unconfirmed;     // our last select, until the switch shows it
    bool silenceTold = false;
    bool flooded = false;
    std::optional<qint64> countedAtMs;    // when the pending select's band counted
    std::optional<qint64> lastFrameMs;    // when a status frame was last read
    QHash<QString, Source> sources;
    SwitchSnapshot state;
};
