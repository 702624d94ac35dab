// The switch on a broker: a command on BASE/set to the wire, and a change at
// the switch to a remote panel's screen. A private Mosquitto, the virtual
// switch in this process, and tqx5r-panel --mqtt as a process of its own
// owning it.

#include "bench/BenchSupport.h"
#include "bench/Commands.h"
#include "bench/Latency.h"
#include "bench/Processes.h"

#include "link/ThreadLeitura.h"
#include "panel/KeyPainting.h"
#include "panel/MainWindow.h"
#include "remote/MosquittoClient.h"
#include "remote/RemoteFeature.h"
#include "sim/LocalBroker.h"
#include "sim/VirtualSwitch.h"

#include <QElapsedTimer>
#include <QPushButton>

#include <algorithm>

#include <memory>

namespace {

// Broker, switch and the owning panel, up and publishing.
struct BrokerRig
{
    LocalBroker broker;
    VirtualSwitch device;
    std::unique_ptr<Child> owner;
    BrokerSettings settings;

    bool start()
    {
        if (!broker.start() || !device.start()) {
            Bench::note(QStringLiteral("broker: %1; switch: %2").arg(broker.errorString(), device.errorString()));
            return false;
        }
        settings.host = QStringLiteral("127.0.0.1");
        settings.port = broker.port();
        owner = std::make_unique<Child>(Programs::panel(), QStringList{QStringLiteral("--port"), device.devicePath(),
                                                                       QStringLiteral("--mqtt"), settings.address()});
        if (!owner->waitStarted())
            return false;
        MosquittoClient watcher(settings);
        bool online = false;
        QObject::connect(&watcher, &BrokerClient::messageReceived,
                         [&online](const QString &, const QByteArray &payload, bool) { online = payload == "true"; });
        watcher.subscribe(settings.topicFor(BrokerTopics::online));
        watcher.start();
        if (!waitUntil([&] { return online && device.statusFramesSent() > 0; }, 10000)) {
            Bench::note(QStringLiteral("the owning panel did not come online"));
            return false;
        }
        return true;
    }
};

} // namespace

int runBrokerCommand(int commands)
{
    BrokerRig rig;
    if (!rig.start())
        return 1;
    MosquittoClient client(rig.settings);
    client.start();
    if (!waitUntil([&] { return client.isConnected(); }, 5000))
        return 1;
    QVector<double> latencies;
    int missed = 0;
    for (int i = 0; i < commands; ++i) {
        // A random moment against the poll thread's cycle and last send,
        // after the poll the panel puts between two commands from the broker.
        waitUntil([] { return false; }, Bench::randomInt(300, 600));
        const QByteArray command = "{\"antenna\":" + QByteArray::number(Bench::randomInt(1, positionCount)) + "}";
        const int before = rig.device.receivedFrames().size();
        qint64 arrivedNs = 0;
        const qint64 sentNs = Bench::nowNs();
        client.publish(rig.settings.topicFor(BrokerTopics::set), command, false, BrokerClient::Delivery::AtMostOnce);
        if (waitForFrame(rig.device, before, "IGS", arrivedNs))
            latencies << Bench::nsToMs(arrivedNs - sentNs);
        else
            ++missed;
        if (rig.device.receivedFrames().size() > 1000)
            rig.device.clearReceived();
    }
    reportLatencies(QStringLiteral("mqtt.command"), latencies, missed);
    return 0;
}

int runBrokerScreen(int samples)
{
    BrokerRig rig;
    if (!rig.start())
        return 1;
    // The remote panel, as tqx5r-panel --remote sets it up.
    MainWindow window;
    BrokerSettings remoteSettings = rig.settings;
    remoteSettings.mode = BrokerSettings::Mode::RemotePanel;
    RemoteFeature remote(window, remoteSettings);
    window.show();
    MainWindow::registerMetaType();
    ThreadLeitura pollThread(&window);
    window.connectAtStart(QString());
    std::array<QPushButton *, positionCount> keys{};
    for (int i = 0; i < positionCount; ++i)
        keys[static_cast<size_t>(i)] = window.findChild<QPushButton *>(QStringLiteral("botaoTecla%1").arg(i + 1));
    const quint8 shown = rig.device.state().position;
    if (!waitUntil([&] { return keys[shown]->styleSheet() == KeyPainting::activeKeyStyle; }, 10000)) {
        Bench::note(QStringLiteral("the remote panel did not show the switch"));
        pollThread.stop();
        return 1;
    }
    const PaintLatency latency = switchToScreen(rig.device, keys, samples);
    pollThread.stop();
    reportLatencies(QStringLiteral("mqtt.screen"), latency.ms, latency.missed);
    return 0;
}

int runBrokerFlood(int seconds)
{
    constexpr int commandsPerSecond = 50;
    BrokerRig rig;
    if (!rig.start())
        return 1;
    MosquittoClient client(rig.settings);
    int powerLost = 0;
    QObject::connect(&client, &BrokerClient::messageReceived, [&powerLost](const QString &, const QByteArray &payload, bool) {
        if (payload.contains("\"power\":false"))
            ++powerLost;
    });
    client.subscribe(rig.settings.topicFor(BrokerTopics::state));
    client.start();
    if (!waitUntil([&] { return client.isConnected(); }, 5000))
        return 1;
    waitUntil([] { return false; }, 1000);
    powerLost = 0;

    const qint64 startNs = Bench::nowNs();
    QElapsedTimer flood;
    flood.start();
    for (int sent = 0; sent < seconds * commandsPerSecond;) {
        if (flood.elapsed() >= sent * 1000 / commandsPerSecond) {
            const QByteArray command = "{\"antenna\":" + QByteArray::number(sent % positionCount + 1) + "}";
            client.publish(rig.settings.topicFor(BrokerTopics::set), command, false, BrokerClient::Delivery::AtMostOnce);
            ++sent;
        }
        waitUntil([] { return false; }, 2);
    }
    const QList<qint64> answers = rig.device.statusFrameWrittenNs();
    double fewest = -1;
    double total = 0;
    for (int second = 0; second < seconds; ++second) {
        const qint64 from = startNs + second * 1000000000LL;
        const double inSecond = std::count_if(answers.begin(), answers.end(),
                                              [from](qint64 ns) { return ns >= from && ns < from + 1000000000LL; });
        total += inSecond;
        fewest = fewest < 0 ? inSecond : std::min(fewest, inSecond);
    }
    Bench::result(QStringLiteral("mqtt.flood.fewest_status_per_s"), fewest);
    Bench::result(QStringLiteral("mqtt.flood.status_per_s"), total / seconds);
    Bench::result(QStringLiteral("mqtt.flood.power_lost"), powerLost);
    return 0;
}
