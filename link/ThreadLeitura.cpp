#include "link/ThreadLeitura.h"

#include "link/MonotonicClock.h"
#include "panel/MainWindow.h"

ThreadLeitura::ThreadLeitura(MainWindow *window, Clock clock)
    : QThread(nullptr)
    , clock(std::move(clock))
    , stopRequested(false)
    , window(window)
{
    start(QThread::InheritPriority);
}

ThreadLeitura::~ThreadLeitura() = default;

void ThreadLeitura::stop()
{
    stopRequested.store(true);
    wait();
}

qint64 ThreadLeitura::monotonicClock()
{
    return MonotonicClock::nowMs();
}

void ThreadLeitura::run()
{
    PollPacer pacer(clock());
    for (;;) {
        QThread::msleep(cycleMs);
        switch (pacer.next(clock(), window->commandQueueIsEmpty())) {
        case PollPacer::Send::Command:
            QMetaObject::invokeMethod(window, "callEnvioFila", Qt::QueuedConnection);
            break;
        case PollPacer::Send::Poll:
            QMetaObject::invokeMethod(window, "callEnviar", Qt::QueuedConnection);
            break;
        case PollPacer::Send::Nothing:
            break;
        }
        // Reading waits for something to read (bytes come, or a silence to
        // look for), so an idle panel does not wake the window 40 times a
        // second for nothing.
        if (window->receiveWanted()) {
            QMetaObject::invokeMethod(window, "callReceber", Qt::QueuedConnection,
                                      Q_ARG(MainWindow *, window));
        }
        if (stopRequested.load())
            break;
    }
}
