#include "link/CommandQueue.h"

#include <utility>

void CommandQueue::setGuardedWord(GuardedWord guarded)
{
    guardedWord = std::move(guarded);
    refresh();
}

bool CommandQueue::append(CommandWord word, Origin origin)
{
    if (queued.size() >= maxWords)
        return false;
    queued.append(word);
    origins.append(origin);
    refresh();
    return true;
}

CommandQueue::Turn CommandQueue::takeNext()
{
    Turn turn;
    Origin origin = Origin::Feature;
    const bool operatorFirst = !queued.isEmpty() && origins.first() == Origin::Operator;
    const bool guardedRests = guardedRestTurns > 0;
    if (guardedRests)
        --guardedRestTurns;
    if (!operatorFirst && !guardedRests && mayGo(Origin::Feature) && guardedReady() && guardedWord.take) {
        turn.word = guardedWord.take();
        turn.guarded = turn.word.has_value();
        turn.refused = !turn.guarded;
    }
    if (!turn.word && !turn.refused && !queued.isEmpty() && mayGo(origins.first())) {
        turn.word = queued.takeFirst();
        origin = origins.takeFirst();
    }
    // The turn was the guarded word's, but what was read at its start held
    // it back (its owner no longer calls it ready): refused all the same.
    if (!turn.word && !guardedRests && guardedWord.placed && guardedWord.placed())
        turn.refused = true;
    if (turn.word)
        lastWasFeatureWord = origin == Origin::Feature;
    // A refused guarded word gives its turn to a poll and sits out the next
    // turn, so an owner that keeps calling it ready can neither keep the
    // switch unheard nor hold back the features' words behind it.
    if (turn.refused) {
        guardedRestTurns = 1;
        refusedThisTurn = true;
    }
    refresh();
    return turn;
}

bool CommandQueue::guardedReady() const
{
    return guardedRestTurns == 0 && guardedWord.ready && guardedWord.ready();
}

void CommandQueue::guardedWordWritten(CommandWord word)
{
    if (guardedWord.written)
        guardedWord.written(word);
}

void CommandQueue::pollSent()
{
    lastWasFeatureWord = false;
    // The poll of the refused word's own turn does not count as its rest.
    if (!std::exchange(refusedThisTurn, false) && guardedRestTurns > 0)
        --guardedRestTurns;
    refresh();
}

void CommandQueue::refresh()
{
    if (!queued.isEmpty())
        waiting.store(mayGo(origins.first()));
    else
        waiting.store(mayGo(Origin::Feature) && guardedReady());
}

bool CommandQueue::mayGo(Origin origin) const
{
    return origin == Origin::Operator || !lastWasFeatureWord;
}
