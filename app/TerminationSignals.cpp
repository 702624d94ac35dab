#include "app/TerminationSignals.h"

#ifdef Q_OS_UNIX

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int endingSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The handler only writes a byte here; the event loop reads it.
int wakeRead = -1;
int wakeWrite = -1;

extern "C" void onEndingSignal(int)
{
    // Async-signal-safe calls only. The pipe never blocks: when it is full,
    // a wake-up is already waiting.
    const int savedErrno = errno;
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeWrite, &wake, 1);
    errno = savedErrno;
}

bool makeWakePipe()
{
    int ends[2];
    if (::pipe(ends) != 0)
        return false;
    for (const int end : ends) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
    }
    wakeRead = ends[0];
    wakeWrite = ends[1];
    return true;
}

} // namespace

void TerminationSignals::install()
{
    if (wakeRead >= 0 || !makeWakePipe())
        return;
    struct sigaction action = {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : endingSignals) {
        struct sigaction before = {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
}

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
    install();
    if (wakeRead < 0)
        return;
    // A signal that came while the program started is waiting in the pipe:
    // the notifier sees it once the event loop runs.
    notifier = new QSocketNotifier(wakeRead, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [] {
        char drained[16];
        while (::read(wakeRead, drained, sizeof drained) > 0) {
        }
        QCoreApplication::quit();
    });
}

TerminationSignals::~TerminationSignals()
{
    if (!notifier)
        return;
    // Left to the system again: whatever comes now ends the program at once.
    for (const int signal : endingSignals) {
        struct sigaction current = {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == onEndingSignal)
            ::signal(signal, SIG_DFL);
    }
    delete notifier;
    ::close(wakeRead);
    ::close(wakeWrite);
    wakeRead = wakeWrite = -1;
}

#else

void TerminationSignals::install() {}

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
}

TerminationSignals::~TerminationSignals() = default;

#endif
