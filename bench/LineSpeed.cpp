// Frames kept at line speed: a long run of status frames, back to back at
// 9600 baud, into a receive step driven every 25 ms as the poll thread does.

#include "bench/BenchSupport.h"
#include "bench/Commands.h"
#include "bench/SingleReadReceiver.h"
#include "bench/PollTicker.h"

#include "link/FrameReceiver.h"
#include "link/Protocol.h"
#include "sim/VirtualSwitch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QSerialPort>
#include <QSet>
#include <QTimer>

#include <atomic>
#include <memory>
#include <thread>

namespace {

constexpr qint64 byteTimeNs = 10 * 1000000000LL / 9600;

enum class Arrival { ByteByByte, Chunks };

// One line: a virtual switch, the port the panel would open on it, one of
// the two receive steps and the 25 ms clock that drives it.
class Stream : public QObject
{
    Q_OBJECT

public:
    Stream(Arrival arrival, bool reassembling, int frameCount)
        : arrival(arrival)
        , reassembling(reassembling)
        , frameCount(frameCount)
    {
        VirtualSwitch::Options options;
        // In chunks the feeder does the pacing, so the switch writes each
        // chunk the moment it gets it.
        options.baudRate = arrival == Arrival::ByteByByte ? 9600 : 0;
        device = std::make_unique<VirtualSwitch>(options);
        for (int i = 0; i < frameCount; ++i) {
            const QByteArray frame = Bench::numberedStatusFrame(i);
            expected.insert(frame, i);
            stream += frame;
        }
    }

    ~Stream() override
    {
        if (feeder.joinable())
            feeder.join();
    }

    QString name() const
    {
        return QStringLiteral("line.%1.%2")
            .arg(arrival == Arrival::ByteByByte ? "bytes" : "chunks", reassembling ? "reassembling" : "single-read");
    }

    bool start()
    {
        if (!device->start()) {
            Bench::note(QStringLiteral("%1: %2").arg(name(), device->errorString()));
            return false;
        }
        port.setPortName(device->devicePath());
        port.setBaudRate(QSerialPort::Baud9600);
        if (!port.open(QIODevice::ReadWrite)) {
            Bench::note(QStringLiteral("%1: %2").arg(name(), port.errorString()));
            return false;
        }
        ticker = std::make_unique<PollTicker>(this, "step");
        ticker->start();
        feeder = std::thread([this] { feed(); });
        return true;
    }

    // Done once every byte is on the line and the receiver has had half a
    // second of steps without finding anything more to read.
    bool finished() const { return fed.load() && quietSteps >= 20; }

    void report() const
    {
        const int lost = frameCount - kept.size();
        Bench::result(name() + ".sent", frameCount);
        Bench::result(name() + ".dispatched", static_cast<double>(dispatched));
        Bench::result(name() + ".kept", kept.size());
        Bench::result(name() + ".lost", lost);
        Bench::result(name() + ".corrupt", static_cast<double>(dispatched - kept.size()));
    }

    void stop()
    {
        if (ticker)
            ticker->stop();
        port.close();
    }

public slots:
    void step()
    {
        const auto dispatch = [this] {
            ++dispatched;
            // A frame counts as kept when its first twelve bytes are one of
            // the frames sent, seen for the first time.
            const QByteArray frame(reinterpret_cast<const char *>(rxBuffer), Protocol::statusFrameLength);
            const auto found = expected.constFind(frame);
            if (found != expected.constEnd())
                kept.insert(found.value());
        };
        const bool hadBytes = port.bytesAvailable() > 0;
        if (reassembling)
            receiver.receive(&port, dispatch);
        else
            singleRead.receive(&port, dispatch);
        quietSteps = hadBytes ? 0 : quietSteps + 1;
    }

private:
    void feed()
    {
        if (arrival == Arrival::ByteByByte) {
            // The switch paces every byte at 9600 baud.
            device->sendRaw(stream);
            const qint64 lineNs = stream.size() * byteTimeNs;
            std::this_thread::sleep_for(std::chrono::nanoseconds(lineNs + 50 * 1000000LL));
        } else {
            // Chunks of 1 to 40 bytes, each when the line would have carried
            // its last byte, so the average stays at 9600 baud.
            const qint64 startNs = Bench::nowNs();
            int offset = 0;
            while (offset < stream.size()) {
                const int size = std::min(Bench::randomInt(1, 40), stream.size() - offset);
                const qint64 dueNs = startNs + (offset + size) * byteTimeNs;
                const qint64 waitNs = dueNs - Bench::nowNs();
                if (waitNs > 0)
                    std::this_thread::sleep_for(std::chrono::nanoseconds(waitNs));
                device->sendRaw(stream.mid(offset, size));
                offset += size;
            }
        }
        fed.store(true);
    }

    const Arrival arrival;
    const bool reassembling;
    const int frameCount;
    std::unique_ptr<VirtualSwitch> device;
    QSerialPort port;
    QByteArray stream;
    QHash<QByteArray, int> expected;
    QSet<int> kept;
    long long dispatched = 0;
    int quietSteps = 0;
    FrameReceiver receiver;
    SingleReadReceiver singleRead;
    std::unique_ptr<PollTicker> ticker;
    std::thread feeder;
    std::atomic<bool> fed{false};
};

} // namespace

int runLineSpeed(int frameCount)
{
    // The four lines run side by side; each has its own switch thread and
    // clock, and the receive steps are short enough to share the GUI thread.
    std::vector<std::unique_ptr<Stream>> streams;
    for (Arrival arrival : {Arrival::ByteByByte, Arrival::Chunks}) {
        for (bool reassembling : {true, false})
            streams.push_back(std::make_unique<Stream>(arrival, reassembling, frameCount));
    }
    for (auto &stream : streams) {
        if (!stream->start())
            return 1;
    }

    QElapsedTimer elapsed;
    elapsed.start();
    // Generous: the line needs 12.5 ms a frame, and the single-read step may
    // need a while to work through what piled up.
    const qint64 limitMs = frameCount * 13LL + 60000;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        const bool allDone = std::all_of(streams.begin(), streams.end(),
                                         [](const std::unique_ptr<Stream> &s) { return s->finished(); });
        if (allDone || elapsed.elapsed() > limitMs)
            QCoreApplication::quit();
    });
    check.start(100);
    QCoreApplication::exec();

    for (auto &stream : streams) {
        stream->stop();
        stream->report();
    }
    return 0;
}

#include "LineSpeed.moc"
