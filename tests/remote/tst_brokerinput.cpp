#include "link/Protocol.h"
#include "remote/CommandJson.h"
#include "remote/CommandTurns.h"
#include "remote/RelayedFrame.h"
#include "remote/StateJson.h"
#include "sim/VirtualSwitch.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QtTest>

#include <functional>

using Change = std::function<void(SwitchSnapshot &)>;
Q_DECLARE_METATYPE(Change)

namespace {

// The switch at antenna 5, rotor 3, reached through an open link.
SwitchSnapshot connectedAt(quint8 position, quint8 rotor = 3, bool linkOpen = true)
{
    SwitchSnapshot s;
    s.linkOpen = linkOpen;
    s.position = position;
    s.rotor = rotor;
    return s;
}

QList<int> words(const QVector<CommandWord> &list)
{
    QList<int> out;
    for (CommandWord w : list)
        out << static_cast<quint16>(w);
    return out;
}

SwitchSnapshot answering()
{
    SwitchSnapshot s;
    s.linkOpen = true;
    s.linkName = QStringLiteral("/dev/ttyUSB0");
    s.power = true;
    s.firmwareKnown = true;
    s.firmwareMajor = 1;
    s.firmwareMinor = 12;
    s.position = 3;
    s.rotor = 2;
    return s;
}

} // namespace

// What goes out on the broker (the retained state message, field by field,
// and the captions a remote panel takes from it) and what may arrive:
// commands on BASE/set, relayed frames, and how fast commands may come.
class tst_BrokerInput : public QObject
{
    Q_OBJECT

private slots:
    void commands_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<SwitchSnapshot>("snapshot");
        QTest::addColumn<QList<int>>("expected");
        QTest::addColumn<QString>("error"); // a part of the reason; empty when accepted

        const SwitchSnapshot at5 = connectedAt(4);
        const auto word = [](CommandWord w) { return QList<int>{static_cast<quint16>(w)}; };
        const QList<int> none;

