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
#include <memory>
#include <vector>

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

namespace {

// One program's panels of the idle CPU figures, each on a switch of its own.
struct CpuPanels
{
    CpuPanels(const QString &program, const QString &tag)
        : program(program)
        , tag(tag)
        , link(QDir::tempPath() + QStringLiteral("/tqx5r-cpu-%1-%2").arg(QCoreApplication::applicationPid()).arg(tag))
    {
    }

    bool start()
    {
        // The switch in a process of its own, logging each frame, so the
        // polls it answers show that the panel is really connected.
        sim = std::make_unique<Child>(Programs::sim(), QStringList{QStringLiteral("--verbose")}, false);
        if (!sim->waitStarted())
            return false;
        const QByteArray banner = sim->waitForLine("TQX-5R virtual switch on ", 5000);
        if (banner.isEmpty()) {
            Bench::note(QStringLiteral("the virtual switch did not start"));
            return false;
        }
        const QString device = QString::fromLocal8Bit(banner.mid(banner.lastIndexOf(' ') + 1));
        // One with --reconnect behind a stable link name, and one without a
        // window, as a service runs it.
        if (!ownSwitch.start() || !link.pointAt(ownSwitch.devicePath()) || !headlessSwitch.start()) {
            Bench::note(QStringLiteral("the virtual switch did not start: %1 %2")
                            .arg(ownSwitch.errorString(), headlessSwitch.errorString()));
            return false;
        }
        connected = std::make_unique<Child>(program, QStringList{QStringLiteral("--port"), device});
        idle = std::make_unique<Child>(program, QStringList());
        retrying = std::make_unique<Child>(
            program, QStringList{QStringLiteral("--reconnect"), QStringLiteral("--port"), link.path()});
        headless = std::make_unique<Child>(
            program, QStringList{QStringLiteral("--headless"), QStringLiteral("--port"), headlessSwitch.devicePath()},
            false);
        return connected->waitStarted() && idle->waitStarted() && retrying->waitStarted() && headless->waitStarted();
    }

    // The devices vanish: the switch's process dies and its side of the
    // pseudo-terminal closes; the panel shows one box, which stays up. The
    // other switch goes with its link name, and that panel keeps trying,
    // every 5 s once it has backed off.
    void vanish()
    {
        ::kill(static_cast<pid_t>(sim->pid()), SIGKILL);
        sim->handle().waitForFinished(5000);
        ownSwitch.vanish();
        link.remove();
    }

    QString key(const char *name) const { return tag.isEmpty() ? QLatin1String(name) : tag + '.' + QLatin1String(name); }

    QString program;
    QString tag;
    std::unique_ptr<Child> sim;
    VirtualSwitch ownSwitch;
    StableLink link;
    VirtualSwitch headlessSwitch;
    std::unique_ptr<Child> connected;
    std::unique_ptr<Child> idle;
    std::unique_ptr<Child> retrying;
    std::unique_ptr<Child> headless;
    int polls = 0;
    int headlessFramesBefore = 0;
    int headlessFrames = 0;
};

} // namespace

