#include "app/ServiceNotify.h"

#include <QThread>

#include <algorithm>
#include <cstdint>
#include <limits>

#if defined(TQX5R_HAVE_LIBSYSTEMD)
#include <systemd/sd-daemon.h>
#endif

ServiceNotify::ServiceNotify(QObject *parent)
    : QObject(parent)
{
    qint64 periodUsec = 0;
#if defined(TQX5R_HAVE_LIBSYSTEMD)
    active = qEnvironmentVariableIsSet("NOTIFY_SOCKET");
    uint64_t usec = 0;
    // Also checks that the watchdog is meant for this process, not one that
    // started it.
    if (active && sd_watchdog_enabled(0, &usec) > 0 && usec > 0)
        periodUsec = static_cast<qint64>(usec);
    testBlockMs = qEnvironmentVariableIntValue(testBlockVariable);
#endif
    if (periodUsec <= 0)
        return;
    // The timer runs on the event loop of the thread that made this object
    // (the GUI thread): while that loop is stuck, no ping goes out.
    const qint64 intervalMs = std::max<qint64>(1, periodUsec / 1000 / pingsPerPeriod);
    watchdog.setInterval(static_cast<int>(std::min<qint64>(intervalMs, std::numeric_limits<int>::max())));
    watchdog.setTimerType(Qt::CoarseTimer);
    connect(&watchdog, &QTimer::timeout, this, &ServiceNotify::ping);
    watchdog.start();
}

void ServiceNotify::ready()
{
    if (readySent)
        return;
    readySent = true;
    send("READY=1");
}

void ServiceNotify::setStatus(const QString &text)
{
    if (text.isEmpty())
        return;
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    send("STATUS=" + line.toUtf8());
}

void ServiceNotify::stopping()
{
    watchdog.stop();
    send("STOPPING=1");
}

void ServiceNotify::ping()
{
    send("WATCHDOG=1");
    if (readySent && testBlockMs > 0) {
        const int blockMs = testBlockMs;
        testBlockMs = 0;
        QThread::msleep(static_cast<unsigned long>(blockMs));
    }
}

void ServiceNotify::send(const QByteArray &state)
{
#if defined(TQX5R_HAVE_LIBSYSTEMD)
    if (active)
        sd_notify(0, state.constData());
#else
    Q_UNUSED(state);
#endif
}
