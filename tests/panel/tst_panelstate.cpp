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

// Compact picture of the display: the keys (. idle, t teal, Y yellow, o orange
// border, - untouched), then every indicator that is lit.
QString picture(const PanelDisplay &display)
{
    QString out;
    for (KeyLook look : display.keys)
        out += QString("-.tYo").at(int(look));
    out += display.power ? " power" : "";
    out += display.split ? " split" : "";
    out += display.send ? " send" : "";
    out += display.superSplit ? " ss" : "";
    for (int i = 0; i < positionCount; ++i)
        out += display.busy[i] ? QString(" busy%1").arg(i + 1) : QString();
    for (int r = 0; r < rotorCount; ++r)
        out += display.rotors[r] ? QString(" rotor%1").arg(r + 1) : QString();
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Frame)

class tst_PanelState : public QObject
{
    Q_OBJECT

private slots:
    void displayFromStatusFrames_data()
    {
        QTest::addColumn<Frame>("frame");
        QTest::addColumn<quint8>("previousSplit");
        QTest::addColumn<QString>("shown");
        // Fields: position, split, busy, rotor, mask, send, split partner, super split partner.
        QTest::newRow("position 2, no groups") << Frame{2, 0, 0xFF, 1, 0, 0, 0, 0} << quint8(0) << "..Y..... power rotor1";
        QTest::newRow("super split, receiving") << Frame{2, 0, 0xFF, 1, 0x05, 0, 0, 6} << quint8(0)
                                                << "t.Y...o. power ss rotor1";
        QTest::newRow("super split, sending") << Frame{2, 0, 0xFF, 1, 0x05, 1, 0, 6} << quint8(0)
                                              << "t.o...Y. power send ss rotor1";
        QTest::newRow("split, receiving") << Frame{1, 1, 0xFF, 1, 0, 0, 4, 0} << quint8(1) << ".o..Y... power split rotor1";
        QTest::newRow("split, sending") << Frame{1, 1, 0xFF, 1, 0, 1, 4, 0} << quint8(1)
                                        << ".Y..o... power split send rotor1";
        // Keys are painted before the frame's own split byte is taken.
        QTest::newRow("split just switched on paints as before") << Frame{1, 1, 0xFF, 1, 0, 0, 4, 0} << quint8(0)
                                                                 << ".Y...... power split rotor1";
        QTest::newRow("split pair on one key ends with the border") << Frame{1, 1, 0xFF, 1, 0, 0, 1, 0} << quint8(1)
                                                                    << ".o...... power split rotor1";
        QTest::newRow("group not holding the current key") << Frame{2, 0, 0xFF, 1, 0x81, 0, 0, 0} << quint8(0)
                                                           << "t.Y....t power rotor1";
        // Busy inputs are active low; only 1 means on; a rotor byte outside
        // 1..4 lights none.
        QTest::newRow("busy inputs, rotor 4, current in the group") << Frame{3, 2, 0x5F, 4, 0x08, 2, 0, 0} << quint8(0)
                                                                    << "o..Y.... power ss busy6 busy8 rotor4";
        QTest::newRow("rotor 5") << Frame{0, 1, 0xFF, 5, 0, 1, 0, 0} << quint8(0) << "Y....... power split send";
    }
    void displayFromStatusFrames()
    {
        QFETCH(Frame, frame);
        QFETCH(quint8, previousSplit);
        QFETCH(QString, shown);
        PanelState state;
        state.splitActive = previousSplit;
        PanelDisplay display;
        display.rotors.fill(true);
        apply(state, display, frame);
        QCOMPARE(picture(display), shown);
        QCOMPARE(state.currentRotor, frame.rotor);
    }

    void skippedFrameOnlyLightsPower()
    {
        PanelState state;
        state.skipNextStatus = 1;
        PanelDisplay display;
        apply(state, display, {5, 1, 0x00, 2, 0xFF, 1, 3, 4});
        QCOMPARE(picture(display), QString("-------- power"));
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