int runCpu(int seconds, const QString &before)
{
    // This build's panels, and beside them in the same seconds those of
    // another build of the program (results "before.…"), if one is given.
    std::vector<std::unique_ptr<CpuPanels>> sets;
    sets.push_back(std::make_unique<CpuPanels>(Programs::panel(), QString()));
    if (!before.isEmpty())
        sets.push_back(std::make_unique<CpuPanels>(before, QStringLiteral("before")));
    for (const auto &set : sets) {
        if (!set->start())
            return 1;
    }
    // Start-up is not part of the figure.
    pauseMs(3000);

    // Side by side: one panel talking to the switch, one disconnected, one
    // without a window talking to its switch.
    QVector<qint64> talkingPids;
    for (const auto &set : sets) {
        set->sim->readAllStderr();
        set->headlessFramesBefore = set->headlessSwitch.statusFramesSent();
        talkingPids << set->connected->pid() << set->idle->pid() << set->headless->pid();
    }
    const QVector<double> talking = cpuPercents(talkingPids, seconds);
    // Counted now: the switch without a window goes on answering while the
    // others vanish.
    for (const auto &set : sets) {
        set->polls = set->sim->readAllStderr().count("-- poll");
        set->headlessFrames = set->headlessSwitch.statusFramesSent() - set->headlessFramesBefore;
    }

    for (const auto &set : sets)
        set->vanish();
    pauseMs(2000);
    QVector<qint64> gonePids;
    for (const auto &set : sets)
        gonePids << set->connected->pid() << set->retrying->pid();
    const QVector<double> gone = cpuPercents(gonePids, seconds);

    for (int i = 0; i < static_cast<int>(sets.size()); ++i) {
        const CpuPanels &set = *sets.at(static_cast<size_t>(i));
        Bench::result(set.key("cpu.connected"), talking.at(3 * i));
        Bench::result(set.key("cpu.connected.polls_per_s"), static_cast<double>(set.polls) / seconds);
        Bench::result(set.key("cpu.disconnected"), talking.at(3 * i + 1));
        Bench::result(set.key("cpu.headless"), talking.at(3 * i + 2));
        Bench::result(set.key("cpu.headless.frames_per_s"), static_cast<double>(set.headlessFrames) / seconds);
        Bench::result(set.key("cpu.vanished"), gone.at(2 * i));
        Bench::result(set.key("cpu.retrying"), gone.at(2 * i + 1));
    }
    const bool measured = !talking.contains(-1) && !gone.contains(-1);
    for (const auto &set : sets) {
        set->connected->kill();
        set->idle->kill();
        set->retrying->kill();
        set->headless->kill();
    }
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

int runBrokerCpu(int seconds, const QString &before)
{
    LocalBroker broker;
    if (!broker.start()) {
        Bench::note(QStringLiteral("broker: %1").arg(broker.errorString()));
        return 1;
    }
    const QString address = QStringLiteral("127.0.0.1:%1").arg(broker.port());
    QStringList programs{Programs::panel()};
    if (!before.isEmpty())
        programs << before;

    // For each program, on one broker: the owning panel with its bridge,
    // connected to the switch, and a remote panel showing it; nobody at the
    // keys. Beside them a station box, without a window, on a switch and a
    // base topic of its own.
    std::vector<std::unique_ptr<VirtualSwitch>> switches;
    std::vector<std::unique_ptr<Child>> panels;
    for (int i = 0; i < programs.size(); ++i) {
        const QString topic = i == 0 ? QStringLiteral("tqx5r") : QStringLiteral("before");
        auto device = std::make_unique<VirtualSwitch>();
        auto boxSwitch = std::make_unique<VirtualSwitch>();
        if (!device->start() || !boxSwitch->start()) {
            Bench::note(QStringLiteral("switch: %1 %2").arg(device->errorString(), boxSwitch->errorString()));
            return 1;
        }
        const QString &program = programs.at(i);
        panels.push_back(std::make_unique<Child>(
            program, QStringList{QStringLiteral("--port"), device->devicePath(), QStringLiteral("--mqtt"), address,
                                 QStringLiteral("--mqtt-topic"), topic}));
        panels.push_back(std::make_unique<Child>(
            program, QStringList{QStringLiteral("--remote"), address, QStringLiteral("--mqtt-topic"), topic}));
        panels.push_back(std::make_unique<Child>(
            program, QStringList{QStringLiteral("--headless"), QStringLiteral("--port"), boxSwitch->devicePath(),
                                 QStringLiteral("--mqtt"), address, QStringLiteral("--mqtt-topic"), topic + "-box"},
            false));
        switches.push_back(std::move(device));
        switches.push_back(std::move(boxSwitch));
    }
    QVector<qint64> pids;
    for (const auto &panel : panels) {
        if (!panel->waitStarted())
            return 1;
        pids << panel->pid();
    }
    pauseMs(3000);
    const int framesBefore = switches.front()->statusFramesSent();
    const qint64 startNs = Bench::nowNs();
    const QVector<double> percents = cpuPercents(pids, seconds);
    const double wall = static_cast<double>(Bench::nowNs() - startNs) / 1e9;
    for (int i = 0; i < programs.size(); ++i) {
        const QString prefix = i == 0 ? QString() : QStringLiteral("before.");
        Bench::result(prefix + QStringLiteral("mqtt.cpu.owner"), percents.at(3 * i));
        Bench::result(prefix + QStringLiteral("mqtt.cpu.remote"), percents.at(3 * i + 1));
        Bench::result(prefix + QStringLiteral("mqtt.cpu.headless_owner"), percents.at(3 * i + 2));
    }
    Bench::result(QStringLiteral("mqtt.cpu.frames_per_s"), (switches.front()->statusFramesSent() - framesBefore) / wall);
    return percents.contains(-1) ? 1 : 0;
}
