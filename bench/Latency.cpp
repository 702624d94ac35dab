// Key to wire, switch to screen and band change to wire: the real window and
// poll thread in this process, the virtual switch at the far end of a
// pseudo-terminal.

#include "bench/BenchSupport.h"
#include "bench/Commands.h"
#include "bench/Latency.h"

#include "band/AntennaGuard.h"
#include "band/BandFollow.h"
#include "band/BandFollower.h"
#include "link/ThreadLeitura.h"
#include "panel/KeyPainting.h"
#include "panel/MainWindow.h"
#include "panel/SwitchSeam.h"
#include "sim/DummyRig.h"
#include "sim/VirtualSwitch.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// Checks every millisecond.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    if (condition())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    bool met = false;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (condition()) {
            met = true;
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    check.start(1);
    loop.exec();
    return met || condition();
}

bool waitForFrame(const VirtualSwitch &device, int before, const QByteArray &prefix, qint64 &arrivedNs)
{
    return waitUntil([&] {
        const QList<VirtualSwitch::ReceivedFrame> frames = device.receivedFrames();
        for (int f = before; f < frames.size(); ++f) {
            if (frames.at(f).bytes.startsWith(prefix)) {
                arrivedNs = frames.at(f).firstByteNs;
                return true;
            }
        }
        return false;
    }, 3000);
}

void reportLatencies(const QString &name, const QVector<double> &ms, int missed)
{
    Bench::result(name + ".p50", Bench::percentile(ms, 0.50));
    Bench::result(name + ".p99", Bench::percentile(ms, 0.99));
    Bench::result(name + ".max", Bench::maximum(ms));
    Bench::result(name + ".missed", missed);
}

namespace {

void pause(int ms)
{
    waitUntil([] { return false; }, ms);
}

// The panel as tqx5r-panel --port sets it up, against a fresh virtual switch.
struct Rig
{
    VirtualSwitch device;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ThreadLeitura> pollThread;
    std::array<QPushButton *, positionCount> keys{};

    bool start()
    {
        if (!device.start()) {
            Bench::note(QStringLiteral("virtual switch: %1").arg(device.errorString()));
            return false;
        }
        window = std::make_unique<MainWindow>();
        window->show();
        window->setFixedSize(window->geometry().width(), window->geometry().height());
        MainWindow::registerMetaType();
        pollThread = std::make_unique<ThreadLeitura>(window.get());
        for (int i = 0; i < positionCount; ++i)
            keys[static_cast<size_t>(i)] = window->findChild<QPushButton *>(QStringLiteral("botaoTecla%1").arg(i + 1));
        window->connectAtStart(device.devicePath());
        // Connected once the first status frame has painted key 1 active.
        if (!waitUntil([this] { return keys[0]->styleSheet() == KeyPainting::activeKeyStyle; }, 5000)) {
            Bench::note(QStringLiteral("the panel did not show the switch"));
            return false;
        }
        return true;
    }

    ~Rig()
    {
        if (pollThread)
            pollThread->stop();
    }
};

// Stamps the end of the first paint of the key it waits for, once that key
// carries the active look.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(const std::array<QPushButton *, positionCount> &keys)
        : keys(keys)
    {
        for (QPushButton *key : keys)
            key->installEventFilter(this);
    }

    std::atomic<int> awaitedKey{-1};
    std::atomic<qint64> paintedNs{0};

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        const int awaited = awaitedKey.load();
        if (awaited < 0 || watched != keys[static_cast<size_t>(awaited)]
            || keys[static_cast<size_t>(awaited)]->styleSheet() != KeyPainting::activeKeyStyle)
            return false;
        // Let the key paint itself, then take the time.
        watched->event(event);
        paintedNs.store(Bench::nowNs());
        awaitedKey.store(-1);
        return true;
    }

private:
    const std::array<QPushButton *, positionCount> keys;
};

} // namespace

namespace {

void pressKeys(Rig &rig, int presses, const QString &name)
{
    QVector<double> latencies;
    int missed = 0;
    for (int i = 0; i < presses; ++i) {
        // A random moment against the poll thread's cycle and last send.
        pause(Bench::randomInt(0, 300));
        const int before = rig.device.receivedFrames().size();
        const auto key = static_cast<Qt::Key>(Qt::Key_F1 + Bench::randomInt(0, positionCount - 1));
        qint64 arrivedNs = 0;
        const qint64 pressedNs = Bench::nowNs();
        QTest::keyClick(rig.window.get(), key);
        if (waitForFrame(rig.device, before, "IGS", arrivedNs))
            latencies << Bench::nsToMs(arrivedNs - pressedNs);
        else
            ++missed;
        if (rig.device.receivedFrames().size() > 1000)
            rig.device.clearReceived();
    }
    reportLatencies(name, latencies, missed);
}

} // namespace

