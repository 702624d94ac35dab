// The unattended soak: the panel with --reconnect and no one at it, and a
// switch that vanishes and comes back again and again behind a stable link
// name, as a USB adapter does behind its /dev/serial/by-id/ name. Each return
// must be reconnected; before the next loss the switch falls silent for a
// moment, so the frames it sent since its return can be compared with the
// frames the panel received.

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

// Longer than the longest wait between tries, with room for a slow machine.
constexpr int reconnectLimitMs = 12000;

struct UnattendedSoak
{
    StableLink link{QDir::tempPath() + QStringLiteral("/tqx5r-unattended-%1").arg(QCoreApplication::applicationPid())};
    std::unique_ptr<VirtualSwitch> device;
    std::unique_ptr<Child> panel;
    qint64 framesBase = 0;

    long long crashes = 0, hangs = 0, returns = 0, reconnected = 0, missed = 0;
    Bench::FrameTally frameTally;
    Bench::MemoryTrack memory;
    QVector<double> reconnectMs;
    QByteArray lastReport;

    bool startDevice()
    {
        VirtualSwitch::Options options;
        options.lively = true;
        device = std::make_unique<VirtualSwitch>(options);
        if (!device->start() || !link.pointAt(device->devicePath())) {
            Bench::note(QStringLiteral("unattended soak: cannot start the virtual switch: %1").arg(device->errorString()));
            return false;
        }
        device->setGarbageRate(0.2);
        device->setSplitFrames(Bench::randomInt(0, 6));
        return true;
    }

    bool startPanel()
    {
        panel = std::make_unique<Child>(Programs::benchPanel(), QStringList{QStringLiteral("--port"), link.path(),
                                                                            QStringLiteral("--reconnect")});
        framesBase = 0;
        return panel->waitStarted();
    }

    // Nothing here asks the panel to quit: a panel that is gone has crashed.
    bool panelAlive()
    {
        if (panel->isRunning())
            return true;
        ++crashes;
        Bench::note(QStringLiteral("unattended soak: the panel ended: %1")
                        .arg(QString::fromLocal8Bit(panel->readAllStderr().right(2000))));
        return false;
    }

    // Waits for the firmware request that opens every connection; the time
    // from the switch's return to it, or -1.
    double waitForReconnect(qint64 returnedNs)
    {
        if (!device->waitForFrames(1, reconnectLimitMs))
            return -1;
        const VirtualSwitch::ReceivedFrame first = device->receivedFrames().first();
        return first.bytes == "IGW;" ? Bench::nsToMs(first.firstByteNs - returnedNs) : -1;
    }

    // The switch falls silent; every frame it sent since its return should
    // have reached the panel.
    bool account(long long phase)
    {
        device->setAnswering(false);
        pauseMs(700);
        panel->write("report");
        const QByteArray report = panel->waitForLine("REPORT ", 5000);
        if (report.isEmpty()) {
            if (panelAlive())
                ++hangs;
            return false;
        }
        lastReport = report;
        int firmwareAnswered = 0;
        for (const VirtualSwitch::ReceivedFrame &frame : device->receivedFrames())
            firmwareAnswered += frame.bytes == "IGW;" ? 1 : 0;
        const qint64 frames = Bench::reportValue(report, "frames");
        const qint64 switchSent = device->statusFramesSent() + firmwareAnswered;
        const qint64 got = frames - framesBase;
        framesBase = frames;
        frameTally.add(switchSent, got);
        const qint64 rss = memory.check(panel->pid());
        Bench::note(QStringLiteral("unattended soak: %1: %2 frames sent, %3 received, resident %4 MiB")
                        .arg(phase == 0 ? QStringLiteral("start") : QStringLiteral("return %1").arg(phase))
                        .arg(switchSent)
                        .arg(got)
                        .arg(rss / 1024.0, 0, 'f', 1));
        return true;
    }

