#include "link/ThreadLeitura.h"

#include "panel/MainWindow.h"

#include <chrono>

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
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
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
        QMetaObject::invokeMethod(window, "callReceber", Qt::QueuedConnection,
                                  Q_ARG(MainWindow *, window));
        if (stopRequested.load())
            break;
    }
}
