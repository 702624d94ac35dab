#include "link/FrameExtractor.h"
#include "link/Protocol.h"

#include <QtTest>

#include <cstring>

// The frames the panel writes, and the frames cut out of a byte stream.
namespace {

QByteArray tx(int length)
{
    return QByteArray(reinterpret_cast<const char *>(txBuffer), length);
}

QByteArray status(quint8 position, quint8 busy = 0xFF, quint8 rotor = 1, quint8 mask = 0)
{
    QByteArray frame("IGT");
    for (quint8 b : {position, quint8(0), busy, rotor, mask, quint8(0), quint8(2), quint8(3)})
        frame.append(static_cast<char>(b));
    frame.append(';');
    return frame;
}

const QByteArray firmware = QByteArray("IGW\x01\x0C;");

QList<QByteArray> feedInPieces(FrameExtractor &extractor, const QByteArray &stream, const QList<int> &cuts)
{
    QList<QByteArray> frames;
    int from = 0;
    for (int cut : cuts) {
        frames += extractor.feed(stream.mid(from, cut - from));
        from = cut;
    }
    frames += extractor.feed(stream.mid(from));
    return frames;
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
        QTest::newRow("super split with a ; operand") << int(Protocol::superSplitWord(0x3B)) << QByteArray("IGQ\x3b;\0\0", 7);
        QTest::newRow("super split 0x05") << 0x0551 << QByteArray("IGQ\x05;\0\0", 7);
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

    void switchStreams_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QList<QByteArray>>("expected");

        const QByteArray s1 = status(1);
        const QByteArray s2 = status(2, 0xFE);
        const QByteArray s3 = status(3);
        QTest::newRow("three frames, mixed types") << s1 + firmware + s3 << QList<QByteArray>{s1, firmware, s3};
        QTest::newRow("garbage before") << QByteArray("\x00\xffxyz;;", 7) + s1 << QList<QByteArray>{s1};
        QTest::newRow("garbage between") << s1 + QByteArray("GI;I") + s2 << QList<QByteArray>{s1, s2};
        QTest::newRow("IG with unknown type before") << QByteArray("IGX") + s1 << QList<QByteArray>{s1};
        // A frame whose usual terminator place holds another byte may be longer:
        // it ends at its first ";" within 20 bytes, and its data is read by
        // position.
        const QByteArray longer = s1.left(11) + "xyz;";
        QTest::newRow("longer frame") << longer + s2 << QList<QByteArray>{longer, s2};
        QTest::newRow("longer firmware frame") << QByteArray("IGW??;") << QList<QByteArray>{QByteArray("IGW??;")};
        QTest::newRow("20 bytes is the longest") << s1.left(11) + QByteArray(8, 'x') + ";" + s2
                                                 << QList<QByteArray>{s1.left(11) + QByteArray(8, 'x') + ";", s2};
        QTest::newRow("21 bytes is too long") << s1.left(11) + QByteArray(9, 'x') + ";" + s2 << QList<QByteArray>{s2};
        QTest::newRow("bytes inserted into a frame make it a longer one")
            << s1.left(6) + "zz" + s1.mid(6) + s2 << QList<QByteArray>{s1.left(6) + "zz" + s1.mid(6), s2};
        QTest::newRow("a header among the extra bytes ends the candidate") << s1.left(11) + "xIGW;" + s2
                                                                          << QList<QByteArray>{QByteArray("IGW;"), s2};
        QTest::newRow("; as a data byte") << status(1, 0x3B, 0x3B, 0x3B) << QList<QByteArray>{status(1, 0x3B, 0x3B, 0x3B)};
        QTest::newRow("I and G as data bytes") << status('I', 'G', 'I', 'G') << QList<QByteArray>{status('I', 'G', 'I', 'G')};
        QTest::newRow("short IGT; then a frame") << QByteArray("IGT;") + s1 << QList<QByteArray>{s1};
        QTest::newRow("bad terminator") << s1.left(11) + "X" + s2 << QList<QByteArray>{s2};
        QTest::newRow("frame cut short, next frame complete") << s1.left(7) + s2 << QList<QByteArray>{s2};
        QTest::newRow("frame shorter than its data") << QByteArray("IGT;") + firmware + s1 << QList<QByteArray>{firmware, s1};
        QTest::newRow("nothing but garbage") << QByteArray(64, 'G') << QList<QByteArray>{};
    }
    void switchStreams()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QList<QByteArray>, expected);
        FrameExtractor whole = FrameExtractor::forSwitchFrames();
        QCOMPARE(whole.feed(stream), expected);
    }

    void everySplitPositionOfTwoFrames()
    {
        const QByteArray longer = status(6).left(11) + "?;";
        const QByteArray stream = QByteArray("x") + status(4) + firmware + longer + status(5, 0x3B);
        const QList<QByteArray> expected{status(4), firmware, longer, status(5, 0x3B)};
        for (int a = 0; a <= stream.size(); ++a) {
            for (int b = a; b <= stream.size(); b += 3) {
                FrameExtractor extractor = FrameExtractor::forSwitchFrames();
                QCOMPARE(feedInPieces(extractor, stream, {a, b}), expected);
                QCOMPARE(extractor.pendingSize(), 0);
            }
        }
    }

    void pendingBytesStayBounded()
    {
        FrameExtractor extractor = FrameExtractor::forSwitchFrames();
        QByteArray noise;
        for (int i = 0; i < 100000; ++i)
            noise.append(static_cast<char>("IGT;W\x3b\x00"[i % 7] ^ (i % 5 == 0 ? 0x10 : 0)));
        extractor.feed(noise);
        QVERIFY(extractor.pendingSize() < 20);
        // After any amount of noise the next whole frame comes through.
        QCOMPARE(extractor.feed(QByteArray(12, 'x') + status(6)), QList<QByteArray>{status(6)});
    }

    void panelFramesWithLeftOvers()
    {
        const QByteArray stream = QByteArray("IGW;") + QByteArray("IGT3;\0", 6) + QByteArray("IGS7;\0\0", 7)
                                  + QByteArray("IGQ\x3b;;;") + QByteArray("IGV52;;") + QByteArray("IGP//0;");
        FrameExtractor extractor = FrameExtractor::forPanelFrames();
        QList<QByteArray> frames;
        for (char c : stream)
            frames += extractor.feed(&c, 1);
        QCOMPARE(frames.size(), 6);
        QCOMPARE(frames.at(1), QByteArray("IGT3;\0", 6));
        QCOMPARE(frames.at(3), QByteArray("IGQ\x3b;;;"));
        QCOMPARE(frames.at(5), QByteArray("IGP//0;"));
    }
};

QTEST_APPLESS_MAIN(tst_Protocol)
#include "tst_protocol.moc"
