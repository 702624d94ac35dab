#pragma once

#include <QtGlobal>

// How many words commands from the broker may add to the panel's queue. The
// queue sends one word every 125 to 150 ms and no poll goes out while words
// wait, so commands must not outrun it: a burst of burstWords, then one word
// per refillMs, a little slower than the queue drains. Times are
// milliseconds of a monotonic clock.
class CommandBudget
{
public:
    static constexpr int burstWords = 10;
    static constexpr qint64 refillMs = 160;

    // True, and the words are spent, when words (1 or more) fit now.
    bool spend(int words, qint64 nowMs);

private:
    qint64 available(qint64 nowMs) const;

    qint64 spentUntilMs = -1; // the budget is full again at this time
};
