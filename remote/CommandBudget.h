#pragma once

#include <QtGlobal>

// How many words commands from the broker may add to the panel's queue. The
// switch is polled between two words from the broker (a command, then a poll
// more than 150 ms later, then the next command: about 300 ms a word), so
// commands must not outrun that: a burst of burstWords, then one word per
// refillMs, no faster than they drain. Times are milliseconds of a monotonic
// clock.
class CommandBudget
{
public:
    static constexpr int burstWords = 10;
    static constexpr qint64 refillMs = 300;

    // True, and the words are spent, when words (1 or more) fit now.
    bool spend(int words, qint64 nowMs);

private:
    qint64 available(qint64 nowMs) const;

    qint64 spentUntilMs = -1; // the budget is full again at this time
};
