// The web page on the broker: a click on a key in headless Chromium to the
// first byte at the switch, and a change at the switch to the page repainted.
// A private Mosquitto whose WebSockets listener serves the page, the virtual
// switch in this process and tqx5r-panel --mqtt owning it as a process of
// its own; all on loopback.

#include "bench/BenchSupport.h"
#include "bench/Commands.h"
#include "bench/Latency.h"
#include "bench/Processes.h"

#include "sim/HeadlessBrowser.h"
#include "sim/LocalBroker.h"
#include "sim/VirtualSwitch.h"

#include <QJsonArray>

#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <thread>

namespace {

constexpr int pageTimeoutMs = 3000;

QString keySelector(int antenna)
{
    return QStringLiteral("#antennas .key[data-antenna='%1']").arg(antenna);
}

// CLOCK_REALTIME less CLOCK_MONOTONIC: the page stamps its paints in wall
// clock time (performance.timeOrigin + performance.now()).
qint64 realtimeOffsetNs()
{
    timespec real{};
    timespec mono{};
    clock_gettime(CLOCK_MONOTONIC, &mono);
    clock_gettime(CLOCK_REALTIME, &real);
    return (real.tv_sec - mono.tv_sec) * 1000000000LL + (real.tv_nsec - mono.tv_nsec);
}

struct WebRig
{
    LocalBroker broker;
    VirtualSwitch device;
    std::unique_ptr<Child> owner;
    HeadlessBrowser browser;

    bool start()
    {
        broker.enableWebSockets(QStringLiteral(TQX5R_WEB_DIR));
        if (!broker.start() || !device.start()) {
            Bench::note(QStringLiteral("broker: %1; switch: %2").arg(broker.errorString(), device.errorString()));
            return false;
        }
        owner = std::make_unique<Child>(Programs::panel(), QStringList{QStringLiteral("--port"), device.devicePath(),
                                                                       QStringLiteral("--mqtt"),
                                                                       QStringLiteral("127.0.0.1:%1").arg(broker.port())});
        if (!owner->waitStarted())
            return false;
        if (!browser.start() || !browser.open(broker.webUrl()) || !browser.click(QStringLiteral("#connect"))) {
            Bench::note(QStringLiteral("browser: %1").arg(browser.errorString()));
            return false;
        }
        if (!showsInUse(device.state().position + 1, 15000)) {
            Bench::note(QStringLiteral("the page did not show the switch"));
            return false;
        }
        return true;
    }

    bool showsInUse(int antenna, int timeoutMs)
    {
        return waitUntil([&] {
            return browser.js(QStringLiteral("return document.querySelector(\"%1\").getAttribute('aria-pressed')")
                                  .arg(keySelector(antenna)))
                       .toString() == QLatin1String("true");
        }, timeoutMs);
    }

    int otherAntenna() const
    {
        return (device.state().position + Bench::randomInt(1, positionCount - 1)) % positionCount + 1;
    }
};

} // namespace

int runWebClick(int clicks)
{
    WebRig rig;
    if (!rig.start())
        return 1;
    QVector<double> latencies;
    int missed = 0;
    for (int i = 0; i < clicks; ++i) {
        // A random moment against the poll thread's cycle and last send.
        waitUntil([] { return false; }, Bench::randomInt(0, 300));
        const int antenna = rig.otherAntenna();
        const int before = rig.device.receivedFrames().size();
        qint64 clickNs = -1;
        qint64 arrivedNs = 0;
        // The time is taken before the browser is asked to click, so the
        // WebDriver round trip counts against the page.
        if (rig.browser.click(keySelector(antenna), &clickNs) && waitForFrame(rig.device, before, "IGS", arrivedNs))
            latencies << Bench::nsToMs(arrivedNs - clickNs);
        else
            ++missed;
        // The next click starts from a page that shows this one.
        rig.showsInUse(antenna, pageTimeoutMs);
        if (rig.device.receivedFrames().size() > 1000)
            rig.device.clearReceived();
    }
    reportLatencies(QStringLiteral("web.click"), latencies, missed);
    return 0;
}

int runWebScreen(int samples)
{
    WebRig rig;
    if (!rig.start())
        return 1;
    // Resolves once the key shows in use, at the next frame's paint.
    const QString awaitPaint = QStringLiteral(R"(
        const [selector, done] = arguments;
        const key = document.querySelector(selector);
        const painted = () => requestAnimationFrame(() => done(performance.timeOrigin + performance.now()));
        if (key.getAttribute('aria-pressed') === 'true') return painted();
        new MutationObserver((records, observer) => {
          if (key.getAttribute('aria-pressed') !== 'true') return;
          observer.disconnect();
          painted();
        }).observe(key, {attributes: true, attributeFilter: ['aria-pressed']});)");
    QVector<double> latencies;
    int missed = 0;
    for (int i = 0; i < samples; ++i) {
        SwitchState state = rig.device.state();
        const int antenna = rig.otherAntenna();
        state.position = static_cast<quint8>(antenna - 1);
        std::atomic<int> carrier{-1};
        // Moves the switch right after a status frame has gone out, so the
        // next frame is the first to carry the new antenna.
        std::thread mover([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(Bench::randomInt(20, 200)));
            const int sent = rig.device.statusFramesSent();
            const qint64 endNs = Bench::nowNs() + pageTimeoutMs * 1000000LL;
            while (rig.device.statusFramesSent() == sent && Bench::nowNs() < endNs)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            carrier.store(rig.device.statusFramesSent());
            rig.device.setState(state);
        });
        const QJsonValue paintedEpochMs = rig.browser.async(awaitPaint, pageTimeoutMs, {keySelector(antenna)});
        mover.join();
        const QList<qint64> written = rig.device.statusFrameWrittenNs();
        const int frame = carrier.load();
        if (!paintedEpochMs.isDouble() || frame < 0 || frame >= written.size()) {
            ++missed;
            continue;
        }
        const auto paintedNs = static_cast<qint64>(paintedEpochMs.toDouble() * 1e6) - realtimeOffsetNs();
        latencies << Bench::nsToMs(paintedNs - written.at(frame));
    }
    reportLatencies(QStringLiteral("web.screen"), latencies, missed);
    return 0;
}