        QTest::newRow("antenna 4") << QByteArray(R"({"antenna":4})") << at5 << word(0x0353) << QString();
        QTest::newRow("antenna 1 and 8") << QByteArray(R"({"antenna":1.0})") << at5 << word(0x0053) << QString();
        QTest::newRow("antenna 8") << QByteArray(R"({"antenna":8})") << at5 << word(0x0753) << QString();
        for (const char *bad : {"0", "9", "-1", "3.5", "1e300", "\"3\"", "true", "null", "[3]"})
            QTest::newRow(qPrintable(QString("antenna %1").arg(bad))) << ("{\"antenna\":" + QByteArray(bad) + "}")
                                                                      << at5 << none << "antenna must be";
        QTest::newRow("rotor 2 selects it") << QByteArray(R"({"rotor":2})") << at5 << word(0x5256) << QString();
        QTest::newRow("rotor already selected: nothing") << QByteArray(R"({"rotor":3})") << at5 << none << QString();
        QTest::newRow("rotor 0 releases") << QByteArray(R"({"rotor":0})") << at5 << word(0x5056) << QString();
        QTest::newRow("rotor 0 with none selected") << QByteArray(R"({"rotor":0})") << connectedAt(4, 0) << none << QString();
        QTest::newRow("rotor 5") << QByteArray(R"({"rotor":5})") << at5 << none << "rotor must be";
        QTest::newRow("rotor, no antenna in use") << QByteArray(R"({"rotor":1})") << connectedAt(9) << none << "no antenna";
        QTest::newRow("split tx 5") << QByteArray(R"({"split":{"tx":5}})") << connectedAt(0) << word(0x1550) << QString();
        QTest::newRow("split tx 8 from 8") << QByteArray(R"({"split":{"tx":8}})") << connectedAt(7) << word(0x8850) << QString();
        QTest::newRow("split off") << QByteArray(R"({"split":false})") << at5 << word(0x0050) << QString();
        // With split on, an antenna works as its key: the one in use ends
        // split, another becomes the TX antenna.
        SwitchSnapshot split5 = at5;
        split5.splitOn = true;
        QTest::newRow("antenna in use with split on") << QByteArray(R"({"antenna":5})") << split5 << word(0x0050) << QString();
        QTest::newRow("other antenna with split on") << QByteArray(R"({"antenna":2})") << split5 << word(0x0153) << QString();
        QTest::newRow("split true") << QByteArray(R"({"split":true})") << at5 << none << "split takes";
        QTest::newRow("split extra key") << QByteArray(R"({"split":{"tx":5,"rx":1}})") << at5 << none << "split takes";
        QTest::newRow("split tx 9") << QByteArray(R"({"split":{"tx":9}})") << at5 << none << "split tx must be";
        QTest::newRow("super split group") << QByteArray(R"({"superSplit":[1,3]})") << at5 << word(0x0551) << QString();
        QTest::newRow("super split repeated antenna") << QByteArray(R"({"superSplit":[8,8]})") << at5 << word(0x8051)
                                                      << QString();
        QTest::newRow("super split emptied") << QByteArray(R"({"superSplit":[]})") << at5 << word(0x0051) << QString();
        QTest::newRow("super split false") << QByteArray(R"({"superSplit":false})") << at5 << word(0x0051) << QString();
        QTest::newRow("super split antenna 9") << QByteArray(R"({"superSplit":[1,9]})") << at5 << none << "superSplit antenna";
        QTest::newRow("super split nine antennas") << QByteArray(R"({"superSplit":[1,2,3,4,5,6,7,8,1]})") << at5 << none
                                                   << "up to 8";
        QTest::newRow("remote panel's word") << QByteArray(R"({"word":34896})") << connectedAt(7) << word(0x8850) << QString();
        // Split-on and rotor words carry the antenna in use; one made for
        // another would move the switch away from it.
        QTest::newRow("split word for another antenna") << QByteArray(R"({"word":34896})") << at5 << none << "made for antenna 8";
        QTest::newRow("rotor word for another antenna") << QByteArray(R"({"word":4694})") << at5 << none << "made for antenna 1";
        QTest::newRow("word with an unknown letter") << QByteArray(R"({"word":833})") << at5 << none << "not one the panel";
        QTest::newRow("word beyond 16 bits") << QByteArray(R"({"word":70000})") << at5 << none << "word must be";
        QTest::newRow("two commands") << QByteArray(R"({"antenna":1,"rotor":1})") << at5 << none << "one command";
        // The parser would lose the memory of the list the second key replaces.
        QTest::newRow("repeated key") << QByteArray(R"({"superSplit":[1],"superSplit":false})") << at5 << none
                                      << "appears twice";
        QTest::newRow("repeated key, escaped") << QByteArray(R"({"split":{"tx":[5],"\u0074x":5}})") << at5 << none
                                               << "appears twice";
        QTest::newRow("same key, nested object") << QByteArray(R"({"split":{"split":5}})") << at5 << none << "split takes";
        QTest::newRow("empty object") << QByteArray("{}") << at5 << none << "empty command";
        QTest::newRow("array") << QByteArray("[1]") << at5 << none << "JSON object";
        QTest::newRow("unknown command") << QByteArray(R"({"power":false})") << at5 << none << "unknown command";
        QTest::newRow("not JSON") << QByteArray("antenna 4") << at5 << none << "not JSON";
        QTest::newRow("deep nesting") << (QByteArray(R"({"antenna":)") + QByteArray(240, '[') + QByteArray(240, ']') + "}")
                                      << at5 << none << "antenna must be";
        QTest::newRow("too long") << (QByteArray(R"({"antenna":4,"x":")") + QByteArray(600, 'x') + "\"}") << at5 << none
                                  << "too long";
        QTest::newRow("link down") << QByteArray(R"({"antenna":4})") << connectedAt(4, 3, false) << none
                                   << "not connected";
        QTest::newRow("link down, nothing to change") << QByteArray(R"({"rotor":3})") << connectedAt(4, 3, false) << none
                                                      << QString();
    }
    void commands()
    {
        QFETCH(QByteArray, message);
        QFETCH(SwitchSnapshot, snapshot);
        QFETCH(QList<int>, expected);
        QFETCH(QString, error);
        const CommandJson::Outcome outcome = CommandJson::parse(message, snapshot);
        QCOMPARE(words(outcome.words), expected);
        if (error.isEmpty())
            QVERIFY2(outcome.error.isEmpty(), qPrintable(outcome.error));
        else
            QVERIFY2(outcome.error.contains(error), qPrintable(outcome.error));
    }

    void onlyWordsThePanelsControlsMake()
    {
        // Every word the keys and buttons build, from every antenna in use.
        QSet<int> panelWords{static_cast<quint16>(Protocol::splitOffWord())};
        for (int mask = 0; mask < 256; ++mask)
            panelWords << static_cast<quint16>(Protocol::superSplitWord(static_cast<quint8>(mask)));
        for (int current = 0; current < positionCount; ++current) {
            panelWords << static_cast<quint16>(Protocol::selectWord(current));
            for (int tx = 0; tx < positionCount; ++tx)
                panelWords << static_cast<quint16>(Protocol::splitOnWord(current, tx));
            for (int rotor = 0; rotor <= rotorCount; ++rotor)
                panelWords << static_cast<quint16>(Protocol::rotorWord(current, rotor));
        }
        for (int raw = 0; raw <= 0xFFFF; ++raw) {
            const auto word = static_cast<CommandWord>(static_cast<quint16>(raw));
            QVERIFY2(CommandJson::panelCouldSend(word) == panelWords.contains(raw), qPrintable(QString::number(raw, 16)));
        }
        // A remote panel's word makes the round trip.
        const CommandWord split = Protocol::splitOnWord(7, 7);
        QCOMPARE(words(CommandJson::parse(CommandJson::wordMessage(split), connectedAt(7)).words), QList<int>{0x8850});
    }

    void relayedFrames_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("taken");

        SwitchState state;
        state.superSplitMask = ';';
        const QByteArray status = VirtualSwitch::statusFrame(state);
        const QByteArray firmware = VirtualSwitch::firmwareFrame(1, 12);
        QTest::newRow("status frame, data bytes like a terminator") << status << true;
        QTest::newRow("firmware frame") << firmware << true;
        QTest::newRow("longer status frame") << status.left(11) + "x;" << true;
        QTest::newRow("frame and one more byte") << status + 'I' << false;
        QTest::newRow("longer than the receive window") << status.left(11) + QByteArray(9, 'x') + ';' << false;
        QTest::newRow("two frames") << firmware + firmware << false;
        QTest::newRow("part of a frame") << status.left(11) << false;
        QTest::newRow("noise before a frame") << "x" + firmware.left(5) << false;
        QTest::newRow("unknown type") << QByteArray("IGX\1\2;") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void relayedFrames()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, taken);
        QCOMPARE(RelayedFrame::isWholeSwitchFrame(message), taken);
    }

    void turns_data()
    {
        // Steps, each at a time in ms: "+a2" sender a offers a two-word
        // command and is taken in, "+a2!" is refused; ">a" the next turn is
        // a's command, ">-" no command's turn yet.
        QTest::addColumn<QStringList>("steps");

        const QStringList tenFromA{"0 +a1", "0 +a1", "0 +a1", "0 +a1", "0 +a1",
                                   "0 +a1", "0 +a1", "0 +a1", "0 +a1", "0 +a1"};
        QTest::newRow("one sender: ten waiting, then a word a turn")
            << tenFromA + QStringList{"0 +a1!", "0 >a", "0 >-", "299 >-", "299 +a1", "299 +a1!", "300 >a", "600 >a"};
        QTest::newRow("a flood fills only its own line")
            << tenFromA + QStringList{"0 +a1!", "0 +b1", "0 >a", "10 +b1", "300 >b", "600 >a", "900 >b", "1200 >a",
                                      "1500 >a"};
        QTest::newRow("a sender's commands keep their order; turns go round")
            << QStringList{"0 +a1", "0 +b1", "0 +c1", "0 +b1", "0 >a", "300 >b", "600 >c", "900 >b", "1200 >-"};
        QTest::newRow("a two-word command holds the next turn twice as long")
            << QStringList{"0 +a2", "0 +b1", "0 >a", "599 >-", "600 >b"};
        QTest::newRow("a pause saves no turns up")
            << QStringList{"0 +a1", "0 >a", "5000 +a1", "5000 +a1", "5000 >a", "5000 >-", "5300 >a"};
        QTest::newRow("more words than a line holds") << QStringList{"0 +a11!", "0 +a10", "0 +a1!"};
    }
    void turns()
    {
        QFETCH(QStringList, steps);
        CommandTurns turns;
        for (const QString &step : steps) {
            const QStringList parts = step.split(' ');
            const qint64 nowMs = parts[0].toLongLong();
            const QString what = parts[1];
            if (what.startsWith('+')) {
                const QString sender = what.mid(1, 1);
                const int count = what.mid(2).remove('!').toInt();
                const CommandTurns::Command command{sender, sender.toUtf8(), QVector<CommandWord>(count, 0x4700)};
                QVERIFY2(turns.offer(command) == !what.endsWith('!'), qPrintable(step));
            } else {
                const std::optional<CommandTurns::Command> taken = turns.take(nowMs);
                QCOMPARE(taken ? taken->sender : QString("-"), what.mid(1));
            }
        }
    }

    void turnTimes()
    {
        CommandTurns turns;
        QCOMPARE(turns.msUntilNext(0), qint64(-1));
        QVERIFY(turns.offer({"a", "{}", {0x4700}}));
        QCOMPARE(turns.msUntilNext(0), qint64(0));
        QVERIFY(turns.take(0));
        QCOMPARE(turns.msUntilNext(100), qint64(-1));
        QVERIFY(turns.offer({"a", "{}", {0x4700}}));
        QCOMPARE(turns.msUntilNext(100), qint64(200));
        QCOMPARE(turns.waitingWords("a"), 1);
        // Names made up by the dozen get no line each.
        for (int i = 1; i < CommandTurns::maxSenders; ++i)
            QVERIFY(turns.offer({QString::number(i), "{}", {0x4700}}));
        QVERIFY(!turns.offer({"one more", "{}", {0x4700}}));
    }

    void fields_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<QString>("band");
        QTest::addColumn<QByteArray>("expected"); // the fields the row is about

        QTest::newRow("nothing known yet: every field, nothing made up")
            << Change([](SwitchSnapshot &s) { s = SwitchSnapshot(); }) << QString()
            << QByteArray(R"({"link":{"connected":false,"port":null},"firmware":null,"power":false,"send":false,
                "antenna":null,"split":{"on":false,"tx":null},"superSplit":{"on":false,"group":[],"partner":null},
                "busy":[],"rotor":0,"captions":["","","","","","","",""]})");
        QTest::newRow("answering switch, antennas numbered from 1")
            << Change([](SwitchSnapshot &s) { s.busyMask = 0x81; s.send = true; }) << QString()
            << QByteArray(R"({"link":{"connected":true,"port":"/dev/ttyUSB0"},"firmware":"1.12","power":true,
                "send":true,"antenna":4,"busy":[1,8],"rotor":2})");
        QTest::newRow("a silent switch has no antenna in use")
            << Change([](SwitchSnapshot &s) { s.power = false; }) << QString() << QByteArray(R"({"antenna":null})");
        QTest::newRow("split with its TX antenna")
            << Change([](SwitchSnapshot &s) { s.splitOn = true; s.splitPosition = 7; }) << QString()
            << QByteArray(R"({"split":{"on":true,"tx":8}})");
        QTest::newRow("super split group and partner")
            << Change([](SwitchSnapshot &s) { s.superSplitOn = true; s.superSplitMask = 0x05; s.superSplitPartner = 6; })
            << QString() << QByteArray(R"({"superSplit":{"on":true,"group":[1,3],"partner":7}})");
        QTest::newRow("values outside the switch's range are left out")
            << Change([](SwitchSnapshot &s) { s.position = 9; s.rotor = 7; s.splitOn = true; s.splitPosition = 200; })
            << QString() << QByteArray(R"({"antenna":null,"rotor":0,"split":{"on":true,"tx":null}})");
        QTest::newRow("band while band follow runs") << Change([](SwitchSnapshot &) {}) << QStringLiteral("20m")
                                                     << QByteArray(R"({"band":"20m"})");
    }
    void fields()
    {
        QFETCH(Change, change);
        QFETCH(QString, band);
        QFETCH(QByteArray, expected);
        SwitchSnapshot snapshot = answering();
        change(snapshot);
        const QByteArray message = StateJson::fromSnapshot(snapshot, band);
        const QJsonObject state = QJsonDocument::fromJson(message).object();
        const QJsonObject wanted = QJsonDocument::fromJson(expected).object();
        QVERIFY(!wanted.isEmpty());
        for (auto field = wanted.begin(); field != wanted.end(); ++field)
            QVERIFY2(state.value(field.key()) == field.value(), qPrintable(field.key() + ": " + message));
        // Only band follow adds the band.
        QCOMPARE(state.contains("band"), !band.isEmpty());
        if (QTest::currentDataTag() == QByteArray("nothing known yet: every field, nothing made up"))
            QCOMPARE(state.keys(), wanted.keys());
    }

    void captions_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QStringList>("expected");

        SwitchSnapshot s = answering();
        s.captions = {QStringLiteral("Yagi"), QString(), QStringLiteral("Loop"), QString(),
                      QString(),              QString(), QString(),              QStringLiteral("Dumy")};
        QTest::newRow("from the owner's state") << StateJson::fromSnapshot(s)
                                                << QStringList{"Yagi", "", "Loop", "", "", "", "", "Dumy"};
        QTest::newRow("long captions cut to a key's four characters")
            << QByteArray(R"({"captions":["Yagi-long","","","","","","",""]})")
            << QStringList{"Yagi", "", "", "", "", "", "", ""};
        QTest::newRow("a cut never halves an emoji")
            << QByteArray(R"({"captions":["Ab\ud83d\ude00","Abc\ud83d\ude00","","","","","",""]})")
            << QStringList{"Ab\U0001F600", "Abc", "", "", "", "", "", ""};
        QTest::newRow("seven") << QByteArray(R"({"captions":["","","","","","",""]})") << QStringList();
        QTest::newRow("not strings") << QByteArray(R"({"captions":[1,2,3,4,5,6,7,8]})") << QStringList();
    }
    void captions()
    {
        QFETCH(QByteArray, message);
        QFETCH(QStringList, expected);
        QCOMPARE(StateJson::captions(message), expected);
    }
};

QTEST_GUILESS_MAIN(tst_BrokerInput)
#include "tst_brokerinput.moc"
