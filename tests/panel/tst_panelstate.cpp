#include "panel/KeyPainting.h"
#include "panel/OperatorCommands.h"
#include "panel/PanelState.h"

#include <QtTest>

#include <algorithm>
#include <array>

// Status frames turned into the panel's display, and every operator mode
// transition with the words each one queues, without any widget.
using namespace OperatorCommands;

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

enum class Event { Key, Split, SuperSplit, Rotor };
enum class Mode { Normal, ChoosingSplitTx, ChoosingSuperSplit };

struct Transition
{
    Mode from;
    quint8 splitActive;
    Event event;
    int argument; // key position or rotor number
    Mode to;
    QVector<int> words;
    Message message;
    bool repaint;
    const char *after; // position, position left, split partner, split on
};

Mode modeOf(const PanelState &s)
{
    return s.choosingSplitTx ? Mode::ChoosingSplitTx : s.choosingSuperSplit ? Mode::ChoosingSuperSplit : Mode::Normal;
}

QString positions(const PanelState &s)
{
    return QString("%1 %2 %3 %4").arg(s.currentPosition).arg(s.previousPosition).arg(s.splitPosition).arg(s.splitActive);
}

// Position 2, split partner 6, super split partner 5, group {4, 5},
// selection {0}, rotor 3.
PanelState inMode(Mode mode, quint8 splitActive)
{
    PanelState s;
    s.currentPosition = 2;
    s.splitActive = splitActive;
    s.splitPosition = 6;
    s.previousPosition = 5;
    s.superSplitMask = 0x30;
    s.superSplitSelection = 0x01;
    s.currentRotor = 3;
    s.choosingSplitTx = mode == Mode::ChoosingSplitTx;
    s.choosingSuperSplit = mode == Mode::ChoosingSuperSplit;
    return s;
}

Effects run(PanelState &s, Event event, int argument)
{
    switch (event) {
    case Event::Key: return keyCommand(s, static_cast<qint8>(argument));
    case Event::Split: return splitButton(s);
    case Event::SuperSplit: return superSplitButton(s);
    case Event::Rotor: return rotorButton(s, argument);
    }
    return {};
}

} // namespace

Q_DECLARE_METATYPE(Frame)
Q_DECLARE_METATYPE(Transition)

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

    void transitions_data()
    {
        QTest::addColumn<Transition>("t");
        using M = Mode;
        using E = Event;
        using W = QVector<int>;
        const auto row = [](const char *name, Transition t) { QTest::newRow(name) << t; };
        row("normal, key, split off", {M::Normal, 0, E::Key, 4, M::Normal, W{0x0453}, Message::None, true, "4 2 6 0"});
        row("normal, key = current, split on", {M::Normal, 1, E::Key, 2, M::Normal, W{0x0050}, Message::SplitDisabled, false, "2 5 6 0"});
        row("normal, other key, split on", {M::Normal, 1, E::Key, 7, M::Normal, W{0x0753}, Message::None, true, "2 5 7 1"});
        row("normal, split, split on", {M::Normal, 1, E::Split, 0, M::Normal, W{0x0050}, Message::SplitDisabled, false, "2 5 6 0"});
        row("normal, split, split off", {M::Normal, 0, E::Split, 0, M::ChoosingSplitTx, W{}, Message::ChooseTxPosition, false, "2 5 6 0"});
        row("normal, super split", {M::Normal, 0, E::SuperSplit, 0, M::ChoosingSuperSplit, W{}, Message::ChooseSuperSplitAntennas, true, "2 5 6 0"});
        row("choosing TX, key", {M::ChoosingSplitTx, 0, E::Key, 4, M::Normal, W{0x3550}, Message::SplitConfigured, false, "2 5 4 1"});
        row("choosing TX, split, split off", {M::ChoosingSplitTx, 0, E::Split, 0, M::ChoosingSplitTx, W{}, Message::ChooseTxPosition, false, "2 5 6 0"});
        row("choosing TX, split, split on", {M::ChoosingSplitTx, 1, E::Split, 0, M::ChoosingSplitTx, W{0x0050}, Message::SplitDisabled, false, "2 5 6 0"});
        row("choosing TX, super split", {M::ChoosingSplitTx, 0, E::SuperSplit, 0, M::ChoosingSuperSplit, W{}, Message::ChooseSuperSplitAntennas, true, "2 5 6 0"});
        row("choosing super split, key", {M::ChoosingSuperSplit, 0, E::Key, 3, M::ChoosingSuperSplit, W{}, Message::None, false, "2 5 6 0"});
        row("choosing super split, confirm", {M::ChoosingSuperSplit, 0, E::SuperSplit, 0, M::Normal, W{0x0151}, Message::SuperSplitConfigured, true, "2 5 6 0"});
        row("choosing super split, split, split on", {M::ChoosingSuperSplit, 1, E::Split, 0, M::Normal, W{0x0050}, Message::SplitDisabled, false, "2 5 6 0"});
        row("choosing super split, split, split off", {M::ChoosingSuperSplit, 0, E::Split, 0, M::ChoosingSplitTx, W{}, Message::ChooseTxPosition, false, "2 5 6 0"});
        row("normal, rotor", {M::Normal, 0, E::Rotor, 1, M::Normal, W{0x3156}, Message::None, false, "2 5 6 0"});
        row("choosing TX, rotor", {M::ChoosingSplitTx, 0, E::Rotor, 2, M::ChoosingSplitTx, W{0x3256}, Message::None, false, "2 5 6 0"});
        row("choosing super split, selected rotor", {M::ChoosingSuperSplit, 1, E::Rotor, 3, M::ChoosingSuperSplit, W{0x3056}, Message::None, false, "2 5 6 1"});
    }
    void transitions()
    {
        QFETCH(Transition, t);
        PanelState s = inMode(t.from, t.splitActive);
        const Effects effects = run(s, t.event, t.argument);
        QCOMPARE(modeOf(s), t.to);
        QVector<int> queued;
        for (CommandWord w : effects.words)
            queued << int(quint16(w));
        QCOMPARE(queued, t.words);
        QCOMPARE(effects.message, t.message);
        QCOMPARE(effects.repaint, t.repaint);
        QCOMPARE(positions(s), QString(t.after));
        // Only key commands skip the next status frame.
        QCOMPARE(bool(s.skipNextStatus), t.event == Event::Key);
    }

    void leavingTheSuperSplitGroupKeepsTheOldPartner()
    {
        PanelState s;
        s.currentPosition = 2;
        s.previousPosition = 6;
        s.superSplitMask = 0x04;
        keyCommand(s, 4);
        QCOMPARE(positions(s), QString("4 6 0 0"));
    }

    void everyBitToggledOffSendsAnEmptyGroup()
    {
        PanelState s;
        s.superSplitMask = 0x81;
        superSplitButton(s);
        keyCommand(s, 0);
        keyCommand(s, 7);
        QCOMPARE(superSplitButton(s).words, QVector<CommandWord>{0x0051});
    }
};

QTEST_APPLESS_MAIN(tst_PanelState)
#include "tst_panelstate.moc"
