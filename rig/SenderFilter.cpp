#include "rig/SenderFilter.h"

#include <algorithm>

bool SenderFilter::accepts(const QHostAddress &sender) const
{
    return !restricted
           || std::any_of(senders.begin(), senders.end(), [&sender](const AllowedSender &s) { return s.matches(sender); });
}
