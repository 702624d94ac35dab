// The soak run: the panel in a process of its own, a random operator at its
// keys, a ragged line, and a device that vanishes and comes back, for as long
// as asked. Between phases the switch falls silent for a moment, so every
// frame it sent has had time to arrive and the two counts can be compared.

#include "bench/BenchSupport.h"
#include "bench/Commands.h"
#include "bench/Processes.h"

#include "sim/StableLink.h"
#include "sim/VirtualSwitch.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <memory>

namespace {

QByteArray garbage(int size)
{
    QByteArray bytes;
    while (bytes.size() < size) {
        // Never an "I": noise that starts no header can never cost a frame.
        const char byte = static_cast<char>(Bench::randomInt(0, 255));
        if (byte != 'I')
            bytes += byte;
    }
    return bytes;
}

struct Soak
{
    StableLink link{QDir::tempPath() + QStringLiteral("/tqx5r-soak-%1").arg(QCoreApplication::applicationPid())};
    std::unique_ptr<VirtualSwitch> device;
    std::unique_ptr<Child> panel;

    // Counts since the last checkpoint, to compare at the next.
    int statusBase = 0;
    qint64 framesBase = 0;
    qint64 answeringSinceNs = 0;
    bool accountable = true;

    long long crashes = 0, hangs = 0, phases = 0, vanished = 0, disconnects = 0;
    long long bursts = 0;
    Bench::FrameTally frameTally;
    Bench::MemoryTrack memory;
    qint64 boxes = 0, actions = 0;

    bool startDevice()
    {
        VirtualSwitch::Options options;
        options.lively = true;
        device = std::make_unique<VirtualSwitch>(options);
        answeringSinceNs = Bench::nowNs();
        if (!device->start() || !link.pointAt(device->devicePath())) {
            Bench::note(QStringLiteral("soak: cannot start the virtual switch: %1").arg(device->errorString()));
            return false;
        }
        device->setGarbageRate(0.2);
        device->setSplitFrames(Bench::randomInt(0, 6));
        statusBase = 0;
        return true;
    }

    bool startPanel()
    {
        panel = std::make_unique<Child>(Programs::benchPanel(),
                                        QStringList{QStringLiteral("--port"), link.path(), QStringLiteral("--actions"),
                                                    QStringLiteral("--attended")});
        framesBase = 0;
        accountable = false; // the first checkpoint only sets the bases
        return panel->waitStarted();
    }

    // A panel that is gone has crashed (nothing here asks it to quit);
    // it is counted and started again.
    void checkPanel()
    {
        if (panel->isRunning())
            return;
        ++crashes;
        QProcess &process = panel->handle();
        Bench::note(QStringLiteral("soak: the panel ended (%1, status %2): %3")
                        .arg(process.exitStatus() == QProcess::CrashExit ? "crash" : "exit")
                        .arg(process.exitCode())
                        .arg(QString::fromLocal8Bit(process.readAllStandardError().right(2000))));
        restartPanel();
    }

    void restartPanel()
    {
        panel->kill();
        startPanel();
    }

    QByteArray ask()
    {
        panel->write("report");
        return panel->waitForLine("REPORT ", 5000);
    }

    void checkpoint()
    {
        device->setAnswering(false);
        const qint64 silentSinceNs = Bench::nowNs();
        pauseMs(700);
        checkPanel();
        const QByteArray report = ask();
        if (report.isEmpty()) {
            if (panel->isRunning()) {
                ++hangs;
                Bench::note(QStringLiteral("soak: the panel did not answer; starting it again"));
                restartPanel();
            } else {
                checkPanel();
            }
            return;
        }
        const qint64 frames = Bench::reportValue(report, "frames");
        int firmwareAnswered = 0;
        for (const VirtualSwitch::ReceivedFrame &frame : device->receivedFrames()) {
            if (frame.bytes == "IGW;" && frame.firstByteNs >= answeringSinceNs && frame.firstByteNs < silentSinceNs)
                ++firmwareAnswered;
        }
        device->clearReceived();
        const int status = device->statusFramesSent();
        if (accountable) {
            const qint64 sent = status - statusBase + firmwareAnswered;
            const qint64 got = frames - framesBase;
            frameTally.add(sent, got);
            Bench::note(QStringLiteral("soak: phase %1: %2 frames sent, %3 received, resident %4 MiB")
                            .arg(phases)
                            .arg(sent)
                            .arg(got)
                            .arg(Bench::statusKiB(panel->pid(), "VmRSS") / 1024.0, 0, 'f', 1));
        }
        accountable = true;
        statusBase = status;
        framesBase = frames;
        boxes = Bench::reportValue(report, "boxes");
        actions = Bench::reportValue(report, "actions");
        memory.check(panel->pid());
        ++phases;
    }