int runKeyToWire(int presses)
{
    Rig rig;
    if (!rig.start())
        return 1;
    pressKeys(rig, presses, QStringLiteral("key"));
    return 0;
}

int runKeyToWireWithRules(int presses)
{
    Rig rig;
    if (!rig.start())
        return 1;
    // Antenna rules that warn about most keys on 20 m (which are still
    // sent), and band follow on a logger port telling it the band.
    QTemporaryDir dir;
    const QString antennasPath = dir.filePath(QStringLiteral("antennas.ini"));
    QFile antennas(antennasPath);
    if (!antennas.open(QIODevice::WriteOnly)
        || antennas.write("[Bands]\n1=20m 15m 10m\n2=80m 40m\n3=20m\n6=6m\n8=2m 70cm\n[ReceiveOnly]\n7=true\n") < 0)
        return 1;
    antennas.close();
    BandFollowSettings settings;
    {
        QUdpSocket probe;
        probe.bind(QHostAddress(QHostAddress::LocalHost), 0);
        settings.loggerPorts = QStringList{QString::number(probe.localPort())};
    }
    BandFollow follow(settings, dir.filePath(QStringLiteral("bands.ini")), rig.window->seam());
    AntennaGuard guard(rig.window->seam(), antennasPath);
    guard.start();
    guard.follow(follow.follower());
    QUdpSocket logger;
    const QByteArray packet = "<RadioInfo><RadioNr>1</RadioNr><ActiveRadioNr>1</ActiveRadioNr><Freq>1420000</Freq>"
                              "<IsTransmitting>False</IsTransmitting></RadioInfo>";
    logger.writeDatagram(packet, QHostAddress::LocalHost, settings.loggerPorts.first().toUShort());
    if (!waitUntil([&follow] { return follow.band() == BandPlan::bandForKey(QStringLiteral("20m")); }, 3000)) {
        Bench::note(QStringLiteral("band follow did not take the band"));
        return 1;
    }
    pressKeys(rig, presses, QStringLiteral("key.rules"));
    return 0;
}

int runSwitchToScreen(int samples)
{
    Rig rig;
    if (!rig.start())
        return 1;
    const PaintLatency latency = switchToScreen(rig.device, rig.keys, samples);
    reportLatencies(QStringLiteral("screen"), latency.ms, latency.missed);
    return 0;
}

