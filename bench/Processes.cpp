// CPU, start-up and memory of the panel as a process of its own.

#include "bench/Processes.h"

#include "bench/BenchSupport.h"
#include "bench/Commands.h"

#include "sim/LocalBroker.h"
#include "sim/StableLink.h"
#include "sim/VirtualSwitch.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>

namespace Programs {
QString panel() { return QCoreApplication::applicationDirPath() + QStringLiteral("/../app/tqx5r-panel"); }
QString benchPanel() { return QCoreApplication::applicationDirPath() + QStringLiteral("/tqx5r-bench-panel"); }
QString sim() { return QCoreApplication::applicationDirPath() + QStringLiteral("/../sim/tqx5r-sim"); }
QString bench() { return QCoreApplication::applicationFilePath(); }
} // namespace Programs

void pauseMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

Child::Child(const QString &program, const QStringList &arguments, bool offscreen)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (offscreen)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // Panels start as on a first run: no settings remembered from elsewhere.
    static const QTemporaryDir configHome;
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome.path());
    process.setProcessEnvironment(environment);
    process.setProgram(program);
    process.setArguments(arguments);
    process.start();
}

Child::~Child()
{
    kill();
}

bool Child::waitStarted()
{
    if (process.waitForStarted(10000))
        return true;
    Bench::note(QStringLiteral("cannot start %1: %2").arg(process.program(), process.errorString()));
    return false;
}

QByteArray Child::waitForLine(const QByteArray &prefix, int timeoutMs)
{
    const qint64 endNs = Bench::nowNs() + timeoutMs * 1000000LL;
    for (;;) {
        while (process.canReadLine()) {
            const QByteArray line = process.readLine().trimmed();
            if (line.startsWith(prefix))
                return line;
        }
        const qint64 leftMs = (endNs - Bench::nowNs()) / 1000000;
        if (leftMs <= 0 || process.state() == QProcess::NotRunning)
            return QByteArray();
        process.waitForReadyRead(static_cast<int>(std::min<qint64>(leftMs, 100)));
    }
}

void Child::write(const QByteArray &line)
{
    process.write(line + '\n');
    process.waitForBytesWritten(1000);
}

void Child::stop(int graceMs)
{
    if (process.state() != QProcess::Running)
        return;
    write("quit");
    if (!process.waitForFinished(graceMs))
        kill();
}

void Child::kill()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(5000);
}

namespace {

// CPU of each process over the same stretch of time, in % of one core; -1
// for one that is gone. Counted to the nanosecond: in clock ticks, 20 s of
// an idle panel would be read in steps of 0.05 %.
QVector<double> cpuPercents(const QVector<qint64> &pids, int seconds)
{
    QVector<double> before;
    for (qint64 pid : pids)
        before << Bench::threadRunSeconds(pid);
    const qint64 startNs = Bench::nowNs();
    pauseMs(seconds * 1000);
    const double wall = static_cast<double>(Bench::nowNs() - startNs) / 1e9;
    QVector<double> percents;
    for (int i = 0; i < pids.size(); ++i) {
        const double after = Bench::threadRunSeconds(pids.at(i));
        percents << (before.at(i) < 0 || after < 0 ? -1 : 100.0 * (after - before.at(i)) / wall);
    }
    return percents;
}

} // namespace

int runCpu(int seconds)
{
    // The switch in a process of its own, logging each frame, so the polls
    // it answers show that the panel is really connected.
    Child sim(Programs::sim(), {QStringLiteral("--verbose")}, false);
    if (!sim.waitStarted())
        return 1;
    const QByteArray banner = sim.waitForLine("TQX-5R virtual switch on ", 5000);
    if (banner.isEmpty()) {
        Bench::note(QStringLiteral("the virtual switch did not start"));
        return 1;
    }
    const QString device = QString::fromLocal8Bit(banner.mid(banner.lastIndexOf(' ') + 1));

    // A fourth panel, with --reconnect, on a switch of its own behind a
    // stable link name.
    VirtualSwitch ownSwitch;
    StableLink link(QDir::tempPath() + QStringLiteral("/tqx5r-cpu-%1").arg(QCoreApplication::applicationPid()));
    if (!ownSwitch.start() || !link.pointAt(ownSwitch.devicePath())) {
        Bench::note(QStringLiteral("the virtual switch did not start: %1").arg(ownSwitch.errorString()));
        return 1;
    }

    // And a fifth without a window, as a service runs it, on a third switch.
    VirtualSwitch headlessSwitch;
    if (!headlessSwitch.start()) {
        Bench::note(QStringLiteral("the virtual switch did not start: %1").arg(headlessSwitch.errorString()));
        return 1;
    }

    Child connected(Programs::panel(), {QStringLiteral("--port"), device});
    Child idle(Programs::panel(), {});
    Child retrying(Programs::panel(), {QStringLiteral("--reconnect"), QStringLiteral("--port"), link.path()});
    Child headless(Programs::panel(), {QStringLiteral("--headless"), QStringLiteral("--port"), headlessSwitch.devicePath()},
                   false);
    if (!connected.waitStarted() || !idle.waitStarted() || !retrying.waitStarted() || !headless.waitStarted())
        return 1;
    // Start-up is not part of the figure.
    pauseMs(3000);
    sim.readAllStderr();

    // Side by side: one panel talking to the switch, one disconnected, one
    // without a window talking to its switch.
    const int headlessFramesBefore = headlessSwitch.statusFramesSent();
    const QVector<double> talking = cpuPercents({connected.pid(), idle.pid(), headless.pid()}, seconds);
    const int polls = sim.readAllStderr().count("-- poll");
    const int headlessFrames = headlessSwitch.statusFramesSent() - headlessFramesBefore;

    // The devices vanish: the switch's process dies and its side of the
    // pseudo-terminal closes; the panel shows one box, which stays up. The
    // other switch goes with its link name, and that panel keeps trying,
    // every 5 s once it has backed off.
    ::kill(static_cast<pid_t>(sim.pid()), SIGKILL);
    sim.handle().waitForFinished(5000);
    ownSwitch.vanish();
    link.remove();
    pauseMs(2000);
    const QVector<double> gone = cpuPercents({connected.pid(), retrying.pid()}, seconds);

    Bench::result(QStringLiteral("cpu.connected"), talking.at(0));
    Bench::result(QStringLiteral("cpu.connected.polls_per_s"), static_cast<double>(polls) / seconds);
    Bench::result(QStringLiteral("cpu.disconnected"), talking.at(1));
    Bench::result(QStringLiteral("cpu.headless"), talking.at(2));
    Bench::result(QStringLiteral("cpu.headless.frames_per_s"), static_cast<double>(headlessFrames) / seconds);
    Bench::result(QStringLiteral("cpu.vanished"), gone.at(0));
    Bench::result(QStringLiteral("cpu.retrying"), gone.at(1));
    const bool measured = !talking.contains(-1) && !gone.contains(-1);
    connected.kill();
    idle.kill();
    retrying.kill();
    headless.kill();
    return measured ? 0 : 1;
}

