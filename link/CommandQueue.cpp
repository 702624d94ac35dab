#include "link/CommandQueue.h"

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

std::optional<CommandWord> CommandQueue::takeNext()
{
    std::optional<CommandWord> word;
    Origin origin = Origin::Feature;
    const bool operatorFirst = !queued.isEmpty() && origins.first() == Origin::Operator;
    if (!operatorFirst && mayGo(Origin::Feature) && guardedReady() && guardedWord.take)
        word = guardedWord.take();
    if (!word && !queued.isEmpty() && mayGo(origins.first())) {
        word = queued.takeFirst();
        origin = origins.takeFirst();
    }
    if (word)
        lastWasFeatureWord = origin == Origin::Feature;
    refresh();
    return word;
}

bool CommandQueue::guardedReady() const
{
    return guardedWord.ready && guardedWord.ready();
}

void CommandQueue::pollSent()
{
    lastWasFeatureWord = false;
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
