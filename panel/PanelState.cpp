#include "panel/PanelState.h"

#include "panel/KeyPainting.h"

PanelState panelState;

namespace {

// Byte offsets within a status frame.
constexpr int positionByte = 3;
constexpr int splitByte = 4;
constexpr int busyByte = 5;
constexpr int rotorByte = 6;
constexpr int superSplitMaskByte = 7;
constexpr int sendByte = 8;
constexpr int splitPositionByte = 9;
constexpr int previousPositionByte = 10;

} // namespace

bool PanelDisplay::operator==(const PanelDisplay &other) const
{
    return keys == other.keys && busy == other.busy && rotors == other.rotors
           && split == other.split && send == other.send && power == other.power
           && superSplit == other.superSplit;
}

void applyStatusFrame(PanelState &state, PanelDisplay &display, const quint8 *frame)
{
    // POWER follows every frame, even one the panel has been told to skip.
    display.power = true;
    if (state.skipNextStatus) {
        state.skipNextStatus = 0;
        return;
    }

    state.sendActive = frame[sendByte];
    state.currentPosition = frame[positionByte];
    state.superSplitMask = frame[superSplitMaskByte];
    state.splitPosition = frame[splitPositionByte];
    state.previousPosition = frame[previousPositionByte];

    // The keys are painted before the split flag of this frame is taken, so
    // they show the split state of the frame before.
    const auto position = static_cast<qint8>(frame[positionByte]);
    display.keys = KeyPainting::paintKeys(state, display.keys, position);
    display.superSplit = KeyPainting::superSplitIndicator(state, display.superSplit);

    // Busy inputs are active low.
    for (int i = 0; i < positionCount; ++i)
        display.busy[i] = ((frame[busyByte] >> i) & 1u) == 0;

    state.splitActive = frame[splitByte] == 1 ? 1 : 0;
    display.split = state.splitActive == 1;
    display.send = frame[sendByte] == 1;

    const quint8 rotor = frame[rotorByte];
    for (int n = 1; n <= rotorCount; ++n)
        display.rotors[n - 1] = rotor == n;
    state.currentRotor = rotor;
}