    int run(double minutes)
    {
        if (!startDevice() || !startPanel())
            return 1;
        const qint64 endNs = Bench::nowNs() + static_cast<qint64>(minutes * 60e9);
        while (Bench::nowNs() < endNs) {
            // A phase of ten to thirty seconds on a ragged line.
            const qint64 phaseEndNs = std::min(endNs, Bench::nowNs() + Bench::randomInt(10, 30) * 1000000000LL);
            while (Bench::nowNs() < phaseEndNs) {
                pauseMs(1000);
                checkPanel();
                if (Bench::randomInt(1, 10) <= 3) {
                    device->sendRaw(garbage(Bench::randomInt(1, 256)));
                    ++bursts;
                }
            }
            checkpoint();
            if (Bench::nowNs() >= endNs)
                break;

            switch (Bench::randomInt(0, 2)) {
            case 0: {
                // Unplugged: the device goes, and comes back a while later
                // at another path behind the same link.
                device->vanish();
                ++vanished;
                pauseMs(Bench::randomInt(300, 3000));
                if (!startDevice())
                    return 1;
                break;
            }
            case 1:
                device->setAnswering(true);
                answeringSinceNs = Bench::nowNs();
                // The operator disconnects; the panel's helper connects again.
                panel->write("disconnect");
                ++disconnects;
                break;
            default:
                device->setAnswering(true);
                answeringSinceNs = Bench::nowNs();
                break;
            }
            device->setSplitFrames(Bench::randomInt(0, 6));
        }
        panel->stop();
        device.reset();
        link.remove();

        Bench::result(QStringLiteral("soak.minutes"), minutes);
        Bench::result(QStringLiteral("soak.crashes"), static_cast<double>(crashes));
        Bench::result(QStringLiteral("soak.hangs"), static_cast<double>(hangs));
        Bench::result(QStringLiteral("soak.phases"), static_cast<double>(phases));
        Bench::result(QStringLiteral("soak.vanished"), static_cast<double>(vanished));
        Bench::result(QStringLiteral("soak.disconnects"), static_cast<double>(disconnects));
        Bench::result(QStringLiteral("soak.garbage_bursts"), static_cast<double>(bursts));
        Bench::result(QStringLiteral("soak.frames_sent"), static_cast<double>(frameTally.sent));
        Bench::result(QStringLiteral("soak.frames_received"), static_cast<double>(frameTally.received));
        Bench::result(QStringLiteral("soak.lost"), static_cast<double>(frameTally.lost));
        Bench::result(QStringLiteral("soak.extra"), static_cast<double>(frameTally.extra));
        Bench::result(QStringLiteral("soak.boxes"), static_cast<double>(boxes));
        Bench::result(QStringLiteral("soak.actions"), static_cast<double>(actions));
        Bench::result(QStringLiteral("soak.rss_start"), memory.startKiB / 1024.0);
        Bench::result(QStringLiteral("soak.rss_end"), memory.endKiB / 1024.0);
        Bench::result(QStringLiteral("soak.rss_max"), memory.highestKiB / 1024.0);
        Bench::result(QStringLiteral("soak.peak"), memory.peakKiB / 1024.0);

        const auto mib = [](qint64 kib) { return QString::number(kib / 1024.0, 'f', 1); };
        const QString summary = QStringLiteral(
            "\n| Soak, %1 min | |\n|---|---:|\n"
            "| Crashes of the panel | %2 |\n"
            "| Hangs (no answer within 5 s) | %3 |\n"
            "| Phases / device vanished and back / operator reconnects | %4 / %5 / %6 |\n"
            "| Garbage bursts on the line (besides noise before one frame in five) | %7 |\n"
            "| Frames sent by the switch / received by the panel | %8 / %9 |\n"
            "| Frames lost / extra | %10 / %11 |\n"
            "| Operator actions / boxes closed | %12 / %13 |\n"
            "| Resident memory at the first and last check (MiB) | %14 → %15 |\n"
            "| Highest resident memory at a check / peak (VmHWM, MiB) | %16 / %17 |\n")
                                    .arg(minutes)
                                    .arg(crashes)
                                    .arg(hangs)
                                    .arg(phases)
                                    .arg(vanished)
                                    .arg(disconnects)
                                    .arg(bursts)
                                    .arg(frameTally.sent)
                                    .arg(frameTally.received)
                                    .arg(frameTally.lost)
                                    .arg(frameTally.extra)
                                    .arg(actions)
                                    .arg(boxes)
                                    .arg(mib(memory.startKiB), mib(memory.endKiB), mib(memory.highestKiB), mib(memory.peakKiB));
        std::fputs(summary.toUtf8().constData(), stdout);
        return crashes == 0 && hangs == 0 ? 0 : 1;
    }
};

} // namespace

int runSoak(double minutes)
{
    Soak soak;
    return soak.run(minutes);
}
