#pragma once

#include <QObject>
#include <QThread>

#include <atomic>

// The poll thread's clock without the window: every 25 ms it asks an object
// on the GUI thread, by queued invocation, to run one receive step, exactly
// as the panel's poll thread asks the window.
class PollTicker : public QThread
{
public:
    PollTicker(QObject *target, const char *slot)
        : target(target)
        , slot(slot)
    {
    }
    ~PollTicker() override { stop(); }

    void stop()
    {
        stopRequested.store(true);
        wait();
    }

protected:
    void run() override
    {
        while (!stopRequested.load()) {
            QThread::msleep(25);
            QMetaObject::invokeMethod(target, slot, Qt::QueuedConnection);
        }
    }

private:
    QObject *target;
    const char *slot;
    std::atomic<bool> stopRequested{false};
};
