#include "link/FrameExtractor.h"
#include "link/Protocol.h"
#include "sim/VirtualSwitch.h"

#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

Q_DECLARE_METATYPE(SwitchState)

namespace {

constexpr qint64 nsPerMs = 1000000;

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray result;
    for (int value : values)
        result += static_cast<char>(value);
    return result;
}

QString describe(const SwitchState &s)
{
    return QStringLiteral("pos %1 split %2 busy %3 rotor %4 ssmask %5 send %6 splitpos %7 prev %8")
        .arg(s.position).arg(s.split).arg(s.busyMask, 2, 16).arg(s.rotor)
        .arg(s.superSplitMask, 2, 16).arg(s.sending).arg(s.splitPosition).arg(s.previousPosition);
}

// The panel's side of the pseudo-terminal as a plain descriptor.
class PanelEnd
{
public:
    explicit PanelEnd(const QString &path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
    }
    ~PanelEnd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool isOpen() const { return fd >= 0; }

    bool write(const QByteArray &data)
    {
        return ::write(fd, data.constData(), static_cast<size_t>(data.size())) == data.size();
    }

    // Reads until count bytes are in or the time is up; each read is kept
    // apart with the time it returned.
    struct Chunk
    {
        qint64 ns;
        QByteArray data;
    };
    QList<Chunk> readChunks(int count, int timeoutMs)
    {
        QList<Chunk> chunks;
        int total = 0;
        const qint64 endNs = VirtualSwitch::monotonicNs() + timeoutMs * nsPerMs;
        while (total < count) {
            const qint64 leftMs = (endNs - VirtualSwitch::monotonicNs()) / nsPerMs;
            if (leftMs <= 0)
                break;
            pollfd pfd = {fd, POLLIN, 0};
            if (::poll(&pfd, 1, static_cast<int>(leftMs)) <= 0)
                continue;
            char buffer[64];
            const ssize_t n = ::read(fd, buffer, static_cast<size_t>(std::min<int>(sizeof buffer, count - total)));
            if (n > 0) {
                chunks.append({VirtualSwitch::monotonicNs(), QByteArray(buffer, static_cast<int>(n))});
                total += static_cast<int>(n);
            }
        }
        return chunks;
    }
    QByteArray read(int count, int timeoutMs = 5000)
    {
        QByteArray all;
        for (const Chunk &chunk : readChunks(count, timeoutMs))
            all += chunk.data;
        return all;
    }

private:
    int fd;
};

// A command frame exactly as the panel writes it, left-over bytes included.
QByteArray panelFrame(CommandWord word)
{
    Protocol::buildFirmwareRequest(); // puts "IG" in front, as opening the port does
    const int length = Protocol::buildCommandFrame(word);
    return QByteArray(reinterpret_cast<const char *>(txBuffer), length);
}

VirtualSwitch::Options unpaced()
{
    VirtualSwitch::Options options;
    options.baudRate = 0;
    return options;
}

} // namespace

class TestVirtualSwitch : public QObject
{
    Q_OBJECT

private slots:
    void applyCommand_data();
    void applyCommand();
    void answersFirmwareRequestAndPolls();
    void commandsOverTheLine();
    void silentSwitchStillTakesCommands();
    void statusFramesArePacedAtTheBaudRate();
    void splitFramesArriveInTwoPieces();
    void garbageBeforeFramesLeavesThemReadable();
    void portCanBeClosedAndReopened();
    void vanishingDeviceFailsTheOpenPort();
    void executableHelp();
    void executableLinksDeviceUntilTerminated();
};

