#include "link/ThreadLeitura.h"

#include "link/MonotonicClock.h"
#include "panel/MainWindow.h"

#include <algorithm>

namespace {
constexpr int longSleepMarginMs = 1;
}

ThreadLeitura::ThreadLeitura(MainWindow *window, Clock clock)
    : QThread(nullptr)
    , clock(std::move(clock))
    , stopRequested(false)
    , window(window)
{
    window->setPollThreadWaker(this, [this] { wake(); });
    start(QThread::InheritPriority);
}

ThreadLeitura::~ThreadLeitura() = default;

void ThreadLeitura::stop()
{
    stopRequested.store(true);
    wake();
    wait();
    window->clearPollThreadWaker(this);
}

void ThreadLeitura::wake()
{
    {
        std::lock_guard<std::mutex> lock(sleepMutex);
        // Asleep until the next cycle anyway: nothing to cut short. Awake,
        // the flag makes its next sleep a single cycle.
        if (woken || (asleep && wakeAt - SteadyClock::now() <= std::chrono::milliseconds(cycleMs)
                      && !stopRequested.load()))
            return;
        woken = true;
    }
    sleeper.notify_one();
}

qint64 ThreadLeitura::monotonicClock()
{
    return MonotonicClock::nowMs();
}

int ThreadLeitura::quietCycles(bool wordWaiting, qint64 msUntilPoll, std::optional<qint64> receiveDueInMs)
{
    if (wordWaiting)
        return 1;
    qint64 dueInMs = msUntilPoll;
    if (receiveDueInMs)
        dueInMs = std::min(dueInMs, *receiveDueInMs);
    // A cycle always runs a little over its time, so the cycle that reaches
    // a moment is the one past it, as when the thread ticked every cycle.
    return static_cast<int>(std::max<qint64>(1, (dueInMs - 1 + cycleMs - 1) / cycleMs));
}

void ThreadLeitura::sleepCycles(SteadyClock::time_point lastCycle, int cycles)
{
    const SteadyClock::duration cycle = std::chrono::milliseconds(cycleMs);
    std::unique_lock<std::mutex> lock(sleepMutex);
    wakeAt = lastCycle + cycle * cycles;
    // The pacing reads whole milliseconds: a long sleep ends a little past
    // its cycle, so the moment it was meant to reach has surely passed.
    if (cycles > 1)
        wakeAt += std::chrono::milliseconds(longSleepMarginMs);
    asleep = true;
    while (!stopRequested.load()) {
        if (!sleeper.wait_until(lock, wakeAt, [this] { return woken || stopRequested.load(); }))
            break;
        if (stopRequested.load())
            break;
        woken = false;
        // Whatever woke it is taken up at the next cycle, never sooner.
        const SteadyClock::duration since = SteadyClock::now() - lastCycle;
        const SteadyClock::time_point next = lastCycle + cycle * std::max<SteadyClock::rep>(1, since / cycle + 1);
        wakeAt = std::min(wakeAt, next);
    }
    asleep = false;
}

void ThreadLeitura::run()
{
    PollPacer pacer(clock());
    int cycles = 1;
    SteadyClock::time_point lastCycle = SteadyClock::now();
    for (;;) {
        sleepCycles(lastCycle, cycles);
        if (stopRequested.load())
            break;
        lastCycle = SteadyClock::now();
        const std::optional<qint64> statusWanted = window->statusWantedAtMs();
        switch (pacer.next(clock(), window->commandQueueIsEmpty(), statusWanted)) {
        case PollPacer::Send::Command:
            QMetaObject::invokeMethod(window, "callEnvioFila", Qt::QueuedConnection);
            break;
        case PollPacer::Send::Poll:
            QMetaObject::invokeMethod(window, "callEnviar", Qt::QueuedConnection);
            break;
        case PollPacer::Send::Nothing:
            break;
        }
        // Reading waits for something to read (bytes come, an answer
        // awaited, or a silence to look for).
        if (window->receiveWanted()) {
            QMetaObject::invokeMethod(window, "callReceber", Qt::QueuedConnection,
                                      Q_ARG(MainWindow *, window));
        }
        cycles = quietCycles(!window->commandQueueIsEmpty(), pacer.msUntilPoll(window->statusWantedAtMs()),
                             window->receiveDueInMs());
    }
}
