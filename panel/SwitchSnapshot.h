#pragma once

#include "panel/PanelState.h"

#include <QMetaType>
#include <QString>

#include <array>

// What the switch's last status frame said, whether the panel painted it or
// skipped it (the frame after a key press is not shown, since it may still
// show the antenna before). Safety and learning go by this: it is never a
// key the operator pressed, only what the switch reports.
struct SwitchReport
{
    bool known = false;         // a status frame since the link opened
    quint8 position = 0;
    bool split = false;
    quint8 splitPosition = 0;
    quint8 busyMask = 0;        // bit i: position i busy (already inverted from the wire)
    quint8 superSplitMask = 0;
    bool send = false;

    // From the status frame's bytes (12 of them, "IGT" first).
    static SwitchReport fromStatusFrame(const quint8 *frame);

    bool hasPosition() const { return known && isPosition(position); }
    bool superSplitOn() const { return inMask(superSplitMask, position); }
    bool isBusy(int p) const { return inMask(busyMask, p); }

    bool operator==(const SwitchReport &other) const;
    bool operator!=(const SwitchReport &other) const { return !(*this == other); }
};

// What the panel knows of the switch at one moment, as plain values: the
// link, what the last status and firmware frames said (as the panel shows
// it, operator commands included) and what the operator is doing. Features
// beyond the panel (band follow, the broker bridge) see the switch only
// through this.
struct SwitchSnapshot
{
    bool linkOpen = false;
    QString linkName;             // the port, or broker and topic on a remote panel

    bool firmwareKnown = false;
    quint8 firmwareMajor = 0;
    quint8 firmwareMinor = 0;

    bool power = false;           // the switch has answered since connecting
    bool send = false;            // the switch reports SEND
    quint8 position = 0;          // antenna in use, 0..7; anything else is none
    bool positionShown = false;   // the keys show a position: false until the first
                                  // status frame or key press
    bool splitOn = false;
    quint8 splitPosition = 0;     // split TX partner
    bool superSplitOn = false;    // the position in use is in the super split group
    quint8 superSplitMask = 0;    // bit i: position i in the group
    quint8 superSplitPartner = 0;
    quint8 busyMask = 0;          // bit i: position i busy (already inverted from the wire)
    quint8 rotor = 0;             // 1..4, anything else is none
    bool choosingSplitTx = false;     // the operator is choosing the split TX key
    bool choosingSuperSplit = false;  // the operator is choosing super split antennas
    quint8 superSplitSelection = 0;   // bit i: position i chosen so far, while choosing

    std::array<QString, positionCount> captions;

    SwitchReport reported;        // the last status frame, painted or not

    bool hasPosition() const { return isPosition(position); }
    bool isBusy(int p) const { return inMask(busyMask, p); }
    bool operatorChoosing() const { return choosingSplitTx || choosingSuperSplit; }

    bool operator==(const SwitchSnapshot &other) const;
    bool operator!=(const SwitchSnapshot &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(SwitchSnapshot)
Q_DECLARE_METATYPE(SwitchReport)
