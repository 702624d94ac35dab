#pragma once

#include "link/Protocol.h"

#include <QList>

#include <atomic>
#include <functional>
#include <optional>

// The words waiting for the switch, oldest first, each marked with who
// queued it: the operator's own keys and buttons, or a feature (the broker,
// band follow). Beside them waits at most one guarded word, band follow's
// select, which leaves only when its guard allows it at the moment it would
// be written. At each send turn of the poll thread:
// - the oldest queued word goes, unless it is a feature's and the last frame
//   written was a feature's word too: then a poll goes first, so the switch
//   is heard between any two words from features and a flood of them cannot
//   starve the polls (the operator's words keep their pace: no poll while
//   they wait);
// - the guarded word, when ready, goes before the features' queued words
//   (a flood of broker commands never holds back band follow), on the same
//   terms, but never before an operator's word. When its guard refuses it
//   at the turn, the turn is the polls': the switch is heard on, however
//   often the guard's owner thinks the word may go.
// Used on the GUI thread, except wordWaiting(), which the poll thread asks.
class CommandQueue
{
public:
    enum class Origin { Operator, Feature };

    // Beyond this one more word is refused, so a flood never grows memory.
    static constexpr int maxWords = 256;

    struct GuardedWord
    {
        std::function<bool()> ready;                       // as far as its owner knows now
        std::function<std::optional<CommandWord>()> take;  // asks its guard; the word, if it may go
        std::function<bool()> placed;                      // a guarded word waits, ready or not
        std::function<void(CommandWord)> written;          // the word taken has been written
    };

    void setGuardedWord(GuardedWord guarded);

    // What a send turn gives: the word to write now, if any; whether it is
    // the guarded word; and whether the guarded word's guard refused it
    // (the turn then goes to a poll).
    struct Turn
    {
        std::optional<CommandWord> word;
        bool guarded = false;
        bool refused = false;
    };

    // False, and nothing changes, when the queue is full.
    bool append(CommandWord word, Origin origin);
    // The send turn: asks the guarded word's guard when it is the word's turn.
    Turn takeNext();
    // A poll request was written.
    void pollSent();
    // The guarded word this turn took has been written.
    void guardedWordWritten(CommandWord word);
    // A guarded word waits, ready or not.
    bool guardedPlaced() const { return guardedWord.placed && guardedWord.placed(); }
    // The guarded word came, went or changed readiness.
    void refresh();

    // True when a word may go at the next send turn; false lets a poll go.
    bool wordWaiting() const { return waiting.load(); }
    const QList<CommandWord> &words() const { return queued; }
    bool isEmpty() const { return queued.isEmpty(); }

private:
    bool mayGo(Origin origin) const;
    bool guardedReady() const;

    QList<CommandWord> queued;
    QList<Origin> origins;     // beside queued, word by word
    GuardedWord guardedWord;
    bool lastWasFeatureWord = false;
    int guardedRestTurns = 0;        // turns the refused guarded word sits out
    bool refusedThisTurn = false;
    std::atomic<bool> waiting{false};
};
