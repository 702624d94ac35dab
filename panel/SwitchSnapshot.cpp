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
           && superSplitSelection == other.superSplitSelection && captions == other.captions
           && reported == other.reported;
}

namespace {

// Byte offsets within a status frame.
constexpr int positionByte = 3;
constexpr int splitByte = 4;
constexpr int busyByte = 5;
constexpr int superSplitMaskByte = 7;
constexpr int sendByte = 8;
constexpr int splitPositionByte = 9;

} // namespace

SwitchReport SwitchReport::fromStatusFrame(const quint8 *frame)
{
    SwitchReport report;
    report.known = true;
    report.position = frame[positionByte];
    report.split = frame[splitByte] == 1;
    report.splitPosition = frame[splitPositionByte];
    // Busy inputs are active low.
    report.busyMask = static_cast<quint8>(~frame[busyByte]);
    report.superSplitMask = frame[superSplitMaskByte];
    // Anything but 0 may be the switch sending: held rather than guessed.
    report.send = frame[sendByte] != 0;
    return report;
}

bool SwitchReport::operator==(const SwitchReport &other) const
{
    return known == other.known && position == other.position && split == other.split
           && splitPosition == other.splitPosition && busyMask == other.busyMask
           && superSplitMask == other.superSplitMask && send == other.send;
}