    int run(double minutes)
    {
        if (!startDevice() || !startPanel())
            return 1;
        if (waitForReconnect(Bench::nowNs()) < 0) {
            Bench::note(QStringLiteral("unattended soak: the panel never connected"));
            return 1;
        }
        const qint64 endNs = Bench::nowNs() + static_cast<qint64>(minutes * 60e9);
        // Every return is followed by a stretch on the line and a check, so
        // the run ends with one.
        for (;;) {
            pauseMs(Bench::randomInt(3000, 12000));
            if (!account(returns) || Bench::nowNs() >= endNs)
                break;

            // Unplugged, with its stable name, for up to eight seconds: long
            // enough for the panel to back off to its slowest tries.
            device->vanish();
            link.remove();
            pauseMs(Bench::randomInt(300, 8000));
            if (!startDevice())
                return 1;
            const qint64 returnedNs = Bench::nowNs();
            ++returns;
            const double delayMs = waitForReconnect(returnedNs);
            if (delayMs < 0) {
                ++missed;
                Bench::note(QStringLiteral("unattended soak: return %1 not reconnected within %2 ms")
                                .arg(returns)
                                .arg(reconnectLimitMs));
            } else {
                ++reconnected;
                reconnectMs << delayMs;
            }
            if (!panelAlive())
                break;
        }
        panel->stop();
        device.reset();
        report(minutes);
        return crashes == 0 && hangs == 0 && missed == 0 ? 0 : 1;
    }

    void report(double minutes) const
    {
        const qint64 losses = Bench::reportValue(lastReport, "losses");
        const qint64 reconnects = Bench::reportValue(lastReport, "reconnects");
        const qint64 tries = Bench::reportValue(lastReport, "tries");
        const qint64 boxes = Bench::reportValue(lastReport, "boxes");
        const auto mib = [](qint64 kib) { return kib / 1024.0; };
        const auto put = [](const char *name, double value) {
            Bench::result(QStringLiteral("unattended.") + QLatin1String(name), value);
        };
        put("minutes", minutes);
        put("crashes", crashes);
        put("hangs", hangs);
        put("returns", returns);
        put("reconnected", reconnected);
        put("missed", missed);
        put("panel_losses", losses);
        put("panel_reconnects", reconnects);
        put("panel_tries", tries);
        put("boxes", boxes);
        put("reconnect_p50_ms", Bench::median(reconnectMs));
        put("reconnect_max_ms", Bench::maximum(reconnectMs));
        put("frames_sent", frameTally.sent);
        put("frames_received", frameTally.received);
        put("lost", frameTally.lost);
        put("extra", frameTally.extra);
        put("rss_start", mib(memory.startKiB));
        put("rss_end", mib(memory.endKiB));
        put("rss_max", mib(memory.highestKiB));
        put("peak", mib(memory.peakKiB));

        const QString summary =
            QStringLiteral("\n| Unattended soak, %1 min | |\n|---|---:|\n"
                           "| Crashes / hangs of the panel | %2 / %3 |\n"
                           "| Switch vanished and came back / reconnected / not within %4 s | %5 / %6 / %7 |\n"
                           "| Losses / reconnects / tries counted by the panel | %8 / %9 / %10 |\n"
                           "| Return to the firmware request: median / max (ms) | %11 / %12 |\n"
                           "| Frames sent by the switch / received by the panel, from the start and after each return | %13 / %14 |\n"
                           "| Frames lost / extra | %15 / %16 |\n"
                           "| Boxes shown | %17 |\n"
                           "| Resident memory at the first and last check (MiB) | %18 → %19 |\n"
                           "| Highest resident memory at a check / peak (VmHWM, MiB) | %20 / %21 |\n")
                .arg(minutes)
                .arg(crashes)
                .arg(hangs)
                .arg(reconnectLimitMs / 1000)
                .arg(returns)
                .arg(reconnected)
                .arg(missed)
                .arg(losses)
                .arg(reconnects)
                .arg(tries)
                .arg(Bench::median(reconnectMs), 0, 'f', 0)
                .arg(Bench::maximum(reconnectMs), 0, 'f', 0)
                .arg(frameTally.sent)
                .arg(frameTally.received)
                .arg(frameTally.lost)
                .arg(frameTally.extra)
                .arg(boxes)
                .arg(mib(memory.startKiB), 0, 'f', 1)
                .arg(mib(memory.endKiB), 0, 'f', 1)
                .arg(mib(memory.highestKiB), 0, 'f', 1)
                .arg(mib(memory.peakKiB), 0, 'f', 1);
        std::fputs(summary.toUtf8().constData(), stdout);
    }
};

} // namespace

int runUnattendedSoak(double minutes)
{
    UnattendedSoak soak;
    return soak.run(minutes);
}
