#include "panel/KeyPainting.h"
#include "panel/PanelState.h"

#include <QtTest>

#include <array>

// Status frames turned into the panel's display, without any widget.
namespace {

using L = KeyLook;

struct Frame
{
    quint8 position = 0;
    quint8 split = 0;
    quint8 busy = 0xFF;
    quint8 rotor = 0;
    quint8 mask = 0;
    quint8 send = 0;
    quint8 splitPosition = 0;
    quint8 previousPosition = 0;

    std::array<quint8, 12> bytes() const
    {
        return {'I', 'G', 'T', position, split, busy, rotor, mask, send, splitPosition, previousPosition, ';'};
    }
};

void apply(PanelState &state, PanelDisplay &display, const Frame &frame)
{
    const auto bytes = frame.bytes();
    applyStatusFrame(state, display, bytes.data());
}

// Compact picture of the keys: . idle, t teal, Y yellow, o orange border, - untouched.
QString picture(const KeyLooks &keys)
{
    QString out;
    for (KeyLook look : keys) {
        switch (look) {
        case L::Form: out += '-'; break;
        case L::Idle: out += '.'; break;
        case L::Mask: out += 't'; break;
        case L::Active: out += 'Y'; break;
        case L::Partner: out += 'o'; break;
        }
    }
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Frame)

class tst_PanelState : public QObject
{
    Q_OBJECT

private slots:
    void keysFromStatusFrames_data();
    void keysFromStatusFrames();
    void indicatorsFollowTheFrame_data();
    void indicatorsFollowTheFrame();
    void outOfRangeBytesAreHarmless();
};

void tst_PanelState::keysFromStatusFrames_data()
{
    QTest::addColumn<Frame>("frame");
    QTest::addColumn<quint8>("previousSplit");
    QTest::addColumn<QString>("keys");

    Frame plain;
    plain.position = 2;
    QTest::newRow("position 2, no groups") << plain << quint8(0) << "..Y.....";

    Frame superSplit = plain;
    superSplit.mask = 0x05;
    superSplit.previousPosition = 6;
    QTest::newRow("super split, receiving") << superSplit << quint8(0) << "t.Y...o.";
    superSplit.send = 1;
    QTest::newRow("super split, sending") << superSplit << quint8(0) << "t.o...Y.";

    Frame split;
    split.position = 1;
    split.split = 1;
    split.splitPosition = 4;
    QTest::newRow("split, receiving") << split << quint8(1) << ".o..Y...";
    split.send = 1;
    QTest::newRow("split, sending") << split << quint8(1) << ".Y..o...";

    // Keys are painted before the frame's own split byte is taken.
    split.send = 0;
    QTest::newRow("split just switched on paints as before") << split << quint8(0) << ".Y......";

    Frame samePair = split;
    samePair.splitPosition = 1;
    QTest::newRow("split pair on one key ends with the border") << samePair << quint8(1) << ".o......";

    Frame maskWithoutCurrent = plain;
    maskWithoutCurrent.mask = 0x81;
    QTest::newRow("group not holding the current key") << maskWithoutCurrent << quint8(0) << "t.Y....t";
}

void tst_PanelState::keysFromStatusFrames()
{
    QFETCH(Frame, frame);
    QFETCH(quint8, previousSplit);
    QFETCH(QString, keys);

    PanelState state;
    state.splitActive = previousSplit;
    PanelDisplay display;
    apply(state, display, frame);
    QCOMPARE(picture(display.keys), keys);
    QVERIFY(display.power);
}

void tst_PanelState::indicatorsFollowTheFrame_data()
{
    QTest::addColumn<Frame>("frame");
    QTest::addColumn<QString>("busy");
    QTest::addColumn<QString>("rotors");
    QTest::addColumn<bool>("split");
    QTest::addColumn<bool>("send");
    QTest::addColumn<bool>("superSplit");

    Frame f;
    f.busy = 0xFE;
    f.rotor = 3;
    QTest::newRow("busy 1, rotor 3") << f << "10000000" << "0010" << false << false << false;
    f.busy = 0xFF;
    f.rotor = 0;
    QTest::newRow("nothing busy, rotor 0") << f << "00000000" << "0000" << false << false << false;
    f.busy = 0x00;
    f.rotor = 5;
    f.split = 1;
    f.send = 1;
    QTest::newRow("all busy, rotor 5, split and send") << f << "11111111" << "0000" << true << true << false;
    f = Frame();
    f.split = 2;
    f.send = 2;
    f.position = 3;
    f.mask = 0x08;
    f.rotor = 4;
    QTest::newRow("only 1 means on; current in group") << f << "00000000" << "0001" << false << false << true;
}

void tst_PanelState::indicatorsFollowTheFrame()
{
    QFETCH(Frame, frame);
    QFETCH(QString, busy);
    QFETCH(QString, rotors);
    QFETCH(bool, split);
    QFETCH(bool, send);
    QFETCH(bool, superSplit);

    PanelState state;
    PanelDisplay display;
    display.rotors.fill(true);
    apply(state, display, frame);
    QString busyText, rotorText;
    for (bool b : display.busy)
        busyText += b ? '1' : '0';
    for (bool r : display.rotors)
        rotorText += r ? '1' : '0';
    QCOMPARE(busyText, busy);
    QCOMPARE(rotorText, rotors);
    QCOMPARE(display.split, split);
    QCOMPARE(display.send, send);
    QCOMPARE(display.superSplit, superSplit);
    QCOMPARE(state.currentRotor, frame.rotor);
}

void tst_PanelState::outOfRangeBytesAreHarmless()
{
    // Every value of the position, partner and mask bytes, including those
    // that name no key: nothing outside the eight keys is ever painted.
    for (int position = 0; position < 256; position += 7) {
        for (int partner : {0, 7, 8, 63, 64, 200, 255}) {
            for (quint8 split : {quint8(0), quint8(1)}) {
                for (quint8 send : {quint8(0), quint8(1)}) {
                    PanelState state;
                    state.splitActive = split;
                    PanelDisplay display;
                    Frame f;
                    f.position = quint8(position);
                    f.mask = quint8(position * 37);
                    f.splitPosition = quint8(partner);
                    f.previousPosition = quint8(partner);
                    f.send = send;
                    f.split = split;
                    apply(state, display, f);
                    int active = 0;
                    for (KeyLook look : display.keys)
                        active += look == L::Active;
                    QVERIFY(active <= 1);
                    if (position > 7)
                        QVERIFY(!display.superSplit);
                }
            }
        }
    }
    QVERIFY(!inMask(0xFF, 8));
    QVERIFY(!inMask(0xFF, 255));
    QVERIFY(!inMask(0xFF, -1));
}

QTEST_APPLESS_MAIN(tst_PanelState)
#include "tst_panelstate.moc"
