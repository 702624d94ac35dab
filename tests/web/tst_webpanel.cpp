#include "WebStation.h"

#include "sim/HeadlessBrowser.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <memory>

// The web page in Debian's headless Chromium, loaded from a real Mosquitto's
// WebSockets listener that serves build/web, against a tqx5r-panel --mqtt
// process that owns the virtual switch. What the page shows is read as a
// screen reader and the eye would: names, pressed states, texts, colours.
class tst_WebPanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        browser = std::make_unique<HeadlessBrowser>();
        QVERIFY2(browser->start(), qPrintable(browser->errorString()));
    }

    void init()
    {
        station = std::make_unique<WebStation>();
        QString error;
        QVERIFY2(station->start(&error), qPrintable(error));
        broker = &station->broker;
        device = &station->device;
        watcher = station->watcher.get();
        // Each test starts on a fresh page, signed out.
        QVERIFY2(browser->open(broker->webUrl()), qPrintable(browser->errorString()));
        browser->js("sessionStorage.clear()");
        QVERIFY(browser->open(broker->webUrl()));
        QVERIFY(browser->setSize(desktopWidth, desktopHeight));
    }

    void cleanup()
    {
        station.reset();
    }

    void operatorSeesAndWorksTheSwitch()
    {
        signIn("operator", TestAccounts::passwordOf("operator"));
        QTRY_COMPARE_WITH_TIMEOUT(pressedKeys(), QJsonArray({1}), 10000);
        QJsonObject shown = page();
        QCOMPARE(shown.value("names").toArray().first().toString(), QString("Antenna 1"));
        QCOMPARE(shown.value("names").toArray().last().toString(), QString("Antenna 8"));
        QCOMPARE(shown.value("inUseColour").toString(), QString("rgb(254, 237, 137)"));
        QCOMPARE(shown.value("firmware").toString(), QString("FW Revision: 1.12"));
        QVERIFY(shown.value("power").toBool());
        QCOMPARE(shown.value("rotor").toInt(), 1);
        // Nothing of the sign-in stays in the address.
        QVERIFY(!browser->js("return location.href").toString().contains("pw-"));

        // A click and a digit key reach the switch as its own keys would.
        QVERIFY(browser->click("#antennas .key[data-antenna='4']"));
        QTRY_COMPARE_WITH_TIMEOUT(commandsAt(*device).value(0).left(5), QByteArray("IGS3;"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(pressedKeys(), QJsonArray({4}), 5000);
        QVERIFY(browser->keys("6"));
        QTRY_COMPARE_WITH_TIMEOUT(commandsAt(*device).value(1).left(5), QByteArray("IGS5;"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(pressedKeys(), QJsonArray({6}), 5000);

        // The switch's own front panel: the page follows within a second.
        SwitchState moved = device->state();
        moved.position = 6;
        moved.busyMask = 0xFD;
        moved.superSplitMask = 0x11;
        device->setState(moved);
        QTRY_COMPARE_WITH_TIMEOUT(pressedKeys(), QJsonArray({7}), 1000);
        QTRY_COMPARE_WITH_TIMEOUT(page().value("busy").toArray(), QJsonArray({2}), 1000);
        QCOMPARE(page().value("looks").toArray().at(0).toString(), QString("mask"));
        QCOMPARE(page().value("looks").toArray().at(4).toString(), QString("mask"));
        takeScreenshots();

        // Whatever lands on the state topic, the page goes on and says what it can.
        QVERIFY(watcher->publish("state", "not json {", true));
        QTRY_COMPARE_WITH_TIMEOUT(page().value("status").toString(), QString("The switch's state could not be read."), 5000);
        QCOMPARE(pressedKeys(), QJsonArray());
        QVERIFY(watcher->publish("state", R"({"antenna":"7","busy":"2","captions":[1,"Loop"],"rotor":9,)"
                                          R"("power":true,"link":{"connected":true},"split":null,"extra":{}})", true));
        QTRY_COMPARE_WITH_TIMEOUT(page().value("names").toArray().at(1).toString(), QString("Antenna 2 Loop"), 5000);
        QCOMPARE(pressedKeys(), QJsonArray());
        QCOMPARE(page().value("busy").toArray(), QJsonArray());
        moved.position = 2;
        device->setState(moved);
        QTRY_COMPARE_WITH_TIMEOUT(pressedKeys(), QJsonArray({3}), 5000);

        // With antenna rules the owner says which antennas are for the band:
        // the page says so of the others and strikes their captions through,
        // and shows the owner's own warnings.
        QVERIFY(watcher->publish("state", R"({"link":{"connected":true,"port":"x"},"power":true,"antenna":3,)"
                                          R"("band":"160m","allowed":[true,true,true,true,true,false,true,true]})", true));
        QTRY_COMPARE_WITH_TIMEOUT(page().value("descriptions").toArray().at(5).toString(), QString("not for 160 m"), 5000);
        QCOMPARE(page().value("descriptions").toArray().at(2).toString(), QString("in use"));
        QCOMPARE(browser->js("return getComputedStyle(document.querySelector(\"#antennas .key[data-antenna='6'] "
                             ".caption\")).textDecorationLine").toString(),
                 QString("line-through"));
        QVERIFY(watcher->publish("error", R"({"warning":"Transmitting on Antenna 7 (Beve), which is receive only"})"));
        QTRY_VERIFY_WITH_TIMEOUT(page().value("problem").toString().contains("The switch's panel warns: "), 5000);

        // The owner vanishes: its last will says so, and nothing shows as in use.
        station->killOwner();
        QTRY_VERIFY_WITH_TIMEOUT(page().value("status").toString().contains("offline"), 10000);
        QCOMPARE(pressedKeys(), QJsonArray());
        QCOMPARE(page().value("disabled").toArray().at(0).toBool(), true);
        // ... and comes back: the page shows the switch as it is now.
        moved.position = 4;
        device->setState(moved);
        QVERIFY(station->startOwner());
        QTRY_COMPARE_WITH_TIMEOUT(pressedKeys(), QJsonArray({5}), 10000);
        QCOMPARE(page().value("disabled").toArray().at(0).toBool(), false);
    }

    // A wrong password is said and kept nowhere; the right one then works,
    // and a read-only user is refused and told so.
    void wrongPasswordThenReadOnlyUser()
    {
        signIn("viewer", "not the password");
        QTRY_COMPARE_WITH_TIMEOUT(page().value("signinMessage").toString(),
                                  QString("The broker refused the login: wrong user or password."), 10000);
        QVERIFY(!page().value("signedIn").toBool());
        QVERIFY(!browser->js("return location.href + JSON.stringify(sessionStorage)").toString().contains("not the password"));

        signIn("viewer", TestAccounts::passwordOf("viewer"));
        QTRY_COMPARE_WITH_TIMEOUT(pressedKeys(), QJsonArray({1}), 10000);
        QVERIFY(browser->click("#antennas .key[data-antenna='3']"));
        QTRY_VERIFY_WITH_TIMEOUT(page().value("problem").toString().contains("may not operate the switch"), 5000);
        QVERIFY2(page().value("problem").toString().contains("viewer"), qPrintable(page().value("problem").toString()));
        const QJsonObject shown = page();
        for (const QJsonValue &disabled : shown.value("disabled").toArray())
            QVERIFY(disabled.toBool());
        QVERIFY(shown.value("splitDisabled").toBool());
        // The state still shows, and the switch got nothing.
        QCOMPARE(pressedKeys(), QJsonArray({1}));
        QTest::qWait(300);
        QCOMPARE(commandsAt(*device), QList<QByteArray>());
    }

    // Another operator floods the switch with twenty commands a second
    // under their own name; this page's presses, under its user's name,
    // still reach the switch, and the flooder's refusals are not shown here.
    void anotherOperatorsFloodLeavesThisPageWorking()
    {
        signIn("operator2", TestAccounts::passwordOf("operator2"));
        QTRY_COMPARE_WITH_TIMEOUT(pressedKeys(), QJsonArray({1}), 10000);
        BrokerWatcher flooder(TestAccounts::settings(*broker, "operator"));
        QTRY_VERIFY_WITH_TIMEOUT(flooder.isConnected(), 5000);
        device->clearReceived();

        constexpr int perSecond = 20;
        constexpr int seconds = 4;
        QList<qint64> clickedNs;
        QElapsedTimer flood;
        flood.start();
        for (int sent = 0; sent < seconds * perSecond;) {
            if (flood.elapsed() < sent * 1000 / perSecond) {
                QTest::qWait(2);
                continue;
            }
            QVERIFY(flooder.publish("set/operator", sent % 2 ? R"({"antenna":8})" : R"({"antenna":7})"));
            ++sent;
            // Keys 2, 3 and 4 on the page, a second apart, mid-flood.
            if (sent % perSecond == 0 && sent < seconds * perSecond) {
                qint64 beforeNs = 0;
                QVERIFY(browser->click(QStringLiteral("#antennas .key[data-antenna='%1']").arg(1 + sent / perSecond),
                                       &beforeNs));
                clickedNs << beforeNs;
            }
        }
        QTest::qWait(1000);
        const QList<VirtualSwitch::ReceivedFrame> frames = device->receivedFrames();
        for (int i = 0; i < clickedNs.size(); ++i) {
            const QByteArray select = QStringLiteral("IGS%1;").arg(i + 1).toLatin1();
            QVERIFY2(std::any_of(frames.begin(), frames.end(), [&](const VirtualSwitch::ReceivedFrame &f) {
                         return f.bytes.startsWith(select) && f.firstByteNs > clickedNs[i]
                                && f.firstByteNs - clickedNs[i] < 1500000000LL;
                     }), select.constData());
        }
        QCOMPARE(page().value("problem").toString(), QString());
        // The flooder was refused, by name.
        QVERIFY(watcher->last("error").contains(R"("user":"operator")"));
    }

    void reconnectsAndNeverShowsAnOldStateAsCurrent()
    {
        signIn("operator", TestAccounts::passwordOf("operator"));
        QTRY_COMPARE_WITH_TIMEOUT(pressedKeys(), QJsonArray({1}), 10000);
        // Every antenna the page shows in use from now on, in order.
        browser->js("window.seen = []; new MutationObserver(() => {"
                    "  const k = document.querySelector('.key[aria-pressed=true]');"
                    "  window.seen.push(k ? Number(k.dataset.antenna) : 0);"
                    "}).observe(document.getElementById('antennas'), {subtree: true, attributes: true,"
                    "  attributeFilter: ['aria-pressed']});");

        broker->kill();
        QTRY_VERIFY_WITH_TIMEOUT(page().value("status").toString().contains("lost; reconnecting"), 5000);
        QCOMPARE(pressedKeys(), QJsonArray());
        QTRY_VERIFY_WITH_TIMEOUT(page().value("status").toString().contains("Cannot reach the broker"), 10000);

        // The tab sleeps, as a phone's does, while the switch moves and the
        // broker comes back empty.
        QVERIFY2(browser->devTools("Page.setWebLifecycleState", {{"state", "frozen"}}), qPrintable(browser->errorString()));
        SwitchState moved = device->state();
        moved.position = 5;
        device->setState(moved);
        QVERIFY2(broker->start(), qPrintable(broker->errorString()));
        station->watcher = std::make_unique<BrokerWatcher>(TestAccounts::settings(*broker, "owner"));
        watcher = station->watcher.get();
        QTRY_COMPARE_WITH_TIMEOUT(QJsonDocument::fromJson(watcher->last("state")).object().value("antenna").toInt(), 6, 10000);
        QVERIFY(browser->devTools("Page.setWebLifecycleState", {{"state", "active"}}));

        QTRY_COMPARE_WITH_TIMEOUT(pressedKeys(), QJsonArray({6}), 20000);
        const QJsonArray seen = browser->js("return window.seen").toArray();
        // Antenna 1 went out of use with the broker and never came back.
        QVERIFY2(!seen.contains(1) && seen.contains(0), QJsonDocument(seen).toJson().constData());
    }

private:
    static constexpr int desktopWidth = 800;
    static constexpr int desktopHeight = 360;
    static constexpr int phoneWidth = 360;
    static constexpr int phoneHeight = 640;

    void signIn(const QString &user, const QString &password)
    {
        QVERIFY2(PageReader::signIn(*browser, user, password), qPrintable(browser->errorString()));
    }

    QJsonObject page() { return PageReader::read(*browser); }
    QJsonArray pressedKeys() { return page().value("pressed").toArray(); }

    // Pictures for the README, phone and desktop, when asked for.
    void takeScreenshots()
    {
        const QString folder = qEnvironmentVariable("TQX5R_WEB_SCREENSHOTS");
        if (folder.isEmpty())
            return;
        QDir().mkpath(folder);
        // The pointer off the keys, so none shows its hover edge.
        QVERIFY(browser->click("h1"));
        QVERIFY(browser->setSize(phoneWidth, phoneHeight));
        QVERIFY(browser->screenshot(folder + "/web-phone.png"));
        QVERIFY(browser->setSize(desktopWidth, desktopHeight));
        QVERIFY(browser->screenshot(folder + "/web-desktop.png"));
    }

    std::unique_ptr<HeadlessBrowser> browser;
    std::unique_ptr<WebStation> station;
    LocalBroker *broker = nullptr;
    VirtualSwitch *device = nullptr;
    BrokerWatcher *watcher = nullptr;
};

QTEST_MAIN(tst_WebPanel)
#include "tst_webpanel.moc"
