#include "panel/SnapshotOfPanel.h"

SwitchSnapshot snapshotOfPanel(const PanelState &state, const PanelDisplay &display, const QStringList &captions,
                               const LinkFacts &link)
{
    SwitchSnapshot s;
    s.linkOpen = link.open;
    s.linkName = link.open ? link.name : QString();
    s.firmwareKnown = link.firmwareKnown;
    s.firmwareMajor = link.firmwareMajor;
    s.firmwareMinor = link.firmwareMinor;
    s.power = display.power;
    s.send = state.sendActive == 1;
    s.position = state.currentPosition;
    // The keys show a position once something painted them.
    s.positionShown = display.keys[0] != KeyLook::Form;
    s.splitOn = state.splitActive == 1;
    s.splitPosition = state.splitPosition;
    s.superSplitOn = inMask(state.superSplitMask, state.currentPosition);
    s.superSplitMask = state.superSplitMask;
    s.superSplitPartner = state.previousPosition;
    for (int i = 0; i < positionCount; ++i) {
        if (display.busy[static_cast<size_t>(i)])
            s.busyMask |= static_cast<quint8>(1u << i);
        s.captions[static_cast<size_t>(i)] = captions.value(i);
    }
    s.rotor = state.currentRotor;
    s.choosingSplitTx = state.choosingSplitTx != 0;
    s.choosingSuperSplit = state.choosingSuperSplit != 0;
    s.superSplitSelection = state.superSplitSelection;
    s.reported = link.open ? link.report : SwitchReport();
    return s;
}
