// The unattended soak: the panel with --reconnect and no one at it, and a
// switch that vanishes and comes back again and again behind a stable link
// name, as a USB adapter does behind its /dev/serial/by-id/ name. Each return
// must be reconnected; before the next loss the switch falls silent for a
// moment, so the frames it sent since its return can be compared with the
// frames the panel received.
//
// With the broker, it is a station box: the panel runs --headless with
// --mqtt on a private Mosquitto and follows the band from a logger's UDP
// packets; a watcher and a remote panel are attached, commands come from the
// broker and band changes from the logger while the switch is there, and the
// broker is restarted now and then. Every command must reach the switch,
// every band change show in the published state, and the panel must come
// back to each restarted broker.

#include "bench/BenchSupport.h"
#include "bench/Commands.h"
#include "bench/Processes.h"

#include "panel/PanelState.h"
#include "remote/BrokerSettings.h"
#include "remote/MosquittoClient.h"
#include "sim/LocalBroker.h"
#include "sim/StableLink.h"
#include "sim/VirtualSwitch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <cstdio>
#include <memory>

namespace {

// Longer than the longest wait between tries, with room for a slow machine.
constexpr int reconnectLimitMs = 12000;
// The broker client's longest pause between tries, with room.
constexpr int brokerReturnLimitMs = 40000;
// A command or band change that has not shown by then is lost.
constexpr int commandLimitMs = 3000;

// The bands the logger moves the radio to, and their antennas at start.
struct LoggerBand
{
    qint64 hz;
    const char *name;
};
constexpr LoggerBand loggerBands[] = {{14200000, "20m"}, {7100000, "40m"}, {21200000, "15m"}};

// The broker side of a station box run: the broker, a watcher on it, a
// remote panel, the logger, and what they counted.
struct BrokerSide
{
    LocalBroker broker;
    QTemporaryDir folder;
    quint16 loggerPort = 0;
    QUdpSocket logger;
    std::unique_ptr<MosquittoClient> watcher;
    std::unique_ptr<Child> remotePanel;

    QJsonObject state;
    long long stateMessages = 0, frameMessages = 0, onlineTrue = 0;
    long long restarts = 0, brokerReturns = 0, brokerMissed = 0;
    long long commandsSent = 0, commandsArrived = 0, commandsLost = 0;
    long long bandsSent = 0, bandsShown = 0, bandsLost = 0;
    QVector<double> brokerReturnMs;
    int bandIndex = 0;

    BrokerSettings settings() const
    {
        BrokerSettings settings;
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = broker.port();
        return settings;
    }

    bool start()
    {
        if (!broker.start()) {
            Bench::note(QStringLiteral("unattended soak: cannot start the broker: %1").arg(broker.errorString()));
            return false;
        }
        QUdpSocket probe;
        probe.bind(QHostAddress(QHostAddress::LocalHost), 0);
        loggerPort = probe.localPort();
        QFile memory(folder.filePath(QStringLiteral("bands.ini")));
        if (!memory.open(QIODevice::WriteOnly) || memory.write("[General]\n20m=3\n40m=5\n15m=7\n") < 0)
            return false;
        memory.close();

        watcher = std::make_unique<MosquittoClient>(settings());
        const BrokerSettings base = settings();
        for (const char *leaf : {BrokerTopics::state, BrokerTopics::frames, BrokerTopics::online, BrokerTopics::error})
            watcher->subscribe(base.topicFor(leaf));
        QObject::connect(watcher.get(), &BrokerClient::messageReceived, [this, base](const QString &topic, const QByteArray &payload, bool) {
            if (topic == base.topicFor(BrokerTopics::state)) {
                ++stateMessages;
                state = QJsonDocument::fromJson(payload).object();
            } else if (topic == base.topicFor(BrokerTopics::frames)) {
                ++frameMessages;
            } else if (topic == base.topicFor(BrokerTopics::online) && payload == "true") {
                ++onlineTrue;
            } else if (topic == base.topicFor(BrokerTopics::error)) {
                Bench::note(QStringLiteral("unattended soak: the panel refused a command: %1").arg(QString::fromUtf8(payload)));
            }
        });
        watcher->start();
        remotePanel = std::make_unique<Child>(Programs::panel(),
                                              QStringList{QStringLiteral("--remote"), base.address()});
        return remotePanel->waitStarted();
    }

    QStringList panelArguments() const
    {
        return {QStringLiteral("--headless"), QStringLiteral("--mqtt"), settings().address(),
                QStringLiteral("--logger-udp"), QStringLiteral("127.0.0.1:%1").arg(loggerPort),
                QStringLiteral("--bands"), folder.filePath(QStringLiteral("bands.ini"))};
    }

    bool linkShown() const { return state.value(QStringLiteral("link")).toObject().value(QStringLiteral("connected")).toBool(); }

    static bool waitFor(const std::function<bool()> &condition, int timeoutMs)
    {
        const qint64 endNs = Bench::nowNs() + timeoutMs * 1000000LL;
        while (!condition()) {
            if (Bench::nowNs() > endNs)
                return false;
            pauseMs(20);
        }
        return true;
    }

