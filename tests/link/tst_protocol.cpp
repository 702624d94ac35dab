#include "link/Protocol.h"

#include <QtTest>

#include <cstring>

namespace {

QByteArray tx(int length)
{
    return QByteArray(reinterpret_cast<const char *>(txBuffer), length);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

} // namespace

class tst_Protocol : public QObject
{
    Q_OBJECT

private slots:
    void init() { std::memset(txBuffer, 0, sizeof txBuffer); }

    void commandFrameOnFreshBuffer_data()
    {
        QTest::addColumn<int>("word");
        QTest::addColumn<QByteArray>("frame");
        // Bytes 0 and 1 come from the firmware request sent at connect.
        QTest::newRow("select 3") << int(Protocol::selectWord(3)) << QByteArray("IGS3;\0\0", 7);
        QTest::newRow("split on 0 -> 2") << int(Protocol::splitOnWord(0, 2)) << QByteArray("IGP021;", 7);
        QTest::newRow("split on 7 -> 7") << int(quint16(Protocol::splitOnWord(7, 7))) << QByteArray("IGP771;", 7);
        QTest::newRow("split off") << int(Protocol::splitOffWord()) << QByteArray("IGP//0;", 7);
        QTest::newRow("super split with a ; operand") << int(Protocol::superSplitWord(0x3B)) << bytes({'I', 'G', 'Q', 0x3B, ';', 0, 0});
        QTest::newRow("super split 0x05") << 0x0551 << bytes({'I', 'G', 'Q', 0x05, ';', 0, 0});
        QTest::newRow("rotor 2 at position 4") << int(Protocol::rotorWord(4, 2)) << QByteArray("IGV52;\0", 7);
        QTest::newRow("unknown letter: only the letter") << 0x4158 << QByteArray("IGX;\0\0\0", 7);
    }
    void commandFrameOnFreshBuffer()
    {
        QFETCH(int, word);
        QFETCH(QByteArray, frame);
        QCOMPARE(Protocol::buildFirmwareRequest(), 4);
        QCOMPARE(tx(4), QByteArray("IGW;"));
        QCOMPARE(Protocol::buildCommandFrame(CommandWord(quint16(word))), 7);
        QCOMPARE(tx(7), frame);
    }

    void leftOverBytesTravelWithLaterFrames()
    {
        Protocol::buildFirmwareRequest();

        // A key press for position 7, then a poll.
        QCOMPARE(Protocol::buildCommandFrame(Protocol::selectWord(7)), 7);
        QCOMPARE(tx(7), QByteArray("IGS7;\0\0", 7));
        QCOMPARE(Protocol::buildPollRequest(), 6);
        QCOMPARE(tx(6), QByteArray("IGT3;\0", 6));

        // A split-off leaves "0" in byte 5 and ";" in byte 6.
        Protocol::buildCommandFrame(Protocol::splitOffWord());
        Protocol::buildPollRequest();
        QCOMPARE(tx(6), QByteArray("IGT3;0"));
        Protocol::buildCommandFrame(Protocol::selectWord(1));
        QCOMPARE(tx(7), QByteArray("IGS1;0;"));

        // A rotor frame puts ";" in byte 5.
        Protocol::buildCommandFrame(Protocol::rotorWord(0, 1));
        QCOMPARE(tx(7), QByteArray("IGV11;;"));
        Protocol::buildPollRequest();
        QCOMPARE(tx(6), QByteArray("IGT3;;"));

        // The firmware request rewrites only its own four bytes.
        QCOMPARE(Protocol::buildFirmwareRequest(), 4);
        QCOMPARE(tx(7), QByteArray("IGW;;;;"));
    }
};

QTEST_APPLESS_MAIN(tst_Protocol)
#include "tst_protocol.moc"
