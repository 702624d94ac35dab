#include "link/Protocol.h"
#include "sim/VirtualSwitch.h"

#include <QFileInfo>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(SwitchState)

namespace {

constexpr qint64 nsPerMs = 1000000;
using Pieces = QList<QPair<qint64, QByteArray>>;

// All inputs free and not sending.
SwitchState st(int position, bool split, int splitPosition, int previous, int superSplitMask, int rotor)
{
    return {quint8(position), split, 0xFF, quint8(rotor), quint8(superSplitMask), false, quint8(splitPosition),
            quint8(previous)};
}

// A command frame exactly as the panel writes it, left-over bytes included.
QByteArray panelFrame(CommandWord word)
{
    Protocol::buildFirmwareRequest(); // puts "IG" in front, as opening the port does
    return QByteArray(reinterpret_cast<const char *>(txBuffer), Protocol::buildCommandFrame(word));
}

// Each write goes out whole before the next one.
bool send(QSerialPort &port, const QByteArray &bytes)
{
    return port.write(bytes) == bytes.size() && port.waitForBytesWritten(5000);
}

// Reads until count bytes are in or the line stays quiet for 5 s; each piece
// is kept with the time it was read.
Pieces readPieces(QSerialPort &port, int count)
{
    Pieces pieces;
    for (int total = 0; total < count && (port.bytesAvailable() > 0 || port.waitForReadyRead(5000));) {
        pieces.append({VirtualSwitch::monotonicNs(), port.read(count - total)});
        total += pieces.last().second.size();
    }
    return pieces;
}

QByteArray read(QSerialPort &port, int count)
{
    QByteArray all;
    for (const auto &piece : readPieces(port, count))
        all += piece.second;
    return all;
}

} // namespace

class TestVirtualSwitch : public QObject
{
    Q_OBJECT

private slots:
    void applyCommand_data()
    {
        QTest::addColumn<SwitchState>("before");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("applied");
        QTest::addColumn<SwitchState>("after");

        using namespace Protocol;
        const SwitchState base = st(2, false, 6, 7, 0, 3);
        const SwitchState split = st(2, true, 6, 7, 0, 3);
        QTest::newRow("select remembers the position left")
            << base << panelFrame(selectWord(5)) << true << st(5, false, 6, 2, 0, 3);
        QTest::newRow("select from a grouped position keeps the partner")
            << st(2, false, 6, 7, 0x04, 3) << panelFrame(selectWord(5)) << true << st(5, false, 6, 7, 0x04, 3);
        QTest::newRow("select with split on moves the partner")
            << split << panelFrame(selectWord(4)) << true << st(2, true, 4, 7, 0, 3);
        QTest::newRow("select of the current position with split on")
            << split << panelFrame(selectWord(2)) << true << st(2, true, 6, 2, 0, 3);
        QTest::newRow("select 8 is ignored") << base << QByteArray("IGS8;\0\0", 7) << false << base;
        QTest::newRow("split on") << base << panelFrame(splitOnWord(0, 2)) << true << st(0, true, 2, 7, 0, 3);
        QTest::newRow("split on 7 with 7") << base << QByteArray("IGP771;") << true << st(7, true, 7, 7, 0, 3);
        QTest::newRow("split off keeps the partner") << split << panelFrame(splitOffWord()) << true << base;
        QTest::newRow("split on position 8 is ignored") << base << QByteArray("IGP081;") << false << base;
        QTest::newRow("super split mask equal to the terminator")
            << base << panelFrame(superSplitWord(0x3B)) << true << st(2, false, 6, 7, 0x3B, 3);
        QTest::newRow("rotor") << base << panelFrame(rotorWord(4, 2)) << true << st(2, false, 6, 7, 0, 2);
        QTest::newRow("rotor 0 selects none")
            << base << panelFrame(rotorWord(4, 0)) << true << st(2, false, 6, 7, 0, 0);
        QTest::newRow("rotor 5 is ignored") << base << QByteArray("IGV55;\0", 7) << false << base;
        QTest::newRow("poll is not a command") << base << QByteArray("IGT3;\0", 6) << false << base;
    }
    void applyCommand()
    {
        QFETCH(SwitchState, before);
        QFETCH(QByteArray, frame);
        QFETCH(bool, applied);
        QFETCH(SwitchState, after);
        QCOMPARE(VirtualSwitch::applyCommand(before, frame), applied);
        QCOMPARE(VirtualSwitch::statusFrame(before).toHex(' '), VirtualSwitch::statusFrame(after).toHex(' '));
    }

