#pragma once

#include "link/Protocol.h"
#include "panel/PanelState.h"

#include <QVector>

// What the operator's keys and buttons do to the panel state, as plain code.
// Each command changes the state and says what the window must do next.
namespace OperatorCommands {

enum class Message {
    None,
    ChooseTxPosition,
    SplitConfigured,
    SplitDisabled,
    ChooseSuperSplitAntennas,
    SuperSplitConfigured,
};

enum class Indicator { Keep, Check, Uncheck };

struct Effects
{
    Indicator superSplitIndicator = Indicator::Keep; // set before repainting
    bool repaint = false;
    qint8 repaintPosition = 0;
    bool refreshSuperSplitIndicator = false;          // after repainting
    QVector<CommandWord> words;                       // to queue, in order
    Message message = Message::None;
};

// An antenna key (or F1..F8) for position 0..7.
Effects keyCommand(PanelState &state, qint8 position);
Effects splitButton(PanelState &state);
Effects superSplitButton(PanelState &state);
Effects rotorButton(const PanelState &state, int rotor);

} // namespace OperatorCommands