int runStartup()
{
    VirtualSwitch device;
    if (!device.start()) {
        Bench::note(device.errorString());
        return 1;
    }
    const qint64 spawnNs = Bench::nowNs();
    Child panel(Programs::benchPanel(), {QStringLiteral("--port"), device.devicePath(),
                                         QStringLiteral("--exit-after-status")});
    const QByteArray shown = panel.waitForLine("STAMP shown ", 20000);
    const QByteArray status = panel.waitForLine("STAMP status ", 20000);
    panel.handle().waitForFinished(5000);
    if (shown.isEmpty() || status.isEmpty()) {
        Bench::note(QStringLiteral("the panel did not report its start-up"));
        return 1;
    }
    const auto stampNs = [](const QByteArray &line) { return line.mid(line.lastIndexOf(' ') + 1).toLongLong(); };
    Bench::result(QStringLiteral("startup.shown"), Bench::nsToMs(stampNs(shown) - spawnNs));
    Bench::result(QStringLiteral("startup.status"), Bench::nsToMs(stampNs(status) - spawnNs));
    return 0;
}

int runMemory(int seconds)
{
    VirtualSwitch::Options options;
    options.lively = true;
    VirtualSwitch device(options);
    if (!device.start()) {
        Bench::note(device.errorString());
        return 1;
    }
    Child panel(Programs::benchPanel(), {QStringLiteral("--port"), device.devicePath(), QStringLiteral("--actions")});
    if (!panel.waitStarted())
        return 1;
    pauseMs(seconds * 1000);
    panel.write("report");
    const QByteArray report = panel.waitForLine("REPORT ", 5000);
    const qint64 peakKiB = Bench::statusKiB(panel.pid(), "VmHWM");
    const qint64 residentKiB = Bench::statusKiB(panel.pid(), "VmRSS");
    panel.stop();
    if (report.isEmpty() || peakKiB < 0) {
        Bench::note(QStringLiteral("the panel did not last the run"));
        return 1;
    }
    Bench::note(QStringLiteral("memory run: %1").arg(QString::fromLatin1(report)));
    Bench::result(QStringLiteral("memory.peak"), peakKiB / 1024.0);
    Bench::result(QStringLiteral("memory.resident"), residentKiB / 1024.0);
    return 0;
}

int runBrokerCpu(int seconds)
{
    // The owning panel with its bridge, connected to the switch, and a remote
    // panel showing it; nobody at the keys.
    LocalBroker broker;
    VirtualSwitch device;
    if (!broker.start() || !device.start()) {
        Bench::note(QStringLiteral("broker: %1; switch: %2").arg(broker.errorString(), device.errorString()));
        return 1;
    }
    const QString address = QStringLiteral("127.0.0.1:%1").arg(broker.port());
    Child owner(Programs::panel(), {QStringLiteral("--port"), device.devicePath(), QStringLiteral("--mqtt"), address});
    Child remote(Programs::panel(), {QStringLiteral("--remote"), address});
    // A station box beside them: without a window, on a switch and a base
    // topic of its own.
    VirtualSwitch boxSwitch;
    if (!boxSwitch.start()) {
        Bench::note(QStringLiteral("switch: %1").arg(boxSwitch.errorString()));
        return 1;
    }
    Child box(Programs::panel(), {QStringLiteral("--headless"), QStringLiteral("--port"), boxSwitch.devicePath(),
                                  QStringLiteral("--mqtt"), address, QStringLiteral("--mqtt-topic"), QStringLiteral("box")},
              false);
    if (!owner.waitStarted() || !remote.waitStarted() || !box.waitStarted())
        return 1;
    pauseMs(3000);
    const int framesBefore = device.statusFramesSent();
    const qint64 startNs = Bench::nowNs();
    const QVector<double> percents = cpuPercents({owner.pid(), remote.pid(), box.pid()}, seconds);
    const double wall = static_cast<double>(Bench::nowNs() - startNs) / 1e9;
    Bench::result(QStringLiteral("mqtt.cpu.owner"), percents.at(0));
    Bench::result(QStringLiteral("mqtt.cpu.remote"), percents.at(1));
    Bench::result(QStringLiteral("mqtt.cpu.headless_owner"), percents.at(2));
    Bench::result(QStringLiteral("mqtt.cpu.frames_per_s"), (device.statusFramesSent() - framesBefore) / wall);
    return percents.contains(-1) ? 1 : 0;
}
