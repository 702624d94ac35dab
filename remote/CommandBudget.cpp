#include "remote/CommandBudget.h"

#include <algorithm>

qint64 CommandBudget::available(qint64 nowMs) const
{
    if (spentUntilMs < 0 || nowMs >= spentUntilMs)
        return burstWords;
    // Each word spent holds the budget for refillMs.
    const qint64 held = (spentUntilMs - nowMs + refillMs - 1) / refillMs;
    return std::max<qint64>(0, burstWords - held);
}

bool CommandBudget::spend(int words, qint64 nowMs)
{
    if (words > available(nowMs))
        return false;
    spentUntilMs = std::max(spentUntilMs, nowMs) + words * refillMs;
    return true;
}
