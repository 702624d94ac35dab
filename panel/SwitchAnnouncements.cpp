#include "panel/SwitchAnnouncements.h"

#include "panel/AccessibleTexts.h"

#include <QCoreApplication>

namespace SwitchAnnouncements {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("SwitchAnnouncements", text);
}

QString antenna(const SwitchSnapshot &s, int position)
{
    return AccessibleTexts::keyName(s, position);
}

QString group(const SwitchSnapshot &s)
{
    QStringList members;
    for (int p = 0; p < positionCount; ++p) {
        if (inMask(s.superSplitMask, p))
            members << antenna(s, p);
    }
    if (members.isEmpty())
        return tr("Super split group empty.");
    return tr("Super split group: %1.").arg(members.join(QStringLiteral(", ")));
}

} // namespace

QStringList between(const SwitchSnapshot &before, const SwitchSnapshot &after)
{
    QStringList said;
    const bool powerCame = after.power && !before.power;
    if (powerCame)
        said << tr("POWER on.");
    else if (before.power && !after.power)
        said << tr("POWER off.");

    const bool moved = after.position != before.position || !before.positionShown;
    if (after.positionShown && after.hasPosition() && (moved || powerCame))
        said << tr("%1 in use.").arg(antenna(after, after.position));

    if (after.splitOn != before.splitOn) {
        said << (after.splitOn ? tr("Split on: TX on %1.").arg(antenna(after, after.splitPosition))
                               : tr("Split off."));
    } else if (after.splitOn && after.splitPosition != before.splitPosition) {
        said << tr("TX on %1.").arg(antenna(after, after.splitPosition));
    }

    if (after.superSplitMask != before.superSplitMask)
        said << group(after);
    if (after.superSplitOn != before.superSplitOn) {
        said << (after.superSplitOn ? tr("Super split on: partner %1.").arg(antenna(after, after.superSplitPartner))
                                    : tr("Super split off."));
    } else if (after.superSplitOn && after.superSplitPartner != before.superSplitPartner) {
        said << tr("Super split partner %1.").arg(antenna(after, after.superSplitPartner));
    }

    // Each key pressed while choosing super split antennas adds or removes
    // one; the keys show it only at a later status frame.
    if (before.choosingSuperSplit && after.choosingSuperSplit) {
        for (int p = 0; p < positionCount; ++p) {
            const bool was = inMask(before.superSplitSelection, p);
            const bool is = inMask(after.superSplitSelection, p);
            if (was != is)
                said << (is ? tr("%1 chosen for super split.") : tr("%1 not chosen for super split."))
                                  .arg(antenna(after, p));
        }
    }
    return said;
}

} // namespace SwitchAnnouncements
