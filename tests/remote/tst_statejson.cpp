#include "remote/StateJson.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <functional>

// The retained state message, field by field, and the captions a remote
// panel takes from it.
using Change = std::function<void(SwitchSnapshot &)>;
Q_DECLARE_METATYPE(Change)

namespace {

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

class tst_StateJson : public QObject
{
    Q_OBJECT

private slots:
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

QTEST_GUILESS_MAIN(tst_StateJson)
#include "tst_statejson.moc"
