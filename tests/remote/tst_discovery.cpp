#include "DiscoveryCheck.h"

#include "remote/BrokerBridge.h"
#include "remote/DiscoveryPublisher.h"
#include "remote/RemoteFeature.h"
#include "sim/LocalBroker.h"
#include "support/BrokerWatcher.h"
#include "support/LinkedPanel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRadioButton>
#include <QtTest>

#include <memory>

// Home Assistant discovery end to end: the owning panel (window, poll thread,
// virtual switch) on a real Mosquitto, the configs as the broker keeps them,
// and a command sent the way Home Assistant's select sends it.
class tst_Discovery : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        broker = std::make_unique<LocalBroker>();
        TestAccounts::addTo(*broker);
        // The README's lines: the owner may write only its own device's
        // configs and read Home Assistant's announcements; Home Assistant's
        // own login ("hass") does the rest under the prefix and sends
        // commands on the shared topic.
        broker->addUser(QStringLiteral("hass"), TestAccounts::passwordOf(QStringLiteral("hass")));
        broker->setAcl(QStringLiteral("user owner\ntopic readwrite tqx5r/#\n"
                                      "topic write homeassistant/+/tqx5r/#\ntopic read homeassistant/status\n\n"
                                      "user hass\ntopic readwrite homeassistant/#\ntopic read tqx5r/#\n"
                                      "topic write tqx5r/set\n"));
        QVERIFY2(broker->start(), qPrintable(broker->errorString()));
        rig = std::make_unique<LinkedPanel>();
        BrokerSettings watching = TestAccounts::settings(*broker, "hass");
        watching.topic = QStringLiteral("homeassistant");
        discovery = std::make_unique<BrokerWatcher>(watching);
        switchTopics = std::make_unique<BrokerWatcher>(TestAccounts::settings(*broker, "owner"));
        QTRY_VERIFY_WITH_TIMEOUT(discovery->isConnected() && switchTopics->isConnected(), 5000);
    }

    void cleanup()
    {
        owner.reset();
        discovery.reset();
        switchTopics.reset();
        rig.reset();
        broker.reset();
    }

    void nothingUnderThePrefixWithoutDiscovery()
    {
        // Someone's own entity, kept by the broker.
        QVERIFY(discovery->publish("switch/other/lamp/config", R"({"name":"Lamp"})", true));
        QTRY_COMPARE_WITH_TIMEOUT(discovery->on("switch/other/lamp/config").size(), 1, 5000);
        startOwner(QString());
        QTRY_COMPARE_WITH_TIMEOUT(switchTopics->last("online"), QByteArray("true"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!switchTopics->last("state").isEmpty(), 5000);
        // A client coming later finds only what was there before.
        BrokerSettings watching = TestAccounts::settings(*broker, "hass");
        watching.topic = QStringLiteral("homeassistant");
        BrokerWatcher later(watching);
        QTRY_COMPARE_WITH_TIMEOUT(later.on("switch/other/lamp/config").size(), 1, 5000);
        QTest::qWait(300);
        QCOMPARE(discovery->on("select/tqx5r/antenna/config").size(), 0);
        QCOMPARE(later.on("select/tqx5r/antenna/config").size(), 0);
    }

    void configsAppearAndTheSelectMovesTheSwitch()
    {
        startOwner(QStringLiteral("homeassistant"));
        QTRY_COMPARE_WITH_TIMEOUT(discovery->on(selectConfig).size(), 1, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!switchTopics->last("state").isEmpty(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(lastState().value("power").toBool(), true, 5000);

        // Checked as Home Assistant reads them, on the state the broker holds.
        QJsonObject checked = checkDiscovery("homeassistant", "tqx5r", configs(), {switchTopics->last("state")});
        QVERIFY2(checked.value("problems").toArray().isEmpty(), QJsonDocument(checked).toJson().constData());
        QCOMPARE(configs().size(), 4); // no band without band follow
        QCOMPARE(checked.value("rendered").toObject().value("tqx5r_antenna").toArray(), QJsonArray({"Ant 1"}));

        // Home Assistant picks "Ant 4": its command template's result on the
        // select's command topic reaches the switch as key 4 would.
        const QByteArray command = checked.value("commands").toObject().value("Ant 4").toString().toUtf8();
        const QString commandTopic = QJsonDocument::fromJson(discovery->last(selectConfig)).object()
                                         .value("command_topic").toString();
        BrokerWatcher homeAssistant(TestAccounts::settings(*broker, "hass"));
        QTRY_VERIFY_WITH_TIMEOUT(homeAssistant.isConnected(), 5000);
        QCOMPARE(commandTopic, QString("tqx5r/set"));
        QVERIFY(homeAssistant.publish("set", command));
        QTRY_COMPARE_WITH_TIMEOUT(commandsAt(*rig->device).value(0).left(5), QByteArray("IGS3;"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(lastState().value("antenna").toInt(), 4, 5000);

        // Home Assistant starting again gets the configs again.
        QVERIFY(discovery->publish("status", "online"));
        QTRY_COMPARE_WITH_TIMEOUT(discovery->on(selectConfig).size(), 2, 5000);

        // With band follow, the band shows as a sensor.
        owner->discovery()->setBandFollow(true);
        owner->bridge()->setBand(QStringLiteral("20m"));
        QTRY_COMPARE_WITH_TIMEOUT(configs().size(), 5, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(lastState().value("band").toString(), QString("20m"), 5000);
        checked = checkDiscovery("homeassistant", "tqx5r", configs(), {switchTopics->last("state")});
        QVERIFY2(checked.value("problems").toArray().isEmpty(), QJsonDocument(checked).toJson().constData());
        QCOMPARE(checked.value("rendered").toObject().value("tqx5r_band").toArray(), QJsonArray({"20m"}));

        // The owner's login reaches no other device's configs.
        BrokerSettings ownerUnderPrefix = TestAccounts::settings(*broker, "owner");
        ownerUnderPrefix.topic = QStringLiteral("homeassistant");
        BrokerWatcher ownerThere(ownerUnderPrefix);
        QTRY_VERIFY_WITH_TIMEOUT(ownerThere.isConnected(), 5000);
        QVERIFY(ownerThere.publish("switch/other/lamp/config", R"({"name":"Not mine"})", true));
        QTest::qWait(300);
        QVERIFY(discovery->on("switch/other/lamp/config").isEmpty());

        // A clean exit leaves the configs; the entities go unavailable.
        owner.reset();
        QTRY_COMPARE_WITH_TIMEOUT(switchTopics->last("online"), QByteArray("false"), 5000);
        BrokerSettings watching = TestAccounts::settings(*broker, "hass");
        watching.topic = QStringLiteral("homeassistant");
        BrokerWatcher later(watching);
        QTRY_COMPARE_WITH_TIMEOUT(later.on(selectConfig).size(), 1, 5000);
        QCOMPARE(later.last(selectConfig), discovery->last(selectConfig));
        QVERIFY(later.on(selectConfig).first().retained);
    }

private:
    static constexpr const char *selectConfig = "select/tqx5r/antenna/config";

    void startOwner(const QString &prefix)
    {
        BrokerSettings settings = TestAccounts::settings(*broker, "owner");
        settings.discovery = !prefix.isEmpty();
        settings.discoveryPrefix = prefix;
        owner = std::make_unique<RemoteFeature>(*rig->window, settings);
        rig->connect();
        QTRY_VERIFY_WITH_TIMEOUT(rig->panel.child<QRadioButton>("power")->isChecked(), 5000);
    }

    // The latest non-empty config on each discovery topic of this switch.
    QMap<QString, QByteArray> configs() const
    {
        QMap<QString, QByteArray> latest;
        for (const char *leaf : {"select/tqx5r/antenna/config", "binary_sensor/tqx5r/send/config",
                                 "binary_sensor/tqx5r/power/config", "sensor/tqx5r/firmware/config",
                                 "sensor/tqx5r/band/config"}) {
            if (!discovery->last(leaf).isEmpty())
                latest.insert(QStringLiteral("homeassistant/") + leaf, discovery->last(leaf));
        }
        return latest;
    }

    QJsonObject lastState() const { return QJsonDocument::fromJson(switchTopics->last("state")).object(); }

    std::unique_ptr<LocalBroker> broker;
    std::unique_ptr<LinkedPanel> rig;
    std::unique_ptr<RemoteFeature> owner;
    std::unique_ptr<BrokerWatcher> discovery;
    std::unique_ptr<BrokerWatcher> switchTopics;
};

QTEST_MAIN(tst_Discovery)
#include "tst_discovery.moc"