PaintLatency switchToScreen(VirtualSwitch &device, const std::array<QPushButton *, positionCount> &keys, int samples)
{
    PaintWatch watch(keys);
    QVector<double> latencies;
    std::atomic<int> missed{0};

    // A thread of its own moves the switch right after a status frame has
    // gone out, so the next frame is the first to show the new key.
    std::thread mover([&] {
        const auto waitFor = [](const std::function<bool()> &condition, int timeoutMs) {
            const qint64 endNs = Bench::nowNs() + timeoutMs * 1000000LL;
            while (!condition()) {
                if (Bench::nowNs() > endNs)
                    return false;
                std::this_thread::sleep_for(std::chrono::microseconds(500));
            }
            return true;
        };
        SwitchState state = device.state();
        for (int i = 0; i < samples; ++i) {
            const int sent = device.statusFramesSent();
            if (!waitFor([&] { return device.statusFramesSent() > sent; }, 3000)) {
                ++missed;
                continue;
            }
            const int carrier = device.statusFramesSent();
            state.position = static_cast<quint8>((state.position + Bench::randomInt(1, positionCount - 1)) % positionCount);
            watch.paintedNs.store(0);
            watch.awaitedKey.store(state.position);
            device.setState(state);
            const bool painted = waitFor([&] {
                return watch.paintedNs.load() != 0 && device.statusFrameWrittenNs().size() > carrier;
            }, 3000);
            const qint64 paintedNs = watch.paintedNs.load();
            const QList<qint64> written = device.statusFrameWrittenNs();
            if (!painted || paintedNs < written.at(carrier)) {
                watch.awaitedKey.store(-1);
                ++missed;
                continue;
            }
            QMetaObject::invokeMethod(qApp, [&latencies, ms = Bench::nsToMs(paintedNs - written.at(carrier))] {
                latencies << ms;
            });
        }
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QApplication::exec();
    mover.join();
    return PaintLatency{latencies, missed.load()};
}

namespace {

// The band each sample moves the radio to, and the frame that band's
// remembered antenna gives at the switch.
struct BandStep
{
    qint64 hz;
    int position;
};
constexpr BandStep bandSteps[] = {{14200000, 2}, {7100000, 4}};

// Band follow leaves a second between two of its selects; a sample starts
// later than that, at a random moment against the poll thread's cycle.
constexpr int bandChangeSpacingMs = 700;
constexpr int bandChangeJitterMs = 300;

// Moves the radio from band to band through changeBand(hz), each time at a
// random moment, and times the change to the first byte of the select frame
// at the switch.
void measureBandChanges(Rig &rig, const QString &name, int samples, const std::function<bool(qint64)> &changeBand)
{
    QVector<double> latencies;
    int missed = 0;
    for (int i = 0; i < samples; ++i) {
        const BandStep &step = bandSteps[i % 2];
        pause(bandChangeSpacingMs + Bench::randomInt(0, bandChangeJitterMs));
        const int before = rig.device.receivedFrames().size();
        const QByteArray expected = "IGS" + QByteArray::number(step.position) + ';';
        qint64 arrivedNs = 0;
        const qint64 changedNs = Bench::nowNs();
        if (changeBand(step.hz) && waitForFrame(rig.device, before, expected, arrivedNs))
            latencies << Bench::nsToMs(arrivedNs - changedNs);
        else
            ++missed;
        // The next sample starts from a switch that shows this band's antenna.
        waitUntil([&] { return rig.window->seam()->snapshot().position == step.position; }, 3000);
        if (rig.device.receivedFrames().size() > 1000)
            rig.device.clearReceived();
    }
    reportLatencies(name, latencies, missed);
}

// A band change made while transmitting waits; from the packet that ends
// the transmission to the first byte of the select, which must not come
// before the hang time has passed.
void measureRelease(Rig &rig, int samples, const std::function<bool(qint64, bool)> &sendRadioInfo)
{
    constexpr int bandCountedMs = 400;
    QVector<double> latencies;
    int missed = 0;
    for (int i = 0; i < samples; ++i) {
        const BandStep &step = bandSteps[i % 2];
        pause(bandChangeSpacingMs + Bench::randomInt(0, bandChangeJitterMs));
        if (!sendRadioInfo(step.hz, true)) {
            ++missed;
            continue;
        }
        pause(bandCountedMs);
        const int before = rig.device.receivedFrames().size();
        const QByteArray expected = "IGS" + QByteArray::number(step.position) + ';';
        qint64 arrivedNs = 0;
        const qint64 endedNs = Bench::nowNs();
        if (sendRadioInfo(step.hz, false) && waitForFrame(rig.device, before, expected, arrivedNs))
            latencies << Bench::nsToMs(arrivedNs - endedNs);
        else
            ++missed;
        waitUntil([&] { return rig.window->seam()->snapshot().position == step.position; }, 3000);
        if (rig.device.receivedFrames().size() > 1000)
            rig.device.clearReceived();
    }
    reportLatencies(QStringLiteral("band.release"), latencies, missed);
    Bench::result(QStringLiteral("band.release.min"), Bench::minimum(latencies));
}


} // namespace

int runBandToWire(int samples)
{
    Rig rig;
    if (!rig.start())
        return 1;
    QTemporaryDir dir;
    BandFollowSettings settings;
    const QString memoryPath = dir.filePath(QStringLiteral("bands.ini"));
    QFile memory(memoryPath);
    if (!memory.open(QIODevice::WriteOnly) || memory.write("[General]\n20m=3\n40m=5\n") < 0)
        return 1;
    memory.close();

    {
        QUdpSocket probe;
        probe.bind(QHostAddress(QHostAddress::LocalHost), 0);
        settings.loggerPorts = QStringList{QString::number(probe.localPort())};
    }
    const quint16 loggerPort = settings.loggerPorts.first().toUShort();
    std::optional<BandFollow> udpFollow;
    udpFollow.emplace(settings, memoryPath, rig.window->seam());
    QUdpSocket logger;
    const auto sendRadioInfo = [&](qint64 hz, bool transmitting) {
        const QByteArray packet = "<RadioInfo><RadioNr>1</RadioNr><ActiveRadioNr>1</ActiveRadioNr><Freq>"
                                  + QByteArray::number(hz / 10) + "</Freq><IsTransmitting>"
                                  + (transmitting ? "True" : "False") + "</IsTransmitting></RadioInfo>";
        return logger.writeDatagram(packet, QHostAddress::LocalHost, loggerPort) == packet.size();
    };
    measureBandChanges(rig, QStringLiteral("band.udp"), samples, [&](qint64 hz) { return sendRadioInfo(hz, false); });
    measureRelease(rig, samples / 2, sendRadioInfo);
    udpFollow.reset();

    DummyRig dummy;
    if (!dummy.start()) {
        Bench::note(dummy.errorString());
        return 1;
    }
    settings.loggerPorts.clear();
    settings.rig.kind = RigSourceSettings::Kind::Rigctld;
    settings.rig.rigctldAddress = dummy.address();
    BandFollow rigFollow(settings, memoryPath, rig.window->seam());
    // The dummy radio starts on 2 m, which has no antenna: nothing to wait for.
    measureBandChanges(rig, QStringLiteral("band.rigctld"), samples, [&](qint64 hz) { return dummy.setFrequency(hz); });
    return 0;
}
