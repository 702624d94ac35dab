#pragma once

#include "band/BandPlan.h"
#include "link/Protocol.h"
#include "panel/PanelState.h"

#include <QString>

#include <array>
#include <optional>

struct SwitchSnapshot;

// Which antenna may be used on which band, which antennas only receive, and
// whether a select of an antenna that is not for the band is refused or only
// warned about. Plain values: antennas.ini is read into them, Antenna Bands
// edits them, the panel asks them before a word is queued and band follow
// before it selects or learns.
//
// - An antenna without a band list may be used on every band; with one, on
//   those bands only. While no band is known every antenna is for it.
// - A receive-only antenna is never made the TX antenna (a split partner),
//   and never selected while anything transmits; selected otherwise, it is
//   warned about (the radio would transmit on it).
// - A select of an antenna not for the band is sent with a warning, or with
//   refuseOffBand not sent at all.
class AntennaRules
{
public:
    // Bit b: band b of the band plan.
    using Bands = quint32;
    static constexpr Bands everyBand = (Bands(1) << BandPlan::count) - 1;

    std::array<std::optional<Bands>, positionCount> bands{};
    quint8 receiveOnlyMask = 0;
    bool refuseOffBand = false;

    // Anything set at all; without it the panel behaves as if there were no
    // rules (refuseOffBand alone restricts nothing).
    bool configured() const;
    bool allowedOn(int position, int band) const;
    bool receiveOnly(int position) const { return inMask(receiveOnlyMask, position); }
    // A set-up band follow may select or learn on the band: the antenna in
    // use and, with split, the TX antenna (-1 without split).
    bool setupAllowed(int band, int position, int splitTx) const;

    enum class Answer { Send, Warn, Refuse };
    struct Verdict
    {
        Answer answer = Answer::Send;
        QString text;   // what the operator is told; empty with Send
    };
    // A command word about to be queued, against the switch as the panel
    // shows it (a select with split on picks the TX antenna), on the band
    // (BandPlan::noBand: none known), while something transmits or not.
    Verdict judge(CommandWord word, const SwitchSnapshot &switchNow, int band, bool transmitting) const;

    // What a key's accessible description adds: "not for 160 m", "receive
    // only", both, or nothing.
    QString keyNote(int position, int band) const;

    // What an editor that started from editedFrom changed, put into rules
    // that have changed meanwhile (the file edited by hand): each antenna's
    // bands, each receive-only mark and the refusal the editor changed are
    // its, the others stay as they are now.
    static AntennaRules merged(const AntennaRules &edited, const AntennaRules &editedFrom, const AntennaRules &now);

    // "Antenna 6 (6m Y)", or "Antenna 6" for a key without a caption.
    static QString antennaName(int position, const QString &caption);

    bool operator==(const AntennaRules &other) const;
    bool operator!=(const AntennaRules &other) const { return !(*this == other); }

private:
    Verdict inUse(int position, const QString &name, int band, bool transmitting) const;
    Verdict asTx(int position, const QString &name, int band) const;
};
