#include "link/Protocol.h"
#include "sim/VirtualSwitch.h"

#include <QtTest>

Q_DECLARE_METATYPE(SwitchState)

namespace {

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

} // namespace

// What the virtual switch does with each command frame, as the panel's
// integration tests rely on it.
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
        QTest::newRow("select 8 is ignored") << base << QByteArray("IGS8;\0\0", 7) << false << base;
        QTest::newRow("split on") << base << panelFrame(splitOnWord(0, 2)) << true << st(0, true, 2, 7, 0, 3);
        QTest::newRow("split off keeps the partner") << split << panelFrame(splitOffWord()) << true << base;
        QTest::newRow("split on position 8 is ignored") << base << QByteArray("IGP081;") << false << base;
        QTest::newRow("super split mask equal to the terminator")
            << base << panelFrame(superSplitWord(0x3B)) << true << st(2, false, 6, 7, 0x3B, 3);
        QTest::newRow("rotor") << base << panelFrame(rotorWord(4, 2)) << true << st(2, false, 6, 7, 0, 2);
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
};

QTEST_GUILESS_MAIN(TestVirtualSwitch)
#include "tst_virtualswitch.moc"