    void exchangeOverThePseudoTerminal()
    {
        VirtualSwitch device;
        QVERIFY2(device.start(), qPrintable(device.errorString()));
        QVERIFY(device.devicePath().startsWith(QLatin1String("/dev/pts/")));
        QSerialPort port(device.devicePath());
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));

        QVERIFY(send(port, "IGW;"));
        QCOMPARE(read(port, 6), QByteArray("IGW\x01\x0C;"));

        // Noise before a command is skipped and a command cut across two
        // writes still counts: the poll reports it.
        device.setState({3, true, 0xFE, 4, 0x3B, true, 6, 1});
        const QByteArray rotor = panelFrame(Protocol::rotorWord(4, 2));
        QVERIFY(send(port, QByteArray("\0G;Ix", 5) + rotor.left(3)));
        QVERIFY(send(port, rotor.mid(3) + QByteArray("IGT3;\0", 6)));
        QCOMPARE(read(port, 12).toHex(' '), QByteArray("IGT\x03\x01\xFE\x02\x3B\x01\x06\x01;").toHex(' '));
        const QList<VirtualSwitch::ReceivedFrame> frames = device.receivedFrames();
        QCOMPARE(frames.size(), 3);
        QCOMPARE(frames.at(1).bytes, rotor);
        QVERIFY(frames.at(0).firstByteNs < frames.at(1).firstByteNs);

        // The device vanishing is an error on the port still open on it.
        device.vanish();
        QVERIFY(!device.isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(port.error() == QSerialPort::ResourceError || port.error() == QSerialPort::ReadError,
                                 5000);
    }

    void outputIsPacedAndCanBeSplit()
    {
        VirtualSwitch device; // 9600 baud: a bit over 1 ms a byte
        QVERIFY(device.start());
        QSerialPort port(device.devicePath());
        QVERIFY(port.open(QIODevice::ReadWrite));

        // Twelve bytes of 10 bit times each cannot all be in before 11 ms.
        const qint64 sentNs = VirtualSwitch::monotonicNs();
        QVERIFY(send(port, QByteArray("IGT3;\0", 6)));
        const Pieces paced = readPieces(port, 12);
        QVERIFY(!paced.isEmpty() && paced.last().second.endsWith(';'));
        const qint64 tookNs = paced.last().first - sentNs;
        QVERIFY2(tookNs >= 11 * nsPerMs, qPrintable(QString::number(tookNs / 1e6) + " ms"));
        QTRY_COMPARE(device.statusFrameWrittenNs().size(), 1);
        QVERIFY(device.statusFrameWrittenNs().first() - sentNs >= 11 * nsPerMs);

        device.setSplitFrames(300);
        QVERIFY(send(port, QByteArray("IGT3;\0", 6)));
        const Pieces pieces = readPieces(port, 12);
        QByteArray all = pieces.value(0).second;
        qint64 longestGapNs = 0;
        for (int i = 1; i < pieces.size(); ++i) {
            all += pieces.at(i).second;
            longestGapNs = std::max(longestGapNs, pieces.at(i).first - pieces.at(i - 1).first);
        }
        QCOMPARE(all, VirtualSwitch::statusFrame(SwitchState()));
        QVERIFY2(longestGapNs >= 250 * nsPerMs, qPrintable(QString::number(longestGapNs / 1e6) + " ms"));
    }

    void executableLinksDeviceUntilTerminated()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("tqx5r"));
        QVERIFY(QFile::link(QStringLiteral("/nonexistent"), link)); // a stale link is replaced

        QProcess process;
        process.start(QStringLiteral(TQX5R_SIM_BINARY), {"--link", link, "--firmware", "3.4"});
        QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine() || process.state() == QProcess::NotRunning, 30000);
        const QString line = QString::fromLocal8Bit(process.readLine()).trimmed();
        QVERIFY2(line.startsWith(QLatin1String("TQX-5R virtual switch on /dev/pts/")), qPrintable(line));
        QCOMPARE(QFileInfo(link).symLinkTarget(), line.section(QLatin1Char(' '), -1));
        {
            QSerialPort port(link);
            QVERIFY(port.open(QIODevice::ReadWrite) && send(port, "IGW;"));
            QCOMPARE(read(port, 6), VirtualSwitch::firmwareFrame(3, 4));
        }

        process.terminate(); // SIGTERM
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestVirtualSwitch)
#include "tst_virtualswitch.moc"