void TestVirtualSwitch::applyCommand_data()
{
    QTest::addColumn<SwitchState>("before");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<SwitchState>("after");

    SwitchState base;
    base.position = 2;
    base.splitPosition = 6;
    base.previousPosition = 7;
    base.rotor = 3;

    SwitchState s = base;
    s.previousPosition = 2;
    s.position = 5;
    QTest::newRow("select remembers the position left") << base << panelFrame(Protocol::selectWord(5)) << true << s;

    SwitchState grouped = base;
    grouped.superSplitMask = 0x04;
    s = grouped;
    s.position = 5;
    QTest::newRow("select from a grouped position keeps the partner")
        << grouped << panelFrame(Protocol::selectWord(5)) << true << s;

    SwitchState split = base;
    split.split = true;
    s = split;
    s.splitPosition = 4;
    QTest::newRow("select with split on moves the partner") << split << panelFrame(Protocol::selectWord(4)) << true << s;
    s = split;
    s.previousPosition = 2;
    QTest::newRow("select of the current position with split on")
        << split << panelFrame(Protocol::selectWord(2)) << true << s;

    QTest::newRow("select of position 8 is ignored") << base << QByteArray("IGS8;\0\0", 7) << false << base;

    s = base;
    s.split = true;
    s.position = 0;
    s.splitPosition = 2;
    QTest::newRow("split on") << base << panelFrame(Protocol::splitOnWord(0, 2)) << true << s;
    s.position = 7;
    s.splitPosition = 7;
    QTest::newRow("split on 7 with 7") << base << QByteArray("IGP771;", 7) << true << s;
    s = split;
    s.split = false;
    QTest::newRow("split off keeps the partner") << split << panelFrame(Protocol::splitOffWord()) << true << s;
    QTest::newRow("split on position 8 is ignored") << base << QByteArray("IGP081;", 7) << false << base;

    s = base;
    s.superSplitMask = 0x3B;
    QTest::newRow("super split mask equal to the terminator")
        << base << panelFrame(Protocol::superSplitWord(0x3B)) << true << s;

    s = base;
    s.rotor = 2;
    QTest::newRow("rotor") << base << panelFrame(Protocol::rotorWord(4, 2)) << true << s;
    s.rotor = 0;
    QTest::newRow("rotor 0 selects none") << base << panelFrame(Protocol::rotorWord(4, 0)) << true << s;
    QTest::newRow("rotor 5 is ignored") << base << QByteArray("IGV55;\0", 7) << false << base;

    QTest::newRow("poll is not a command") << base << QByteArray("IGT3;\0", 6) << false << base;
}

void TestVirtualSwitch::applyCommand()
{
    QFETCH(SwitchState, before);
    QFETCH(QByteArray, frame);
    QFETCH(bool, applied);
    QFETCH(SwitchState, after);

    SwitchState state = before;
    QCOMPARE(VirtualSwitch::applyCommand(state, frame), applied);
    QCOMPARE(describe(state), describe(after));
}

void TestVirtualSwitch::answersFirmwareRequestAndPolls()
{
    VirtualSwitch::Options options = unpaced();
    options.firmwareMajor = 2;
    options.firmwareMinor = 7;
    VirtualSwitch device(options);
    QVERIFY2(device.start(), qPrintable(device.errorString()));
    QVERIFY(device.devicePath().startsWith(QLatin1String("/dev/pts/")));
    PanelEnd panel(device.devicePath());
    QVERIFY(panel.isOpen());

    QVERIFY(panel.write("IGW;"));
    QCOMPARE(panel.read(6), bytes({'I', 'G', 'W', 2, 7, ';'}));

    SwitchState state;
    state.position = 3;
    state.split = true;
    state.busyMask = 0xFE;
    state.rotor = 4;
    state.superSplitMask = 0x3B;
    state.sending = true;
    state.splitPosition = 6;
    state.previousPosition = 1;
    device.setState(state);
    const QByteArray poll("IGT3;\0", 6);
    QVERIFY(panel.write(poll));
    QCOMPARE(panel.read(12), bytes({'I', 'G', 'T', 3, 1, 0xFE, 4, 0x3B, 1, 6, 1, ';'}));
    QTRY_COMPARE(device.statusFramesSent(), 1);

    const QList<VirtualSwitch::ReceivedFrame> frames = device.receivedFrames();
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames.at(0).bytes, QByteArray("IGW;"));
    QCOMPARE(frames.at(1).bytes, poll);
    QVERIFY(frames.at(0).firstByteNs > 0);
    QVERIFY(frames.at(1).firstByteNs > frames.at(0).firstByteNs);
    QCOMPARE(device.receivedBytes(), QByteArray("IGW;") + poll);
}

