#include "panel/OperatorCommands.h"

namespace OperatorCommands {

namespace {

void switchSplitOff(PanelState &state, Effects &effects)
{
    effects.words.append(Protocol::splitOffWord());
    state.splitActive = 0;
    effects.message = Message::SplitDisabled;
}

} // namespace

Effects keyCommand(PanelState &state, qint8 position)
{
    Effects effects;
    // The switch's answer to the poll that follows a key press still shows
    // the old selection, so that one status frame is not shown.
    state.skipNextStatus = 1;

    if (state.choosingSplitTx) {
        effects.words.append(Protocol::splitOnWord(state.currentPosition, position));
        state.splitActive = 1;
        state.splitPosition = static_cast<quint8>(position);
        effects.message = Message::SplitConfigured;
        state.choosingSplitTx = 0;
        return effects;
    }
    if (state.choosingSuperSplit) {
        if (isPosition(position))
            state.superSplitSelection ^= static_cast<quint8>(1u << position);
        return effects;
    }
    if (state.splitActive == 1) {
        if (position == state.currentPosition) {
            switchSplitOff(state, effects);
            return effects;
        }
        state.splitPosition = static_cast<quint8>(position);
    } else {
        if (!inMask(state.superSplitMask, state.currentPosition))
            state.previousPosition = state.currentPosition;
        state.currentPosition = static_cast<quint8>(position);
    }

    effects.repaint = true;
    effects.repaintPosition = position;
    effects.refreshSuperSplitIndicator = true;
    effects.words.append(Protocol::selectWord(position));
    return effects;
}

Effects splitButton(PanelState &state)
{
    Effects effects;
    state.choosingSuperSplit = 0;
    if (state.splitActive) {
        switchSplitOff(state, effects);
    } else {
        state.choosingSplitTx = 1;
        effects.message = Message::ChooseTxPosition;
    }
    return effects;
}

Effects superSplitButton(PanelState &state)
{
    Effects effects;
    state.choosingSplitTx = 0;
    if (state.choosingSuperSplit) {
        effects.superSplitIndicator = Indicator::Uncheck;
        effects.words.append(Protocol::superSplitWord(state.superSplitSelection));
        state.choosingSuperSplit = 0;
        effects.message = Message::SuperSplitConfigured;
    } else {
        // The selection starts from the group the switch reports.
        state.superSplitSelection = state.superSplitMask;
        state.choosingSuperSplit = 1;
        effects.message = Message::ChooseSuperSplitAntennas;
        effects.superSplitIndicator = Indicator::Check;
    }
    effects.repaint = true;
    effects.repaintPosition = static_cast<qint8>(state.currentPosition);
    return effects;
}

Effects rotorButton(const PanelState &state, int rotor)
{
    Effects effects;
    // Clicking the rotor already selected asks the switch to release it.
    const int requested = rotor == state.currentRotor ? 0 : rotor;
    effects.words.append(Protocol::rotorWord(state.currentPosition, requested));
    return effects;
}

} // namespace OperatorCommands
