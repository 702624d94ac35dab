#include "panel/SwitchSnapshot.h"

bool SwitchSnapshot::operator==(const SwitchSnapshot &other) const
{
    return linkOpen == other.linkOpen && linkName == other.linkName
           && firmwareKnown == other.firmwareKnown && firmwareMajor == other.firmwareMajor
           && firmwareMinor == other.firmwareMinor && power == other.power && send == other.send
           && position == other.position
           && positionShown == other.positionShown && splitOn == other.splitOn
           && splitPosition == other.splitPosition && superSplitOn == other.superSplitOn
           && superSplitMask == other.superSplitMask
           && superSplitPartner == other.superSplitPartner && busyMask == other.busyMask
           && rotor == other.rotor && choosingSplitTx == other.choosingSplitTx
           && choosingSuperSplit == other.choosingSuperSplit
           && superSplitSelection == other.superSplitSelection && captions == other.captions;
}
