#include "rig/HamlibSource.h"

#include "rig/HamlibPoller.h"

#include <QThread>

namespace {

// Longer than a poll of a network rig takes; a serial radio that hangs
// inside Hamlib for longer is left to the program's exit.
constexpr unsigned long stopWaitMs = 1000;

} // namespace

HamlibSource::HamlibSource(const HamlibSettings &settings, QObject *parent)
    : QObject(parent)
    , worker(new QThread)
    , poller(new HamlibPoller(settings))
{
    qRegisterMetaType<RigReading>();
    worker->setObjectName(QStringLiteral("hamlib"));
    poller->moveToThread(worker);
    connect(worker, &QThread::started, poller, &HamlibPoller::start);
    // The poller closes the radio in its destructor, on its own thread, as
    // the thread winds down.
    connect(worker, &QThread::finished, poller, &QObject::deleteLater);
    connect(poller, &HamlibPoller::reading, this, &HamlibSource::reading);
    connect(poller, &HamlibPoller::statusText, this, &HamlibSource::statusText);
    connect(poller, &HamlibPoller::answering, this, &HamlibSource::answering);
    worker->start();
}

HamlibSource::~HamlibSource()
{
    disconnect(poller, nullptr, this, nullptr);
    worker->quit();
    if (worker->wait(stopWaitMs)) {
        delete worker;
        return;
    }
    // A radio that hangs inside a Hamlib call longer than that keeps its
    // thread and poller: destroying a running QThread would abort the
    // program, and the panel is on its way out.
    worker = nullptr;
}