void TestVirtualSwitch::commandsOverTheLine()
{
    VirtualSwitch device(unpaced());
    QVERIFY(device.start());
    PanelEnd panel(device.devicePath());

    // Noise before a command, and a command cut across two writes.
    const QByteArray select = panelFrame(Protocol::selectWord(6));
    QVERIFY(panel.write(bytes({0x00, 'G', ';', 'I', 'x'}) + select));
    const QByteArray splitOn = panelFrame(Protocol::splitOnWord(1, 4));
    QVERIFY(panel.write(splitOn.left(3)));
    QVERIFY(panel.write(splitOn.mid(3)));
    QVERIFY(panel.write(panelFrame(Protocol::superSplitWord(0x81))));
    QVERIFY(panel.write(panelFrame(Protocol::rotorWord(1, 2))));
    QVERIFY(device.waitForFrames(4, 5000));

    const QList<VirtualSwitch::ReceivedFrame> frames = device.receivedFrames();
    QCOMPARE(frames.at(0).bytes, select);
    QCOMPARE(frames.at(1).bytes, splitOn);
    QVERIFY(frames.at(1).firstByteNs <= frames.at(2).firstByteNs);

    const SwitchState state = device.state();
    QCOMPARE(state.position, quint8(1));
    QCOMPARE(state.split, true);
    QCOMPARE(state.splitPosition, quint8(4));
    QCOMPARE(state.previousPosition, quint8(0));
    QCOMPARE(state.superSplitMask, quint8(0x81));
    QCOMPARE(state.rotor, quint8(2));

    // The status frame reports what the commands did.
    QVERIFY(panel.write(QByteArray("IGT3;\0", 6)));
    QCOMPARE(panel.read(12), VirtualSwitch::statusFrame(state));
}

void TestVirtualSwitch::silentSwitchStillTakesCommands()
{
    VirtualSwitch device(unpaced());
    QVERIFY(device.start());
    PanelEnd panel(device.devicePath());
    device.setAnswering(false);

    QVERIFY(panel.write(QByteArray("IGW;IGT3;\0", 10) + panelFrame(Protocol::selectWord(3))));
    QVERIFY(device.waitForFrames(3, 5000));
    QCOMPARE(device.state().position, quint8(3));
    QCOMPARE(panel.read(1, 300), QByteArray());

    device.setAnswering(true);
    QVERIFY(panel.write("IGW;"));
    QCOMPARE(panel.read(6), VirtualSwitch::firmwareFrame(1, 12));
}

void TestVirtualSwitch::statusFramesArePacedAtTheBaudRate()
{
    VirtualSwitch device; // 9600 baud: a bit over 1 ms a byte
    QVERIFY(device.start());
    PanelEnd panel(device.devicePath());

    const qint64 sentNs = VirtualSwitch::monotonicNs();
    QVERIFY(panel.write(QByteArray("IGT3;\0", 6)));
    const QList<PanelEnd::Chunk> chunks = panel.readChunks(12, 5000);
    QByteArray all;
    for (const PanelEnd::Chunk &chunk : chunks)
        all += chunk.data;
    QCOMPARE(all, VirtualSwitch::statusFrame(SwitchState()));
    QVERIFY2(chunks.last().ns - sentNs >= 11 * nsPerMs,
             qPrintable(QString::number((chunks.last().ns - sentNs) / 1e6) + " ms"));

    QTRY_COMPARE(device.statusFrameWrittenNs().size(), 1);
    QVERIFY(device.statusFrameWrittenNs().first() - sentNs >= 11 * nsPerMs);
    QVERIFY(device.statusFrameWrittenNs().first() <= chunks.last().ns);
}

void TestVirtualSwitch::splitFramesArriveInTwoPieces()
{
    VirtualSwitch device(unpaced());
    QVERIFY(device.start());
    device.setSplitFrames(300);
    PanelEnd panel(device.devicePath());

    QVERIFY(panel.write(QByteArray("IGT3;\0", 6)));
    const QList<PanelEnd::Chunk> chunks = panel.readChunks(12, 5000);
    QByteArray all;
    qint64 longestGapNs = 0;
    for (int i = 0; i < chunks.size(); ++i) {
        all += chunks.at(i).data;
        if (i > 0)
            longestGapNs = std::max(longestGapNs, chunks.at(i).ns - chunks.at(i - 1).ns);
    }
    QCOMPARE(all, VirtualSwitch::statusFrame(SwitchState()));
    QVERIFY(chunks.first().data.size() < 12);
    QVERIFY2(longestGapNs >= 250 * nsPerMs, qPrintable(QString::number(longestGapNs / 1e6) + " ms"));
}

