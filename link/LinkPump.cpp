#include "link/LinkPump.h"

#include "link/SwitchLink.h"

#include <QIODevice>

LinkPump::LinkPump(CommandQueue &queue, Panel panel)
    : queue(queue)
    , panel(std::move(panel))
{
}

void LinkPump::setLink(SwitchLink *link)
{
    current = link;
}

void LinkPump::commandTurn()
{
    // A turn the guarded word was due that ends with nothing written (what
    // the read showed took the word back) still goes to a poll.
    const bool guardedWasDue = queue.guardedPlaced();
    SendTurn::run(SendTurn::Kind::Command,
                  {[this] { readArrived(); },
                   [this, guardedWasDue] {
                       CommandQueue::Turn turn = queue.takeNext();
                       if (!turn.word && guardedWasDue)
                           turn.refused = true;
                       return turn;
                   },
                   [this](CommandWord word, bool guarded) { writeWord(word, guarded); }, [this] { writePoll(); }});
    nudge();
}

void LinkPump::pollTurn()
{
    SendTurn::run(SendTurn::Kind::Poll,
                  {[this] { readArrived(); }, [] { return CommandQueue::Turn(); },
                   [this](CommandWord word, bool guarded) { writeWord(word, guarded); }, [this] { writePoll(); }});
    nudge();
}

void LinkPump::readArrived()
{
    // What the switch sent before this turn is read now, so the first whole
    // frame read after the write answers it, and a guard asked next knows
    // every frame that has come.
    if (current->isOpen())
        receiveStep();
}

void LinkPump::writeWord(CommandWord word, bool guarded)
{
    current->sendCommand(word);
    // A guarded word has just been allowed: it leaves now, before anything
    // else the program does could be news its guard has not seen; only
    // then is its owner told (and says so).
    if (guarded) {
        current->pushOut();
        queue.guardedWordWritten(word);
    }
    awaitAnswer();
}

void LinkPump::writePoll()
{
    // A remote panel's link sends no polls: the panel that owns the switch does.
    current->sendPollRequest();
    queue.pollSent();
    const qint64 wanted = statusWanted.load();
    if (wanted != noStatusWanted && MonotonicClock::nowMs() >= wanted)
        statusWanted.store(noStatusWanted);
    awaitAnswer();
}

void LinkPump::receiveStep()
{
    QIODevice *device = current->device();
    const qint64 framesBefore = receiver.framesDispatched();
    current->beginReceive();
    receiver.receive(device, panel.frame);
    current->endReceive();
    // What one step leaves is read at the next.
    receiveWatch.stepDone(device->isOpen() && device->bytesAvailable() > 0,
                          receiver.framesDispatched() > framesBefore, receiver.holdsPartOfAFrame());
    // A link that cannot reach the switch says so itself (a remote panel's
    // broker away).
    if (receiveWatch.silenceNow(MonotonicClock::nowMs(), current->canSend()))
        panel.silent();
    panel.stepped();
    nudge();
}

void LinkPump::opened()
{
    receiver.reset();
    receiveWatch.connected(MonotonicClock::nowMs());
    current->sendFirmwareRequest();
    awaitAnswer();
}

void LinkPump::closed()
{
    receiveWatch.disconnected();
}

void LinkPump::bytesCame()
{
    receiveWatch.bytesCame();
    nudge();
}

void LinkPump::farEndReady()
{
    receiveWatch.connected(MonotonicClock::nowMs());
}

void LinkPump::frameArrived()
{
    receiveWatch.frameArrived(MonotonicClock::nowMs());
}

void LinkPump::awaitAnswer()
{
    if (current->isOpen() && !current->announcesArrivals())
        receiveWatch.awaitAnswer(MonotonicClock::nowMs());
    nudge();
}

std::optional<qint64> LinkPump::statusWantedAtMs() const
{
    const qint64 wanted = statusWanted.load();
    if (wanted == noStatusWanted)
        return std::nullopt;
    return wanted;
}

void LinkPump::wantStatusAt(std::optional<qint64> atMs)
{
    const qint64 wanted = atMs ? *atMs : noStatusWanted;
    if (statusWanted.exchange(wanted) != wanted && waker)
        waker();
}

void LinkPump::setWaker(const void *owner, std::function<void()> newWaker)
{
    wakerOwner = owner;
    waker = std::move(newWaker);
}

void LinkPump::clearWaker(const void *owner)
{
    if (wakerOwner != owner)
        return;
    wakerOwner = nullptr;
    waker = nullptr;
}

void LinkPump::nudge()
{
    if (waker && (queue.wordWaiting() || receiveWatch.dueInMs(MonotonicClock::nowMs()) == 0))
        waker();
}
