#pragma once

#include "link/CommandQueue.h"
#include "link/Protocol.h"

#include <functional>

// Every send turn in one order: what the switch has sent is read first;
// then the word to write is chosen, which is when a guarded word's guard is
// asked; then it is written, with nothing run between the guard's answer
// and the write. A guarded word refused at its turn gives the turn to a
// poll. The steps are the link's; this is only their order.
namespace SendTurn {

enum class Kind { Command, Poll };
enum class Wrote { Nothing, Word, Poll };

struct Steps
{
    std::function<void()> readArrived;
    std::function<CommandQueue::Turn()> chooseWord;
    std::function<void(CommandWord word, bool guarded)> writeWord;
    std::function<void()> writePoll;
};

Wrote run(Kind kind, const Steps &steps);

} // namespace SendTurn
