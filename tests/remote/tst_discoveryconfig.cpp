#include "DiscoveryCheck.h"

#include "remote/DiscoveryConfig.h"
#include "remote/StateJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

// Home Assistant's discovery configs as the panel builds them, read back as
// Home Assistant would: JSON, its keys, and templates run by Jinja2 on real
// state messages.
class tst_DiscoveryConfig : public QObject
{
    Q_OBJECT

private slots:
    void options_data()
    {
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<QStringList>("expected");

        const QStringList numbers{"Ant 1", "Ant 2", "Ant 3", "Ant 4", "Ant 5", "Ant 6", "Ant 7", "Ant 8"};
        QTest::newRow("no captions") << QStringList(QVector<QString>(8).toList()) << numbers;
        QTest::newRow("fewer than eight") << QStringList{"Yagi"}
                                          << (QStringList{"Yagi"} + numbers.mid(1));
        QTest::newRow("blanks and control characters")
            << QStringList{" Yagi", "Lo\top", "   ", "\x01", "", "", "", ""}
            << QStringList{"Yagi", "Lo op", "Ant 3", "Ant 4", "Ant 5", "Ant 6", "Ant 7", "Ant 8"};
        QTest::newRow("shared captions")
            << QStringList{"Yagi", "", "", "", "Yagi", "", "", "Dipo"}
            << QStringList{"Yagi (Ant 1)", "Ant 2", "Ant 3", "Ant 4", "Yagi (Ant 5)", "Ant 6", "Ant 7", "Dipo"};
        // Home Assistant would show the antenna in use as unknown.
        QTest::newRow("words Home Assistant reserves")
            << QStringList{"None", "unknown", "UNAVAILABLE", "none", "Nonet", "", "", ""}
            << QStringList{"None (Ant 1)", "unknown (Ant 2)", "UNAVAILABLE (Ant 3)", "none (Ant 4)", "Nonet",
                           "Ant 6", "Ant 7", "Ant 8"};
        QTest::newRow("quotes, slashes, braces, non-ASCII")
            << QStringList{"\"40\"", "a/b\\", "{{x}", "Ö 20", "%}#", "😀", "", "'"}
            << QStringList{"\"40\"", "a/b\\", "{{x}", "Ö 20", "%}#", "😀", "Ant 7", "'"};
    }
    void options()
    {
        QFETCH(QStringList, captions);
        QFETCH(QStringList, expected);
        QCOMPARE(DiscoveryConfig::antennaOptions(captions), expected);

        // Home Assistant's reading of the configs agrees: the antenna in use
        // shows as its option, and each option's command selects its antenna.
        DiscoveryConfig::Inputs in;
        in.baseTopic = QStringLiteral("tqx5r");
        in.captions = captions;
        const QJsonObject checked = check(in, {stateWithAntenna(3, captions), stateWithAntenna(-1, captions)});
        QVERIFY2(checked.value("problems").toArray().isEmpty(), QJsonDocument(checked).toJson().constData());
        QCOMPARE(checked.value("rendered").toObject().value("tqx5r_antenna").toArray(),
                 QJsonArray({expected.at(2), "None"}));
        const QJsonObject commands = checked.value("commands").toObject();
        QCOMPARE(commands.size(), 8);
        for (int i = 0; i < 8; ++i)
            QCOMPARE(commands.value(expected.at(i)).toString(), QString("{\"antenna\":%1}").arg(i + 1));
    }

    void sensorsReadTheState()
    {
        DiscoveryConfig::Inputs in;
        in.baseTopic = QStringLiteral("shack/tqx5r");
        in.prefix = QStringLiteral("ha");
        in.captions = QStringList(QVector<QString>(8).toList());
        in.bandFollow = true;
        SwitchSnapshot s;
        s.linkOpen = true;
        s.power = true;
        s.send = true;
        s.firmwareKnown = true;
        s.firmwareMajor = 1;
        s.firmwareMinor = 12;
        const QByteArray live = StateJson::fromSnapshot(s, QStringLiteral("20m"));
        const QByteArray gone = StateJson::fromSnapshot(SwitchSnapshot());
        const QJsonObject checked = check(in, {live, gone});
        QVERIFY2(checked.value("problems").toArray().isEmpty(), QJsonDocument(checked).toJson().constData());
        const QJsonObject rendered = checked.value("rendered").toObject();
        const QString node = DiscoveryConfig::nodeId(in.baseTopic);
        QCOMPARE(rendered.value(node + "_send").toArray(), QJsonArray({"ON", "OFF"}));
        QCOMPARE(rendered.value(node + "_power").toArray(), QJsonArray({"ON", "OFF"}));
        QCOMPARE(rendered.value(node + "_firmware").toArray(), QJsonArray({"1.12", "None"}));
        QCOMPARE(rendered.value(node + "_band").toArray(), QJsonArray({"20m", "None"}));

        // Without band follow, the band sensor of an earlier run is removed.
        in.bandFollow = false;
        const QVector<DiscoveryConfig::Config> configs = DiscoveryConfig::build(in);
        QCOMPARE(configs.last().topic, "ha/sensor/" + node + "/band/config");
        QVERIFY(configs.last().payload.isEmpty());
    }

    void nodeIds()
    {
        QCOMPARE(DiscoveryConfig::nodeId("tqx5r"), QString("tqx5r"));
        QCOMPARE(DiscoveryConfig::nodeId("Shack-2_sw"), QString("Shack-2_sw"));
        // Topics that need changing keep apart, and stay the same from run to run.
        const QString slashed = DiscoveryConfig::nodeId("a/b");
        QVERIFY(slashed.startsWith("a_b_"));
        QVERIFY(slashed != DiscoveryConfig::nodeId("a_b"));
        QVERIFY(slashed != DiscoveryConfig::nodeId("a.b"));
        QCOMPARE(DiscoveryConfig::nodeId("a/b"), slashed);
        QVERIFY(QRegularExpression("^[A-Za-z0-9_-]+$").match(DiscoveryConfig::nodeId("Funk/ß ü")).hasMatch());
    }

private:
    static QByteArray stateWithAntenna(int antenna, const QStringList &captions)
    {
        SwitchSnapshot s;
        s.linkOpen = antenna > 0;
        s.power = antenna > 0;
        s.position = static_cast<quint8>(qMax(antenna - 1, 0));
        for (int i = 0; i < 8; ++i)
            s.captions[static_cast<size_t>(i)] = captions.value(i);
        return StateJson::fromSnapshot(s);
    }

    static QJsonObject check(const DiscoveryConfig::Inputs &in, const QList<QByteArray> &states)
    {
        QMap<QString, QByteArray> configs;
        for (const DiscoveryConfig::Config &config : DiscoveryConfig::build(in)) {
            if (!config.payload.isEmpty())
                configs.insert(config.topic, config.payload);
        }
        return checkDiscovery(in.prefix, in.baseTopic, configs, states);
    }
};

QTEST_MAIN(tst_DiscoveryConfig)
#include "tst_discoveryconfig.moc"
