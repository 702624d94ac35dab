#include "link/SendTurn.h"

namespace SendTurn {

Wrote run(Kind kind, const Steps &steps)
{
    // A frame that came before this turn (a SEND report, a move at the front
    // panel) is known before anything is decided.
    steps.readArrived();
    if (kind == Kind::Command) {
        const CommandQueue::Turn turn = steps.chooseWord();
        if (turn.word) {
            steps.writeWord(*turn.word, turn.guarded);
            return Wrote::Word;
        }
        if (!turn.refused)
            return Wrote::Nothing;
    }
    steps.writePoll();
    return Wrote::Poll;
}

} // namespace SendTurn
