#pragma once

#include "link/PollPacer.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

class MainWindow;

// The clock of all traffic with the switch. At each cycle it asks the
// window, by queued invocation, to send the oldest queued command or a poll
// request (as PollPacer decides), and to read what has arrived when
// something has. It never touches the port or the panel. Constructing it
// starts the loop; stop() ends it.
//
// Cycles in which nothing can be due (no word waiting, no poll yet, nothing
// to read) are slept through, so an idle panel is not woken forty times a
// second. The window wakes it when something becomes due; it then acts at
// the next cycle, as it would have had it ticked all along.
class ThreadLeitura : public QThread
{
public:
    // Milliseconds from a monotonic clock.
    using Clock = std::function<qint64()>;

    static constexpr int cycleMs = PollPacer::cycleMs;

    explicit ThreadLeitura(MainWindow *window, Clock clock = monotonicClock);
    ~ThreadLeitura() override;

    // Asks the loop to finish and waits until it has.
    void stop();
    // Any thread: something may be due at the next cycle.
    void wake();

    // Never set back with the wall clock, so pacing survives a clock step.
    static qint64 monotonicClock();

    // How many cycles to sleep before the next in which anything can be due:
    // a word waiting, a poll (msUntilPoll away), or a receive step
    // (receiveDueInMs away, if one is due at all). At least one.
    static int quietCycles(bool wordWaiting, qint64 msUntilPoll, std::optional<qint64> receiveDueInMs);

protected:
    void run() override;

private:
    using SteadyClock = std::chrono::steady_clock;

    // Sleeps the given cycles from the last one, or up to the next cycle
    // after a wake.
    void sleepCycles(SteadyClock::time_point lastCycle, int cycles);

    const Clock clock;
    std::atomic<bool> stopRequested;
    MainWindow *window;

    std::mutex sleepMutex;
    std::condition_variable sleeper;
    bool woken = false;
    bool asleep = false;
    SteadyClock::time_point wakeAt;
};