    // {"antenna":n} on BASE/set, to an antenna the switch is not on; it
    // counts once its select reaches the switch.
    void command(VirtualSwitch &device)
    {
        const int position = device.state().position;
        int antenna = Bench::randomInt(1, positionCount);
        if (antenna - 1 == position)
            antenna = antenna % positionCount + 1;
        const int before = device.receivedFrames().size();
        const QByteArray select = "IGS" + QByteArray::number(antenna - 1) + ';';
        ++commandsSent;
        if (!watcher->publish(settings().topicFor(BrokerTopics::set), "{\"antenna\":" + QByteArray::number(antenna) + '}',
                              false, BrokerClient::Delivery::Acknowledged))
            Bench::note(QStringLiteral("unattended soak: the watcher could not publish a command"));
        const bool arrived = waitFor([&] {
            const QList<VirtualSwitch::ReceivedFrame> frames = device.receivedFrames();
            for (int i = before; i < frames.size(); ++i) {
                if (frames.at(i).bytes.startsWith(select))
                    return true;
            }
            return false;
        }, commandLimitMs);
        if (arrived) {
            ++commandsArrived;
            return;
        }
        ++commandsLost;
        QStringList seen;
        const QList<VirtualSwitch::ReceivedFrame> frames = device.receivedFrames();
        for (int i = before; i < frames.size(); ++i)
            seen << QString::fromLatin1(frames.at(i).bytes.toHex());
        Bench::note(QStringLiteral("unattended soak: command {\"antenna\":%1} did not reach the switch (%2)").arg(antenna).arg(seen.join(' ')));
    }

    // A RadioInfo packet from the logger for the next band; it counts once
    // the published state shows that band.
    void bandChange()
    {
        const LoggerBand &band = loggerBands[bandIndex++ % 3];
        const QByteArray packet = "<RadioInfo><RadioNr>1</RadioNr><ActiveRadioNr>1</ActiveRadioNr><Freq>"
                                  + QByteArray::number(band.hz / 10)
                                  + "</Freq><IsTransmitting>False</IsTransmitting></RadioInfo>";
        ++bandsSent;
        logger.writeDatagram(packet, QHostAddress::LocalHost, loggerPort);
        if (waitFor([&] { return state.value(QStringLiteral("band")).toString() == QLatin1String(band.name); },
                    commandLimitMs)) {
            ++bandsShown;
            return;
        }
        ++bandsLost;
        Bench::note(QStringLiteral("unattended soak: band %1 never showed in the state").arg(QLatin1String(band.name)));
    }

    // The broker goes away for a few seconds and comes back on the same
    // port, empty; the panel must say it is online there again.
    void restart()
    {
        ++restarts;
        if (Bench::randomInt(0, 1) == 0)
            broker.stop();
        else
            broker.kill();
        pauseMs(Bench::randomInt(1000, 6000));
        const long long onlineBefore = onlineTrue;
        state = QJsonObject();
        if (!broker.start()) {
            Bench::note(QStringLiteral("unattended soak: the broker did not start again: %1").arg(broker.errorString()));
            ++brokerMissed;
            return;
        }
        const qint64 backNs = Bench::nowNs();
        if (waitFor([&] { return onlineTrue > onlineBefore && linkShown(); }, brokerReturnLimitMs)) {
            ++brokerReturns;
            brokerReturnMs << Bench::nsToMs(Bench::nowNs() - backNs);
            return;
        }
        ++brokerMissed;
        Bench::note(QStringLiteral("unattended soak: broker restart %1: the panel did not come back within %2 s")
                        .arg(restarts)
                        .arg(brokerReturnLimitMs / 1000));
    }
};

struct UnattendedSoak
{
    explicit UnattendedSoak(bool withBroker)
    {
        if (withBroker)
            brokerSide = std::make_unique<BrokerSide>();
    }

    std::unique_ptr<BrokerSide> brokerSide;
    StableLink link{QDir::tempPath() + QStringLiteral("/tqx5r-unattended-%1").arg(QCoreApplication::applicationPid())};
    std::unique_ptr<VirtualSwitch> device;
    std::unique_ptr<Child> panel;
    qint64 framesBase = 0;

    long long crashes = 0, hangs = 0, returns = 0, reconnected = 0, missed = 0;
    Bench::FrameTally frameTally;
    Bench::MemoryTrack memory;
    QVector<double> reconnectMs;
    QByteArray lastReport;
    double cpuStart = -1;
    qint64 cpuStartNs = 0;
    double cpuPercent = -1;

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
        QStringList arguments{QStringLiteral("--port"), link.path(), QStringLiteral("--reconnect")};
        if (brokerSide)
            arguments += brokerSide->panelArguments();
        panel = std::make_unique<Child>(Programs::benchPanel(), arguments);
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

