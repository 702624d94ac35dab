#include "sim/HeadlessBrowser.h"
#include "sim/LocalBroker.h"
#include "sim/VirtualSwitch.h"
#include "support/BrokerWatcher.h"

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
        broker = std::make_unique<LocalBroker>();
        TestAccounts::addTo(*broker);
        broker->enableWebSockets(QStringLiteral(TQX5R_WEB_DIR));
        QVERIFY2(broker->start(), qPrintable(broker->errorString()));
        device = std::make_unique<VirtualSwitch>();
        QVERIFY2(device->start(), qPrintable(device->errorString()));
        startOwner();
        watcher = std::make_unique<BrokerWatcher>(TestAccounts::settings(*broker, "owner"));
        QTRY_COMPARE_WITH_TIMEOUT(watcher->last("online"), QByteArray("true"), 10000);
        // Each test starts on a fresh page, signed out.
        QVERIFY2(browser->open(broker->webUrl()), qPrintable(browser->errorString()));
        browser->js("sessionStorage.clear()");
        QVERIFY(browser->open(broker->webUrl()));
        QVERIFY(browser->setSize(desktopWidth, desktopHeight));
    }

    void cleanup()
    {
        stopOwner();
        watcher.reset();
        device.reset();
        broker.reset();
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

        // The owner vanishes: its last will says so, and nothing shows as in use.
        ownerPanel->kill();
        ownerPanel->waitForFinished(5000);
        QTRY_VERIFY_WITH_TIMEOUT(page().value("status").toString().contains("offline"), 10000);
        QCOMPARE(pressedKeys(), QJsonArray());
        QCOMPARE(page().value("disabled").toArray().at(0).toBool(), true);
        // ... and comes back: the page shows the switch as it is now.
        moved.position = 4;
        device->setState(moved);
        startOwner();
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
        watcher = std::make_unique<BrokerWatcher>(TestAccounts::settings(*broker, "owner"));
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

    void startOwner()
    {
        ownerPanel = std::make_unique<QProcess>();
        startOwnerPanel(*ownerPanel, QStringLiteral(TQX5R_PANEL_PATH), device->devicePath(), *broker);
        QVERIFY(ownerPanel->waitForStarted(20000));
    }

    void stopOwner()
    {
        if (!ownerPanel)
            return;
        ownerPanel->terminate();
        if (!ownerPanel->waitForFinished(5000))
            ownerPanel->kill();
        ownerPanel.reset();
    }

    void signIn(const QString &user, const QString &password)
    {
        QVERIFY(browser->type("#user", user));
        QVERIFY(browser->type("#password", password));
        QVERIFY2(browser->click("#connect"), qPrintable(browser->errorString()));
    }

    // The page as a reader sees it.
    QJsonObject page()
    {
        return browser->js(R"(
            const keys = [...document.querySelectorAll('#antennas .key')];
            const pressed = keys.filter(k => k.getAttribute('aria-pressed') === 'true');
            const text = id => document.getElementById(id).textContent;
            const rotor = document.querySelector('.rotor.on');
            return {
              signedIn: !document.getElementById('panel').hidden,
              names: keys.map(k => k.getAttribute('aria-label')),
              pressed: pressed.map(k => Number(k.dataset.antenna)),
              looks: keys.map(k => k.classList[1]),
              disabled: keys.map(k => k.disabled),
              splitDisabled: document.getElementById('split').disabled,
              busy: keys.filter(k => k.closest('.antenna').classList.contains('is-busy')).map(k => Number(k.dataset.antenna)),
              inUseColour: pressed.length ? getComputedStyle(pressed[0]).backgroundColor : '',
              power: document.getElementById('power').classList.contains('on'),
              rotor: rotor ? Number(rotor.dataset.rotor) : 0,
              firmware: text('firmware'), status: text('status'), problem: text('problem'),
              signinMessage: text('signin-message'),
            };)").toObject();
    }

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
    std::unique_ptr<LocalBroker> broker;
    std::unique_ptr<VirtualSwitch> device;
    std::unique_ptr<QProcess> ownerPanel;
    std::unique_ptr<BrokerWatcher> watcher;
};

QTEST_MAIN(tst_WebPanel)
#include "tst_webpanel.moc"
