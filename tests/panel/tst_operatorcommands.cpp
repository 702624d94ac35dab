#include "panel/OperatorCommands.h"

#include <QtTest>

// Every operator mode transition, with the words each one queues.
using namespace OperatorCommands;

namespace {

enum class Event { Key, Split, SuperSplit, Rotor };
enum class Mode { Normal, ChoosingSplitTx, ChoosingSuperSplit };

Mode modeOf(const PanelState &s)
{
    if (s.choosingSplitTx)
        return Mode::ChoosingSplitTx;
    if (s.choosingSuperSplit)
        return Mode::ChoosingSuperSplit;
    return Mode::Normal;
}

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

Q_DECLARE_METATYPE(Event)
Q_DECLARE_METATYPE(Mode)
Q_DECLARE_METATYPE(Message)

class tst_OperatorCommands : public QObject
{
    Q_OBJECT

private slots:
    void transitions_data();
    void transitions();
    void normalKeyRemembersThePositionLeft();
    void everyBitToggledOffSendsAnEmptyGroup();
};

void tst_OperatorCommands::transitions_data()
{
    QTest::addColumn<Mode>("from");
    QTest::addColumn<quint8>("splitActive");
    QTest::addColumn<Event>("event");
    QTest::addColumn<int>("argument");
    QTest::addColumn<Mode>("to");
    QTest::addColumn<QVector<int>>("words");
    QTest::addColumn<Message>("message");
    QTest::addColumn<bool>("repaint");
    QTest::addColumn<quint8>("splitAfter");

    using M = Mode;
    using E = Event;
    QTest::newRow("normal, key, split off") << M::Normal << quint8(0) << E::Key << 4 << M::Normal
                                            << QVector<int>{0x0453} << Message::None << true << quint8(0);
    QTest::newRow("normal, key = current, split on") << M::Normal << quint8(1) << E::Key << 2 << M::Normal
                                                     << QVector<int>{0x0050} << Message::SplitDisabled << false << quint8(0);
    QTest::newRow("normal, other key, split on") << M::Normal << quint8(1) << E::Key << 7 << M::Normal
                                                 << QVector<int>{0x0753} << Message::None << true << quint8(1);
    QTest::newRow("normal, split, split on") << M::Normal << quint8(1) << E::Split << 0 << M::Normal
                                             << QVector<int>{0x0050} << Message::SplitDisabled << false << quint8(0);
    QTest::newRow("normal, split, split off") << M::Normal << quint8(0) << E::Split << 0 << M::ChoosingSplitTx
                                              << QVector<int>{} << Message::ChooseTxPosition << false << quint8(0);
    QTest::newRow("normal, super split") << M::Normal << quint8(0) << E::SuperSplit << 0 << M::ChoosingSuperSplit
                                         << QVector<int>{} << Message::ChooseSuperSplitAntennas << true << quint8(0);
    QTest::newRow("choosing TX, key") << M::ChoosingSplitTx << quint8(0) << E::Key << 4 << M::Normal
                                      << QVector<int>{0x3550} << Message::SplitConfigured << false << quint8(1);
    QTest::newRow("choosing TX, split, split off") << M::ChoosingSplitTx << quint8(0) << E::Split << 0 << M::ChoosingSplitTx
                                                   << QVector<int>{} << Message::ChooseTxPosition << false << quint8(0);
    QTest::newRow("choosing TX, split, split on") << M::ChoosingSplitTx << quint8(1) << E::Split << 0 << M::ChoosingSplitTx
                                                  << QVector<int>{0x0050} << Message::SplitDisabled << false << quint8(0);
    QTest::newRow("choosing TX, super split") << M::ChoosingSplitTx << quint8(0) << E::SuperSplit << 0 << M::ChoosingSuperSplit
                                              << QVector<int>{} << Message::ChooseSuperSplitAntennas << true << quint8(0);
    QTest::newRow("choosing super split, key") << M::ChoosingSuperSplit << quint8(0) << E::Key << 3 << M::ChoosingSuperSplit
                                               << QVector<int>{} << Message::None << false << quint8(0);
    QTest::newRow("choosing super split, confirm") << M::ChoosingSuperSplit << quint8(0) << E::SuperSplit << 0 << M::Normal
                                                   << QVector<int>{0x0151} << Message::SuperSplitConfigured << true << quint8(0);
    QTest::newRow("choosing super split, split, split on") << M::ChoosingSuperSplit << quint8(1) << E::Split << 0 << M::Normal
                                                           << QVector<int>{0x0050} << Message::SplitDisabled << false << quint8(0);
    QTest::newRow("choosing super split, split, split off") << M::ChoosingSuperSplit << quint8(0) << E::Split << 0 << M::ChoosingSplitTx
                                                            << QVector<int>{} << Message::ChooseTxPosition << false << quint8(0);
    QTest::newRow("normal, rotor") << M::Normal << quint8(0) << E::Rotor << 1 << M::Normal
                                   << QVector<int>{0x3156} << Message::None << false << quint8(0);
    QTest::newRow("choosing TX, rotor") << M::ChoosingSplitTx << quint8(0) << E::Rotor << 2 << M::ChoosingSplitTx
                                        << QVector<int>{0x3256} << Message::None << false << quint8(0);
    QTest::newRow("choosing super split, rotor") << M::ChoosingSuperSplit << quint8(1) << E::Rotor << 3 << M::ChoosingSuperSplit
                                                 << QVector<int>{0x3056} << Message::None << false << quint8(1);
}

void tst_OperatorCommands::transitions()
{
    QFETCH(Mode, from);
    QFETCH(quint8, splitActive);
    QFETCH(Event, event);
    QFETCH(int, argument);
    QFETCH(Mode, to);
    QFETCH(QVector<int>, words);
    QFETCH(Message, message);
    QFETCH(bool, repaint);
    QFETCH(quint8, splitAfter);

    PanelState s = inMode(from, splitActive);
    const Effects effects = run(s, event, argument);
    QCOMPARE(modeOf(s), to);
    QVector<int> queued;
    for (CommandWord w : effects.words)
        queued << int(quint16(w));
    QCOMPARE(queued, words);
    QCOMPARE(effects.message, message);
    QCOMPARE(effects.repaint, repaint);
    QCOMPARE(s.splitActive, splitAfter);
    // Only key commands skip the next status frame.
    QCOMPARE(bool(s.skipNextStatus), event == Event::Key);
}

void tst_OperatorCommands::normalKeyRemembersThePositionLeft()
{
    PanelState s;
    s.currentPosition = 2;
    keyCommand(s, 4);
    QCOMPARE(s.previousPosition, quint8(2));
    QCOMPARE(s.currentPosition, quint8(4));

    // Leaving a position of the super split group keeps the old partner.
    s = PanelState();
    s.currentPosition = 2;
    s.previousPosition = 6;
    s.superSplitMask = 0x04;
    keyCommand(s, 4);
    QCOMPARE(s.previousPosition, quint8(6));

    // With split on, another key moves the split partner, not the position.
    s = PanelState();
    s.currentPosition = 2;
    s.splitActive = 1;
    keyCommand(s, 5);
    QCOMPARE(s.splitPosition, quint8(5));
    QCOMPARE(s.currentPosition, quint8(2));
}

void tst_OperatorCommands::everyBitToggledOffSendsAnEmptyGroup()
{
    PanelState s;
    s.superSplitMask = 0x81;
    superSplitButton(s);
    keyCommand(s, 0);
    keyCommand(s, 7);
    QCOMPARE(superSplitButton(s).words, QVector<CommandWord>{0x0051});
}

QTEST_APPLESS_MAIN(tst_OperatorCommands)
#include "tst_operatorcommands.moc"
