#include "panel/KeyPainting.h"
#include "panel/PanelState.h"

#include <QtTest>

#include <algorithm>
#include <array>

// Status frames turned into the panel's display, without any widget.
namespace {

using L = KeyLook;

struct Frame
{
    quint8 position, split, busy, rotor, mask, send, splitPosition, previousPosition;
};

void apply(PanelState &state, PanelDisplay &display, const Frame &f)
{
    const std::array<quint8, 12> bytes{
        'I', 'G', 'T', f.position, f.split, f.busy, f.rotor, f.mask, f.send, f.splitPosition, f.previousPosition, ';'};
    applyStatusFrame(state, display, bytes.data());
}

// Compact picture of the keys: . idle, t teal, Y yellow, o orange border, - untouched.
QString picture(const KeyLooks &keys)
{
    QString out;
    for (KeyLook look : keys)
        out += QString("-.tYo").at(int(look));
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Frame)

class tst_PanelState : public QObject
{
    Q_OBJECT

private slots:
    void keysFromStatusFrames_data()
    {
        QTest::addColumn<Frame>("frame");
        QTest::addColumn<quint8>("previousSplit");
        QTest::addColumn<QString>("keys");
        // Fields: position, split, busy, rotor, mask, send, split partner, super split partner.
        QTest::newRow("position 2, no groups") << Frame{2, 0, 0xFF, 1, 0, 0, 0, 0} << quint8(0) << "..Y.....";
        QTest::newRow("super split, receiving") << Frame{2, 0, 0xFF, 1, 0x05, 0, 0, 6} << quint8(0) << "t.Y...o.";
        QTest::newRow("super split, sending") << Frame{2, 0, 0xFF, 1, 0x05, 1, 0, 6} << quint8(0) << "t.o...Y.";
        QTest::newRow("split, receiving") << Frame{1, 1, 0xFF, 1, 0, 0, 4, 0} << quint8(1) << ".o..Y...";
        QTest::newRow("split, sending") << Frame{1, 1, 0xFF, 1, 0, 1, 4, 0} << quint8(1) << ".Y..o...";
        // Keys are painted before the frame's own split byte is taken.
        QTest::newRow("split just switched on paints as before") << Frame{1, 1, 0xFF, 1, 0, 0, 4, 0} << quint8(0)
                                                                 << ".Y......";
        QTest::newRow("split pair on one key ends with the border") << Frame{1, 1, 0xFF, 1, 0, 0, 1, 0} << quint8(1)
                                                                    << ".o......";
        QTest::newRow("group not holding the current key") << Frame{2, 0, 0xFF, 1, 0x81, 0, 0, 0} << quint8(0)
                                                           << "t.Y....t";
    }
    void keysFromStatusFrames()
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

    void indicatorsFollowTheFrame_data()
    {
        // Busy lights and rotor selectors per position are checked on the window.
        QTest::addColumn<Frame>("frame");
        QTest::addColumn<bool>("split");
        QTest::addColumn<bool>("send");
        QTest::addColumn<bool>("superSplit");
        QTest::newRow("split and send on") << Frame{0, 1, 0xFF, 5, 0, 1, 0, 0} << true << true << false;
        QTest::newRow("only 1 means on; current in the group") << Frame{3, 2, 0xFF, 4, 0x08, 2, 0, 0} << false
                                                                << false << true;
    }
    void indicatorsFollowTheFrame()
    {
        QFETCH(Frame, frame);
        QFETCH(bool, split);
        QFETCH(bool, send);
        QFETCH(bool, superSplit);
        PanelState state;
        PanelDisplay display;
        display.rotors.fill(true);
        apply(state, display, frame);
        QCOMPARE(display.split, split);
        QCOMPARE(display.send, send);
        QCOMPARE(display.superSplit, superSplit);
        // A rotor byte outside 1..4 lights none but is kept.
        QCOMPARE(std::count(display.rotors.begin(), display.rotors.end(), true), frame.rotor == 4 ? 1 : 0);
        QCOMPARE(state.currentRotor, frame.rotor);
    }

    void skippedFrameOnlyLightsPower()
    {
        PanelState state;
        state.skipNextStatus = 1;
        PanelDisplay display;
        apply(state, display, {5, 1, 0x00, 2, 0xFF, 1, 3, 4});
        QVERIFY(display.power);
        QCOMPARE(picture(display.keys), QString("--------"));
        QVERIFY(!display.split && !display.busy[0] && !display.rotors[1]);
        QCOMPARE(state.currentPosition, quint8(0));
        QCOMPARE(state.skipNextStatus, quint8(0));
    }

    void outOfRangeBytesAreHarmless()
    {
        // Position, partner and mask bytes that name no key: nothing outside
        // the eight keys is painted, and never more than one key is active.
        for (int position = 0; position < 256; position += 7) {
            for (int partner : {0, 7, 8, 200, 255}) {
                for (quint8 flags : {quint8(0), quint8(1)}) {
                    PanelState state;
                    state.splitActive = flags;
                    PanelDisplay display;
                    apply(state, display, {quint8(position), flags, 0xFF, 0, quint8(position * 37), flags,
                                           quint8(partner), quint8(partner)});
                    QVERIFY(std::count(display.keys.begin(), display.keys.end(), L::Active) <= 1);
                    QVERIFY(position <= 7 || !display.superSplit);
                }
            }
        }
    }
};

QTEST_APPLESS_MAIN(tst_PanelState)
#include "tst_panelstate.moc"