    // A stretch on the line; with the broker, commands and band changes come
    // meanwhile, and now and then the broker restarts.
    void onTheLine()
    {
        const qint64 stretchEndNs = Bench::nowNs() + Bench::randomInt(3000, 12000) * 1000000LL;
        if (brokerSide) {
            // After a return, the state says the link is up before anything
            // is sent.
            BrokerSide::waitFor([this] { return brokerSide->linkShown(); }, reconnectLimitMs);
            if (returns > 0 && returns % 4 == 0)
                brokerSide->restart();
            for (int i = Bench::randomInt(1, 3); i > 0; --i) {
                if (Bench::randomInt(0, 2) == 0)
                    brokerSide->bandChange();
                else
                    brokerSide->command(*device);
                pauseMs(Bench::randomInt(300, 1500));
            }
        }
        const qint64 leftMs = (stretchEndNs - Bench::nowNs()) / 1000000;
        if (leftMs > 0)
            pauseMs(static_cast<int>(leftMs));
    }

    int run(double minutes)
    {
        if ((brokerSide && !brokerSide->start()) || !startDevice() || !startPanel())
            return 1;
        if (waitForReconnect(Bench::nowNs()) < 0) {
            Bench::note(QStringLiteral("unattended soak: the panel never connected"));
            return 1;
        }
        // Start-up is not part of the CPU figure.
        pauseMs(2000);
        cpuStart = Bench::cpuSeconds(panel->pid());
        cpuStartNs = Bench::nowNs();
        const qint64 endNs = Bench::nowNs() + static_cast<qint64>(minutes * 60e9);
        // Every return is followed by a stretch on the line and a check, so
        // the run ends with one.
        for (;;) {
            onTheLine();
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
        const double cpuEnd = Bench::cpuSeconds(panel->pid());
        if (cpuStart >= 0 && cpuEnd >= 0)
            cpuPercent = 100.0 * (cpuEnd - cpuStart) / (static_cast<double>(Bench::nowNs() - cpuStartNs) / 1e9);
        panel->stop();
        device.reset();
        report(minutes);
        const bool brokerFine = !brokerSide
                                || (brokerSide->brokerMissed == 0 && brokerSide->commandsLost == 0
                                    && brokerSide->bandsLost == 0);
        return crashes == 0 && hangs == 0 && missed == 0 && brokerFine ? 0 : 1;
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
        put("cpu", cpuPercent);

        const QString summary =
            QStringLiteral("\n| Unattended soak%22, %1 min | |\n|---|---:|\n"
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
                .arg(mib(memory.peakKiB), 0, 'f', 1)
                .arg(brokerSide ? QStringLiteral(" with the broker (--headless --mqtt, band follow)") : QString())
            + QStringLiteral("| CPU of the panel over the run, from the first connection (% of one core) | %1 |\n")
                  .arg(cpuPercent, 0, 'f', 2);
        std::fputs(summary.toUtf8().constData(), stdout);
        if (brokerSide)
            reportBroker();
    }

    void reportBroker() const
    {
        const BrokerSide &b = *brokerSide;
        const auto put = [](const char *name, double value) {
            Bench::result(QStringLiteral("unattended.broker.") + QLatin1String(name), value);
        };
        put("restarts", b.restarts);
        put("returns", b.brokerReturns);
        put("missed", b.brokerMissed);
        put("return_max_ms", Bench::maximum(b.brokerReturnMs));
        put("commands_sent", b.commandsSent);
        put("commands_arrived", b.commandsArrived);
        put("commands_lost", b.commandsLost);
        put("bands_sent", b.bandsSent);
        put("bands_shown", b.bandsShown);
        put("bands_lost", b.bandsLost);
        put("state_messages", b.stateMessages);
        put("frame_messages", b.frameMessages);
        const QString summary =
            QStringLiteral("| Broker restarted / the panel back on it / not within %1 s | %2 / %3 / %4 |\n"
                           "| Broker restart to the panel online again with the link shown: median / max (ms) | %5 / %6 |\n"
                           "| Commands {\"antenna\":n} sent on the broker / reached the switch / lost | %7 / %8 / %9 |\n"
                           "| Band changes from the logger / shown in the state / lost | %10 / %11 / %12 |\n"
                           "| State messages / relayed frames seen by the watcher | %13 / %14 |\n")
                .arg(brokerReturnLimitMs / 1000)
                .arg(b.restarts)
                .arg(b.brokerReturns)
                .arg(b.brokerMissed)
                .arg(Bench::median(b.brokerReturnMs), 0, 'f', 0)
                .arg(Bench::maximum(b.brokerReturnMs), 0, 'f', 0)
                .arg(b.commandsSent)
                .arg(b.commandsArrived)
                .arg(b.commandsLost)
                .arg(b.bandsSent)
                .arg(b.bandsShown)
                .arg(b.bandsLost)
                .arg(b.stateMessages)
                .arg(b.frameMessages);
        std::fputs(summary.toUtf8().constData(), stdout);
    }
};

} // namespace

int runUnattendedSoak(double minutes, bool withBroker)
{
    UnattendedSoak soak(withBroker);
    return soak.run(minutes);
}
