#include "panel/OperatorCommands.h"

#include <QtTest>

// Every operator mode transition, with the words each one queues.
using namespace OperatorCommands;

namespace {

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

Q_DECLARE_METATYPE(Transition)

class tst_OperatorCommands : public QObject
{
    Q_OBJECT

private slots:
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

QTEST_APPLESS_MAIN(tst_OperatorCommands)
#include "tst_operatorcommands.moc"
