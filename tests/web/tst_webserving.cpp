#include "WebStation.h"

#include "sim/HeadlessBrowser.h"
#include "sim/LocalWebServer.h"
#include "sim/TestCertificates.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// How the page is served, in Debian's headless Chromium: over HTTPS by nginx
// from the site file the package ships, with the test's own CA installed in
// the browser as a station's users install theirs, and by the broker itself
// on a LAN. Either way it keeps to its own scripts and its own server, and
// another site cannot hold it in a frame.
class tst_WebServing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(certificates.make(), qPrintable(certificates.errorString()));
        browser = std::make_unique<HeadlessBrowser>();
        QVERIFY2(browser->start(certificates.caFile()), qPrintable(browser->errorString()));
    }

    void cleanup()
    {
        webServer.reset();
        station.reset();
    }

    // The TLS route the README gives: the page over HTTP/2 with its headers,
    // MQTT over WebSockets through the same server, a sign-in and a key that
    // moves the switch.
    void httpsThroughNginxSignsInAndMovesTheSwitch()
    {
        startBehindNginx();
        QVERIFY2(browser->open(webServer->url()), qPrintable(browser->errorString()));
        QCOMPARE(browser->js("return document.title").toString(), QString("TQX-5R"));
        QCOMPARE(browser->js("return performance.getEntriesByType('navigation')[0].nextHopProtocol").toString(),
                 QString("h2"));
        const QJsonObject headers = browser->async(R"(
            const done = arguments[arguments.length - 1];
            fetch(location.href).then(r => done(Object.fromEntries(['content-security-policy', 'x-frame-options',
              'x-content-type-options', 'content-type'].map(h => [h, r.headers.get(h)])))))", 10000).toObject();
        const QString policy = headers.value("content-security-policy").toString();
        for (const char *part : {"script-src 'self'", "connect-src 'self'", "worker-src blob:", "frame-ancestors 'self'"})
            QVERIFY2(policy.contains(part), qPrintable(policy));
        QVERIFY(!policy.contains("unsafe"));
        QCOMPARE(headers.value("x-frame-options").toString(), QString("SAMEORIGIN"));
        QCOMPARE(headers.value("x-content-type-options").toString(), QString("nosniff"));

        QVERIFY(PageReader::signIn(*browser, "operator2", TestAccounts::passwordOf("operator2")));
        QTRY_COMPARE_WITH_TIMEOUT(pressed(), QJsonArray({1}), 15000);
        QVERIFY(browser->js("return location.protocol").toString() == "https:");
        QVERIFY(browser->click("#antennas .key[data-antenna='5']"));
        QTRY_COMPARE_WITH_TIMEOUT(commandsAt(station->device).value(0).left(5), QByteArray("IGS4;"), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(pressed(), QJsonArray({5}), 5000);
        QCOMPARE(station->watcher->on("set/operator2").size(), 1);
        // Nothing the page does runs against its own policy.
        const QStringList console = browser->consoleLog();
        QVERIFY2(console.filter("Content Security Policy").isEmpty(), qPrintable(console.join('\n')));
    }

    // Another site's page holding this one in a frame gets nothing to click:
    // the server's header stops the frame, and where the broker serves the
    // page without headers, the page itself refuses.
    void anotherSiteCannotFrameThePage_data()
    {
        QTest::addColumn<bool>("behindNginx");
        QTest::newRow("nginx over https") << true;
        QTest::newRow("the broker serving the page") << false;
    }
    void anotherSiteCannotFrameThePage()
    {
        QFETCH(bool, behindNginx);
        QString url;
        if (behindNginx) {
            startBehindNginx();
            url = webServer->url();
        } else {
            startServedByBroker();
            url = station->broker.webUrl();
        }
        // Signed in on the site itself, so the frame could sign in again from
        // the tab's session if the page let it.
        QVERIFY(browser->open(url));
        QVERIFY(PageReader::signIn(*browser, "operator", TestAccounts::passwordOf("operator")));
        QTRY_COMPARE_WITH_TIMEOUT(pressed(), QJsonArray({1}), 15000);

        // The other site: another origin on this machine, served by a
        // broker of its own.
        QTemporaryDir site;
        QFile framing(site.filePath("frame.html"));
        QVERIFY(framing.open(QIODevice::WriteOnly));
        framing.write("<!doctype html><title>Elsewhere</title><iframe src='" + url.toUtf8()
                      + "' width=900 height=600></iframe>");
        framing.close();
        LocalBroker elsewhere;
        elsewhere.enableWebSockets(site.path());
        QVERIFY2(elsewhere.start(), qPrintable(elsewhere.errorString()));
        QVERIFY(browser->open(elsewhere.webUrl() + "frame.html"));
        QTest::qWait(1500);
        const QJsonObject framed = browser->frameJs(R"(
            const shown = id => { const e = document.getElementById(id); return !!e && !e.hidden; };
            return { url: document.URL, form: shown('signin'), panel: shown('panel'),
                     keys: document.querySelectorAll('.key').length, message: shown('framed') };)").toObject();
        // Blocked by the header, the frame holds the browser's error page.
        QCOMPARE(framed.value("url").toString(), behindNginx ? QString("chrome-error://chromewebdata/") : url);
        QCOMPARE(framed.value("form").toBool(), false);
        QCOMPARE(framed.value("panel").toBool(), false);
        QCOMPARE(framed.value("keys").toInt(), 0);
        // Said on the page where it loaded at all.
        QCOMPARE(framed.value("message").toBool(), !behindNginx);
        QCOMPARE(commandsAt(station->device), QList<QByteArray>());
    }

    // Served by the broker, the page's own policy holds: no inline script
    // runs, and a broker typed in that lies elsewhere is refused by the
    // browser, which the page says rather than retrying for ever.
    void thePagesOwnPolicyHolds()
    {
        startServedByBroker();
        QVERIFY(browser->open(station->broker.webUrl()));
        browser->js("document.body.insertAdjacentHTML('beforeend', '<img src=\"data:,\" onerror=\"window.ran = 1\" "
                    "onload=\"window.ran = 1\">')");
        QTest::qWait(200);
        QVERIFY(browser->js("return window.ran === undefined").toBool());

        LocalBroker elsewhere;
        elsewhere.enableWebSockets();
        QVERIFY2(elsewhere.start(), qPrintable(elsewhere.errorString()));
        QVERIFY(browser->js("document.getElementById('more').open = true; return true").toBool());
        QVERIFY(browser->type("#broker", QStringLiteral("ws://127.0.0.1:%1/").arg(elsewhere.webSocketsPort())));
        QVERIFY(PageReader::signIn(*browser, "operator", TestAccounts::passwordOf("operator")));
        QTRY_VERIFY_WITH_TIMEOUT(PageReader::read(*browser).value("signinMessage").toString().contains(
                                     "may connect only to the server it came from"), 10000);
        QVERIFY(!PageReader::read(*browser).value("signedIn").toBool());
    }

private:
    void startServedByBroker()
    {
        station = std::make_unique<WebStation>();
        QString error;
        QVERIFY2(station->start(&error), qPrintable(error));
        freshPage(station->broker.webUrl());
    }

    void startBehindNginx()
    {
        station = std::make_unique<WebStation>(&certificates);
        QString error;
        QVERIFY2(station->start(&error), qPrintable(error));
        webServer = std::make_unique<LocalWebServer>(QStringLiteral(TQX5R_WEB_DIR), certificates);
        webServer->passWebSocketsTo(station->broker.webSocketsPort());
        QVERIFY2(webServer->start(), qPrintable(webServer->errorString()));
        freshPage(webServer->url());
    }

    // Signed out, with nothing kept from an earlier test.
    void freshPage(const QString &url)
    {
        QVERIFY2(browser->open(url), qPrintable(browser->errorString()));
        browser->js("sessionStorage.clear()");
        browser->consoleLog();
    }

    QJsonArray pressed() { return PageReader::read(*browser).value("pressed").toArray(); }

    TestCertificates certificates;
    std::unique_ptr<HeadlessBrowser> browser;
    std::unique_ptr<WebStation> station;
    std::unique_ptr<LocalWebServer> webServer;
};

QTEST_MAIN(tst_WebServing)
#include "tst_webserving.moc"
