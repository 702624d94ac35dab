#pragma once

#include <QtGlobal>

#include <array>

constexpr int positionCount = 8;
constexpr int rotorCount = 4;

// True for the antenna positions 0..7; anything else names no key and is
// never part of a mask.
constexpr bool isPosition(int position)
{
    return position >= 0 && position < positionCount;
}

constexpr bool inMask(quint8 mask, int position)
{
    return isPosition(position) && ((mask >> position) & 1u) != 0;
}

// The panel's mirror of the switch plus the operator's modes. Filled by status
// frames and by operator commands; used on the GUI thread only.
struct PanelState
{
    quint8 currentPosition = 0;
    quint8 splitActive = 0;
    quint8 currentRotor = 0;
    quint8 superSplitMask = 0;
    quint8 sendActive = 0;
    quint8 splitPosition = 0;
    quint8 previousPosition = 0;
    quint8 superSplitSelection = 0;
    quint8 choosingSuperSplit = 0;
    quint8 choosingSplitTx = 0;
    quint8 skipNextStatus = 0;
};

// The one process-wide panel state.
extern PanelState panelState;

// How an antenna key looks. Form is the look the window gives a key before
// anything paints it.
enum class KeyLook { Form, Idle, Mask, Active, Partner };
using KeyLooks = std::array<KeyLook, positionCount>;

// Everything the panel shows of the switch, as plain values, so the rules that
// turn frames and commands into a display can run without widgets.
struct PanelDisplay
{
    KeyLooks keys{};
    std::array<bool, positionCount> busy{};
    std::array<bool, rotorCount> rotors{};
    bool split = false;
    bool send = false;
    bool power = false;
    bool superSplit = false;

    bool operator==(const PanelDisplay &other) const;
    bool operator!=(const PanelDisplay &other) const { return !(*this == other); }
};

// Applies one accepted status frame (bytes 0..11, "IGT" first) to the state
// and the display, in the order the panel has always done it.
void applyStatusFrame(PanelState &state, PanelDisplay &display, const quint8 *frame);
