#include "panel/AccessibleTexts.h"

#include <QCoreApplication>
#include <QStringList>

namespace AccessibleTexts {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("AccessibleTexts", text);
}

// Characters that draw nothing: C0 and C1 controls, and format characters
// such as direction marks and overrides.
bool invisible(QChar::Category category)
{
    return category == QChar::Other_Control || category == QChar::Other_Format;
}

} // namespace

QString speakable(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            if (!invisible(QChar::category(QChar::surrogateToUcs4(c, text.at(i + 1)))))
                kept.append(c).append(text.at(i + 1));
            ++i;
            continue;
        }
        if (c.isSurrogate() || invisible(c.category()))
            continue;
        kept.append(c);
    }
    return kept.simplified();
}

QString keyName(int position, const QString &caption)
{
    const QString name = tr("Antenna %1").arg(position + 1);
    const QString spoken = speakable(caption);
    return spoken.isEmpty() ? name : name + QLatin1Char(' ') + spoken;
}

QString keyName(const SwitchSnapshot &snapshot, int position)
{
    return keyName(position, isPosition(position) ? snapshot.captions[static_cast<size_t>(position)] : QString());
}

QString keyDescription(const SwitchSnapshot &s, int position)
{
    QStringList says;
    // Until the first status frame or key press the keys show nothing, so
    // nothing is claimed about them.
    if (s.positionShown && s.position == position)
        says << tr("in use");
    if (s.positionShown && s.choosingSuperSplit) {
        // While choosing, the keys show the selection being made instead of
        // the pairs.
        if (inMask(s.superSplitSelection, position))
            says << tr("chosen for super split");
    } else if (s.positionShown) {
        // A super split pair is shown in place of a split pair.
        if (s.splitOn && !s.superSplitOn && s.splitPosition == position)
            says << tr("TX antenna");
        if (inMask(s.superSplitMask, position))
            says << tr("in super split group");
        if (s.superSplitOn && s.superSplitPartner == position)
            says << tr("super split partner");
    }
    if (s.isBusy(position))
        says << tr("busy");
    return says.join(QStringLiteral(", "));
}

QString busyName(int position)
{
    return tr("Antenna %1 busy").arg(position + 1);
}

QString rotorDescription(int rotor)
{
    return tr("Rotor %1").arg(rotor);
}

} // namespace AccessibleTexts
