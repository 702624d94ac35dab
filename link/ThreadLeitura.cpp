#include "link/ThreadLeitura.h"

#include "panel/MainWindow.h"

ThreadLeitura::ThreadLeitura(MainWindow *window)
    : QThread(nullptr)
    , lastSendTime(0)
    , currentTime(0)
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

void ThreadLeitura::run()
{
    lastSendTime = QDateTime::currentMSecsSinceEpoch();
    for (;;) {
        QThread::msleep(cycleMs);
        currentTime = QDateTime::currentMSecsSinceEpoch();
        // One timestamp paces both kinds of send; no poll goes out while
        // commands wait.
        if (!window->commandQueueIsEmpty()) {
            if (currentTime - lastSendTime > commandSpacingMs) {
                lastSendTime = currentTime;
                QMetaObject::invokeMethod(window, "callEnvioFila", Qt::QueuedConnection);
            }
        } else if (currentTime - lastSendTime > pollSpacingMs) {
            lastSendTime = currentTime;
            QMetaObject::invokeMethod(window, "callEnviar", Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(window, "callReceber", Qt::QueuedConnection,
                                  Q_ARG(MainWindow *, window));
        if (stopRequested.load())
            break;
    }
}
