#include "band/AntennaRules.h"

#include "panel/AccessibleTexts.h"
#include "panel/SwitchSnapshot.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("AntennaRules", text);
}

AntennaRules::Verdict verdict(AntennaRules::Answer answer, const QString &text)
{
    return AntennaRules::Verdict{answer, text};
}

QString captionOf(const SwitchSnapshot &s, int position)
{
    return isPosition(position) ? s.captions[static_cast<size_t>(position)] : QString();
}

} // namespace

bool AntennaRules::configured() const
{
    if (receiveOnlyMask != 0)
        return true;
    for (const std::optional<Bands> &list : bands) {
        if (list)
            return true;
    }
    return false;
}

bool AntennaRules::allowedOn(int position, int band) const
{
    if (!isPosition(position) || band < 0 || band >= BandPlan::count)
        return true;
    const std::optional<Bands> &list = bands[static_cast<size_t>(position)];
    return !list || (*list & (Bands(1) << band)) != 0;
}

bool AntennaRules::setupAllowed(int band, int position, int splitTx) const
{
    if (!allowedOn(position, band))
        return false;
    // Without split the antenna in use is the one the radio transmits on.
    if (!isPosition(splitTx))
        return !receiveOnly(position);
    return allowedOn(splitTx, band) && !receiveOnly(splitTx);
}

AntennaRules::Verdict AntennaRules::judge(CommandWord word, const SwitchSnapshot &s, int band,
                                          bool transmitting) const
{
    if (!configured())
        return Verdict();
    const quint8 operand = Protocol::commandOperand(word);
    switch (Protocol::commandLetter(word)) {
    case Protocol::selectLetter: {
        const int position = operand;
        if (!isPosition(position))
            return Verdict();
        const QString name = antennaName(position, captionOf(s, position));
        // With split on, another antenna's key picks the TX antenna, as the
        // switch takes it.
        if (s.splitOn && s.hasPosition() && position != s.position)
            return asTx(position, name, band);
        return inUse(position, name, band, transmitting);
    }
    case Protocol::splitLetter: {
        if (operand != 0) {
            const int tx = (operand & 0x0F) - 1;
            return asTx(tx, antennaName(tx, captionOf(s, tx)), band);
        }
        // Split off: the antenna in use is the TX antenna again.
        if (!s.splitOn || !s.hasPosition() || !receiveOnly(s.position))
            return Verdict();
        const QString name = antennaName(s.position, captionOf(s, s.position));
        if (transmitting)
            return verdict(Answer::Refuse, tr("%1 is receive only; split stays on while transmitting").arg(name));
        return verdict(Answer::Warn, tr("%1 is receive only").arg(name));
    }
    default:
        return Verdict();
    }
}

AntennaRules::Verdict AntennaRules::inUse(int position, const QString &name, int band, bool transmitting) const
{
    if (receiveOnly(position) && transmitting)
        return verdict(Answer::Refuse, tr("%1 is receive only; not selected while transmitting").arg(name));
    if (!allowedOn(position, band)) {
        const QString text = tr("%1 is not for %2").arg(name, BandPlan::name(band));
        return refuseOffBand ? verdict(Answer::Refuse, tr("%1; not selected").arg(text)) : verdict(Answer::Warn, text);
    }
    if (receiveOnly(position))
        return verdict(Answer::Warn, tr("%1 is receive only").arg(name));
    return Verdict();
}

AntennaRules::Verdict AntennaRules::asTx(int position, const QString &name, int band) const
{
    if (!isPosition(position))
        return Verdict();
    if (receiveOnly(position))
        return verdict(Answer::Refuse, tr("%1 is receive only; not made the TX antenna").arg(name));
    if (!allowedOn(position, band)) {
        const QString text = tr("%1 is not for %2").arg(name, BandPlan::name(band));
        return refuseOffBand ? verdict(Answer::Refuse, tr("%1; not made the TX antenna").arg(text))
                             : verdict(Answer::Warn, text);
    }
    return Verdict();
}

QString AntennaRules::keyNote(int position, int band) const
{
    QStringList notes;
    if (!allowedOn(position, band))
        notes << tr("not for %1").arg(BandPlan::name(band));
    if (receiveOnly(position))
        notes << tr("receive only");
    return notes.join(QStringLiteral(", "));
}

QString AntennaRules::antennaName(int position, const QString &caption)
{
    const QString name = tr("Antenna %1").arg(position + 1);
    const QString shown = AccessibleTexts::speakable(caption);
    return shown.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, shown);
}

AntennaRules AntennaRules::merged(const AntennaRules &edited, const AntennaRules &editedFrom, const AntennaRules &now)
{
    AntennaRules result = now;
    for (size_t p = 0; p < edited.bands.size(); ++p) {
        if (edited.bands[p] != editedFrom.bands[p])
            result.bands[p] = edited.bands[p];
    }
    const quint8 changedMarks = edited.receiveOnlyMask ^ editedFrom.receiveOnlyMask;
    result.receiveOnlyMask = static_cast<quint8>((now.receiveOnlyMask & ~changedMarks)
                                                 | (edited.receiveOnlyMask & changedMarks));
    if (edited.refuseOffBand != editedFrom.refuseOffBand)
        result.refuseOffBand = edited.refuseOffBand;
    return result;
}

bool AntennaRules::operator==(const AntennaRules &other) const
{
    return bands == other.bands && receiveOnlyMask == other.receiveOnlyMask && refuseOffBand == other.refuseOffBand;
}