void TestVirtualSwitch::garbageBeforeFramesLeavesThemReadable()
{
    VirtualSwitch device(unpaced());
    QVERIFY(device.start());
    device.setGarbageRate(1.0);
    PanelEnd panel(device.devicePath());

    QVERIFY(panel.write(QByteArray("IGT3;\0", 6)));
    FrameExtractor extractor = FrameExtractor::forSwitchFrames();
    QList<QByteArray> frames;
    QByteArray all;
    const QDeadlineTimer deadline(5000);
    while (frames.isEmpty() && !deadline.hasExpired()) {
        const QByteArray piece = panel.read(1, 100);
        all += piece;
        frames += extractor.feed(piece);
    }
    QCOMPARE(frames, QList<QByteArray>{VirtualSwitch::statusFrame(SwitchState())});
    QVERIFY(all.size() > 12);
    QVERIFY(!all.startsWith('I'));

    // Raw bytes go out untouched, garbage or not.
    device.sendRaw("IGT;");
    QCOMPARE(panel.read(4), QByteArray("IGT;"));
}

void TestVirtualSwitch::portCanBeClosedAndReopened()
{
    VirtualSwitch device(unpaced());
    QVERIFY(device.start());
    {
        PanelEnd first(device.devicePath());
        QVERIFY(first.write("IGW;"));
        QCOMPARE(first.read(6), VirtualSwitch::firmwareFrame(1, 12));
    }
    PanelEnd second(device.devicePath());
    QVERIFY(second.isOpen());
    QVERIFY(second.write("IGW;"));
    QCOMPARE(second.read(6), VirtualSwitch::firmwareFrame(1, 12));
    QVERIFY(device.isRunning());
}

void TestVirtualSwitch::vanishingDeviceFailsTheOpenPort()
{
    VirtualSwitch device;
    QVERIFY(device.start());
    QSerialPort port(device.devicePath());
    port.setBaudRate(QSerialPort::Baud9600);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));

    port.write("IGW;", 4);
    QTRY_VERIFY_WITH_TIMEOUT(port.bytesAvailable() >= 6, 5000);
    QCOMPARE(port.readAll(), VirtualSwitch::firmwareFrame(1, 12));

    device.vanish();
    QVERIFY(!device.isRunning());
    QTRY_VERIFY_WITH_TIMEOUT(port.error() == QSerialPort::ResourceError || port.error() == QSerialPort::ReadError,
                             5000);
}

void TestVirtualSwitch::executableHelp()
{
    QProcess process;
    process.start(QStringLiteral(TQX5R_SIM_BINARY), {QStringLiteral("--help")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(process.readAllStandardOutput());
    for (const char *word : {"--baud", "--firmware", "--link", "--lively", "--verbose", "--version", "IGQm;"})
        QVERIFY2(help.contains(QLatin1String(word)), word);

    process.start(QStringLiteral(TQX5R_SIM_BINARY), {QStringLiteral("--firmware"), QStringLiteral("1.256")});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 2);
}

void TestVirtualSwitch::executableLinksDeviceUntilTerminated()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("tqx5r"));
    QVERIFY(QFile::link(QStringLiteral("/nonexistent"), link)); // stale link to replace

    QProcess process;
    process.start(QStringLiteral(TQX5R_SIM_BINARY),
                  {QStringLiteral("--link"), link, QStringLiteral("--firmware"), QStringLiteral("3.4")});
    QVERIFY(process.waitForStarted(30000));
    QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine() || process.state() == QProcess::NotRunning, 30000);
    const QString line = QString::fromLocal8Bit(process.readLine()).trimmed();
    QVERIFY2(line.startsWith(QLatin1String("TQX-5R virtual switch on /dev/pts/")), qPrintable(line));
    const QString device = line.section(QLatin1Char(' '), -1);

    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(QFileInfo(link).symLinkTarget(), device);
    {
        PanelEnd panel(link);
        QVERIFY(panel.write("IGW;"));
        QCOMPARE(panel.read(6, 10000), VirtualSwitch::firmwareFrame(3, 4));
    }

    process.terminate();
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(TestVirtualSwitch)
#include "tst_virtualswitch.moc"
