#pragma once

#include "link/Protocol.h"
#include "panel/SwitchSnapshot.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// Commands that arrive as JSON on BASE/set, turned into the command words the
// panel's own keys and buttons queue. One command per message:
//   {"antenna":3}             antenna 3 (1..8), as its key does: it selects
//                             it, or with split on picks the TX antenna, or
//                             (the antenna in use) switches split off
//   {"rotor":2}               select rotor 2 (1..4); 0 releases the selected one
//   {"split":{"tx":5}}        split on, TX on antenna 5
//   {"split":false}           split off
//   {"superSplit":[1,3]}      super split group; [] or false empties it
//   {"word":N}                a word as a remote panel queues it (0..65535)
// Anything else yields no word and a reason. The snapshot's position is the
// antenna in use once the words already queued have been carried out.
namespace CommandJson {

// Longer messages are refused before they are parsed.
constexpr int maxMessageBytes = 512;
// The offending command is quoted in an error report up to this length.
constexpr int maxQuotedBytes = 200;

struct Outcome
{
    QVector<CommandWord> words; // to queue, in order; may be empty (nothing to change)
    QString error;              // why nothing is queued; empty when accepted
};

Outcome parse(const QByteArray &message, const SwitchSnapshot &snapshot);

// Whether a word the panel could send fits the switch now: split-on and
// rotor words carry the antenna in use, and one made for another antenna
// would move the switch away from it.
bool fitsTheSwitch(CommandWord word, const SwitchSnapshot &snapshot);

// True for the words the panel's own controls can queue: select 0..7, split
// on (positions 1..8 in both nibbles) or off, any super split group, rotor
// 0..4 for position 1..8. Nothing else ever reaches the switch from a broker.
bool panelCouldSend(CommandWord word);

// The message a remote panel publishes for one of its queued words.
QByteArray wordMessage(CommandWord word);

// The report published on BASE/error: the reason, the command, cut short,
// and the user who sent it when the command came on BASE/set/USER.
QByteArray errorMessage(const QString &reason, const QByteArray &command, const QString &user = QString());

// The same for a command that was sent, with what the operator is warned
// of: {"warning":...,"command":...}; without a command, a warning of the
// panel's own (the switch transmitting on an antenna not for the band).
QByteArray warningMessage(const QString &warning, const QByteArray &command = QByteArray(),
                          const QString &user = QString());

} // namespace CommandJson
