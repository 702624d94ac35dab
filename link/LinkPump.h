#pragma once

#include "link/CommandQueue.h"
#include "link/FrameReceiver.h"
#include "link/MonotonicClock.h"
#include "link/ReceiveWatch.h"
#include "link/SendTurn.h"

#include <atomic>
#include <functional>
#include <optional>

class SwitchLink;

// The traffic with the switch, as the poll thread's turns ask for it, on
// the GUI thread: a queued word or a poll goes out (each turn in the order
// SendTurn gives), what has come in is read and handed over frame by frame,
// and a silence of the switch is told once. The poll thread asks from its
// own thread whether a word waits, whether reading is wanted, when either
// is next due and when a feature wants a fresh status; the pump wakes it
// when one of those becomes due.
class LinkPump
{
public:
    struct Panel
    {
        std::function<void()> frame;   // rxBuffer holds a whole frame from the switch
        std::function<void()> silent;  // no frame for too long; once per outage
        std::function<void()> stepped; // after each receive step
    };

    LinkPump(CommandQueue &queue, Panel panel);

    void setLink(SwitchLink *link);
    SwitchLink *link() const { return current; }

    // The turns.
    void commandTurn();
    void pollTurn();
    void receiveStep();

    // The link has just opened: the firmware request goes and its answer is
    // awaited. Or it has closed.
    void opened();
    void closed();
    // The link announced bytes; its far end stands again; a frame came.
    void bytesCame();
    void farEndReady();
    void frameArrived();

    // Any thread.
    bool wordWaiting() const { return queue.wordWaiting(); }
    bool receiveWanted() { return receiveWatch.wanted(); }
    std::optional<qint64> receiveDueInMs() const { return receiveWatch.dueInMs(MonotonicClock::nowMs()); }
    // From when (MonotonicClock ms) a feature wants a fresh status frame.
    std::optional<qint64> statusWantedAtMs() const;

    // GUI thread: a poll is wanted at atMs or soon after (none: no longer).
    void wantStatusAt(std::optional<qint64> atMs);

    // How the poll thread is woken; only its owner takes it away.
    void setWaker(const void *owner, std::function<void()> waker);
    void clearWaker(const void *owner);
    // Wakes the poll thread when a word waits or a step is due.
    void nudge();

    qint64 framesReceived() const { return receiver.framesDispatched(); }

private:
    void readArrived();
    void writeWord(CommandWord word, bool guarded);
    void writePoll();
    void awaitAnswer();

    static constexpr qint64 noStatusWanted = -1;

    CommandQueue &queue;
    Panel panel;
    SwitchLink *current = nullptr;
    FrameReceiver receiver;
    ReceiveWatch receiveWatch;
    std::function<void()> waker;
    const void *wakerOwner = nullptr;
    std::atomic<qint64> statusWanted{noStatusWanted};
};
