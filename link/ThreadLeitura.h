#pragma once

#include "link/PollPacer.h"

#include <QThread>

#include <atomic>
#include <functional>

class MainWindow;

// The clock of all traffic with the switch. Every cycle it asks the window,
// by queued invocation, to send the oldest queued command or a poll request
// (as PollPacer decides), and to read what has arrived when something has.
// It never touches the port or the panel. Constructing it starts the loop;
// stop() ends it.
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

    // Never set back with the wall clock, so pacing survives a clock step.
    static qint64 monotonicClock();

protected:
    void run() override;

private:
    const Clock clock;
    std::atomic<bool> stopRequested;
    MainWindow *window;
};
