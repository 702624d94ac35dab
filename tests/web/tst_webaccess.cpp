#include "WebStation.h"

#include "sim/HeadlessBrowser.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

#include <memory>

// The web page for everyone, in Debian's headless Chromium against a real
// broker and owning panel: axe-core checks every view at a phone's and a
// desktop's width, keys say in words what their colours say, text stands out
// from keys, buttons and fields, live texts speak only when they change,
// captions stay while the broker is away, and no text widens the page.
class tst_WebAccess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QFile axe(QStringLiteral(TQX5R_AXE_SCRIPT));
        QVERIFY2(axe.open(QIODevice::ReadOnly), qPrintable(axe.fileName()));
        axeSource = QString::fromUtf8(axe.readAll());
        browser = std::make_unique<HeadlessBrowser>();
        QVERIFY2(browser->start(), qPrintable(browser->errorString()));
    }

    void init()
    {
        station = std::make_unique<WebStation>();
        QString error;
        QVERIFY2(station->start(&error), qPrintable(error));
        QVERIFY2(browser->open(station->broker.webUrl()), qPrintable(browser->errorString()));
        browser->js("sessionStorage.clear()");
        QVERIFY(browser->open(station->broker.webUrl()));
        QVERIFY(browser->setSize(desktopWidth, height));
    }

    void cleanup()
    {
        station.reset();
    }

    // Sign-in, signed in, choosing split, choosing super split, refused and
    // offline, each at 360 and 1280 px: no violation, and every key, button
    // and field with text at 4.5:1 or better against each colour of its
    // background (axe leaves gradients for a person to judge).
    void everyViewPassesAxeAtBothWidths()
    {
        QStringList findings;
        check("sign-in", findings);

        // A switch with something to say on every key.
        SwitchState shown = station->device.state();
        shown.busyMask = 0xBF; // antenna 7 busy
        shown.superSplitMask = 0x06;
        station->device.setState(shown);
        QVERIFY(PageReader::signIn(*browser, "operator", TestAccounts::passwordOf("operator")));
        QTRY_COMPARE_WITH_TIMEOUT(read().value("descriptions").toArray().at(6).toString(), QString("busy"), 10000);
        QCOMPARE(read().value("descriptions").toArray().at(1).toString(), QString("in super split group"));
        QCOMPARE(read().value("descriptions").toArray().at(0).toString(), QString("in use"));
        check("signed in", findings);

        QVERIFY(browser->click("#split"));
        QTRY_COMPARE_WITH_TIMEOUT(read().value("status").toString(), QString("Choose the TX position:"), 5000);
        check("choosing split", findings);
        QVERIFY(browser->click("#antennas .key[data-antenna='4']"));
        QTRY_COMPARE_WITH_TIMEOUT(read().value("descriptions").toArray().at(3).toString(), QString("TX antenna"), 5000);

        QVERIFY(browser->click("#super-split"));
        QVERIFY(browser->click("#antennas .key[data-antenna='5']"));
        QTRY_COMPARE_WITH_TIMEOUT(read().value("descriptions").toArray().at(4).toString(),
                                  QString("chosen for super split"), 5000);
        check("choosing super split", findings);
        QVERIFY(browser->click("#super-split"));

        QVERIFY(browser->click("#signout"));
        QVERIFY(PageReader::signIn(*browser, "viewer", TestAccounts::passwordOf("viewer")));
        QTRY_VERIFY_WITH_TIMEOUT(!read().value("disabled").toArray().at(2).toBool(), 10000);
        QVERIFY(browser->click("#antennas .key[data-antenna='3']"));
        QTRY_VERIFY_WITH_TIMEOUT(read().value("problem").toString().contains("may not operate the switch"), 5000);
        check("refused", findings);

        station->killOwner();
        QTRY_VERIFY_WITH_TIMEOUT(read().value("status").toString().contains("offline"), 10000);
        check("offline", findings);

        QVERIFY2(findings.isEmpty(), qPrintable(findings.join('\n')));
    }

    // The status region is written only when its words change: the same
    // state and online flag again and again say nothing new.
    void liveTextsSpeakOnlyWhenTheyChange()
    {
        QVERIFY(PageReader::signIn(*browser, "operator", TestAccounts::passwordOf("operator")));
        QTRY_COMPARE_WITH_TIMEOUT(read().value("pressed").toArray(), QJsonArray({1}), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(read().value("status").toString(), QString("Antenna 1 in use"), 5000);
        browser->js("window.rewrites = 0; const count = () => window.rewrites++;"
                    "for (const id of ['status', 'problem', 'firmware'])"
                    "  new MutationObserver(count).observe(document.getElementById(id),"
                    "    {childList: true, characterData: true, subtree: true});");
        const QByteArray state = station->watcher->last("state");
        for (int i = 0; i < 6; ++i) {
            QVERIFY(station->watcher->publish("state", state, true));
            QVERIFY(station->watcher->publish("online", "true", true));
        }
        QTRY_COMPARE_WITH_TIMEOUT(station->watcher->on("state").size() >= 7, true, 5000);
        QTest::qWait(500);
        QCOMPARE(browser->js("return window.rewrites").toInt(), 0);
        // A change is still said.
        SwitchState moved = station->device.state();
        moved.position = 2;
        station->device.setState(moved);
        QTRY_COMPARE_WITH_TIMEOUT(read().value("status").toString(), QString("Antenna 3 in use"), 5000);
        QCOMPARE(browser->js("return window.rewrites").toInt(), 1);
    }

    // Captions are names, not state: they stay on the keys while the owner
    // is offline and while the broker is away.
    void captionsStayWhenTheSwitchIsAway()
    {
        QVERIFY(PageReader::signIn(*browser, "operator", TestAccounts::passwordOf("operator")));
        QTRY_COMPARE_WITH_TIMEOUT(read().value("pressed").toArray(), QJsonArray({1}), 10000);
        QJsonObject state = QJsonDocument::fromJson(station->watcher->last("state")).object();
        state.insert("captions", QJsonArray({"Yagi", "", "Loop", "", "", "", "", "Dipo"}));
        QVERIFY(station->watcher->publish("state", QJsonDocument(state).toJson(QJsonDocument::Compact), true));
        const QJsonArray captions({"Yagi", "", "Loop", "", "", "", "", "Dipo"});
        QTRY_COMPARE_WITH_TIMEOUT(read().value("captions").toArray(), captions, 5000);

        station->killOwner();
        QTRY_VERIFY_WITH_TIMEOUT(read().value("status").toString().contains("offline"), 10000);
        QCOMPARE(read().value("captions").toArray(), captions);
        QCOMPARE(read().value("names").toArray().at(2).toString(), QString("Antenna 3 Loop"));
        station->broker.kill();
        QTRY_VERIFY_WITH_TIMEOUT(read().value("status").toString().contains("lost; reconnecting"), 5000);
        QCOMPARE(read().value("captions").toArray(), captions);
    }

    // A 5 kB error and a 2000-character topic wrap rather than widen the
    // page; a right-to-left override in a topic or caption ends with it.
    void longTextsWrapAndDirectionMarksStayInside()
    {
        QVERIFY(PageReader::signIn(*browser, "operator", TestAccounts::passwordOf("operator")));
        QTRY_COMPARE_WITH_TIMEOUT(read().value("pressed").toArray(), QJsonArray({1}), 10000);
        QVERIFY(browser->click("#antennas .key[data-antenna='4']"));
        QTRY_COMPARE_WITH_TIMEOUT(read().value("pressed").toArray(), QJsonArray({4}), 5000);
        const QJsonObject report{{"error", QString(5000, 'E')}, {"command", R"({"antenna":4})"}, {"user", "operator"}};
        QVERIFY(station->watcher->publish("error", QJsonDocument(report).toJson(QJsonDocument::Compact)));
        QTRY_VERIFY_WITH_TIMEOUT(read().value("problem").toString().contains("EEEE"), 5000);
        QJsonObject caption = QJsonDocument::fromJson(station->watcher->last("state")).object();
        caption.insert("captions", QJsonArray({QString::fromUtf8("\u202Eab"), "cd", "", "", "", "", "", ""}));
        QVERIFY(station->watcher->publish("state", QJsonDocument(caption).toJson(QJsonDocument::Compact), true));
        QTRY_COMPARE_WITH_TIMEOUT(read().value("captions").toArray().at(1).toString(), QString("cd"), 5000);
        for (int width : {phoneWidth, desktopWidth}) {
            QVERIFY(browser->setSize(width, height));
            QVERIFY2(!widened(), qPrintable(QStringLiteral("error at %1 px").arg(width)));
        }
        // The override reverses the caption on its key only: the next key
        // and the labels read as ever.
        QCOMPARE(browser->js("return [...document.querySelectorAll('.key')].slice(0, 2).every(k => {"
                             "  const r = document.createRange(); r.selectNodeContents(k);"
                             "  const t = r.getBoundingClientRect(), b = k.getBoundingClientRect();"
                             "  return t.left >= b.left && t.right <= b.right; })").toBool(), true);

        // A topic with an override (and an isolate's end mark, which cannot
        // let it out early): " on HOST" after it still reads left to right.
        signInUnder(QString::fromUtf8("\u2069\u202Eqx"));
        QVERIFY(browser->js(R"(
            const where = document.getElementById('where').firstChild;
            const at = (from, to) => { const r = document.createRange(); r.setStart(where, from); r.setEnd(where, to);
                                       return r.getBoundingClientRect(); };
            const text = where.textContent, on = text.indexOf(' on '), topic = text.indexOf('qx');
            return at(on + 1, on + 3).left > at(topic, topic + 2).right;)").toBool());

        signInUnder(QString(2000, 'T'));
        QTRY_VERIFY_WITH_TIMEOUT(read().value("status").toString().contains("No panel publishes"), 10000);
        for (int width : {phoneWidth, desktopWidth}) {
            QVERIFY(browser->setSize(width, height));
            QVERIFY2(!widened(), qPrintable(QStringLiteral("topic at %1 px").arg(width)));
        }
    }

private:
    static constexpr int phoneWidth = 360;
    static constexpr int desktopWidth = 1280;
    static constexpr int height = 800;

    QJsonObject read() { return PageReader::read(*browser); }

    void signInUnder(const QString &topic)
    {
        QVERIFY(browser->click("#signout"));
        QVERIFY(browser->js("document.getElementById('more').open = true; return true").toBool());
        QVERIFY(browser->type("#topic", topic));
        QVERIFY(PageReader::signIn(*browser, "operator", TestAccounts::passwordOf("operator")));
        QTRY_VERIFY_WITH_TIMEOUT(read().value("signedIn").toBool(), 5000);
        QVERIFY(browser->setSize(desktopWidth, height));
    }

    bool widened()
    {
        return browser->js("return document.documentElement.scrollWidth > window.innerWidth").toBool();
    }

    // axe-core and the contrast of text on keys, buttons and fields, at both
    // widths; what they find goes to findings, a summary to the log.
    void check(const char *view, QStringList &findings)
    {
        if (!browser->js("return typeof axe === 'object'").toBool())
            browser->js(axeSource + "; return true");
        for (int width : {phoneWidth, desktopWidth}) {
            QVERIFY(browser->setSize(width, height));
            const QJsonObject result = browser->async(R"(
                const done = arguments[arguments.length - 1];
                axe.run(document).then(r => done({
                  passes: r.passes.length, incomplete: r.incomplete.map(i => i.id),
                  violations: r.violations.map(v => v.id + ' (' + v.impact + '): '
                    + v.nodes.map(n => n.target.join(' ') + ' ' + n.failureSummary).join('; '))
                })).catch(e => done({violations: ['axe failed: ' + e]}));)", 60000).toObject();
            const QJsonArray violations = result.value("violations").toArray();
            for (const QJsonValue &v : violations)
                findings << QStringLiteral("%1 at %2 px: %3").arg(QLatin1String(view)).arg(width).arg(v.toString());
            for (const QJsonValue &low : lowContrast())
                findings << QStringLiteral("%1 at %2 px: contrast %3").arg(QLatin1String(view)).arg(width).arg(low.toString());
            QStringList review;
            for (const QJsonValue &id : result.value("incomplete").toArray())
                review << id.toString();
            qInfo("axe %s, %s at %d px: %lld violations, %d rules passed, to review by eye: %s",
                  AXE_VERSION, view, width, static_cast<long long>(violations.size()), result.value("passes").toInt(),
                  review.isEmpty() ? "none" : qPrintable(review.join(", ")));
        }
    }

    // Keys, buttons and fields showing text (or a field its placeholder) at
    // less than 4.5:1 against any colour of their background (the first
    // layer: a partner's orange edge lies under its border only).
    QJsonArray lowContrast()
    {
        return browser->js(R"(
            const colours = text => (text.match(/rgba?\([^)]*\)/g) || []).map(c => c.match(/[\d.]+/g).map(Number));
            const channel = v => { v /= 255; return v <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4; };
            const luminance = ([r, g, b]) => 0.2126 * channel(r) + 0.7152 * channel(g) + 0.0722 * channel(b);
            const ratio = (a, b) => { const [hi, lo] = [luminance(a), luminance(b)].sort((x, y) => y - x);
                                      return (hi + 0.05) / (lo + 0.05); };
            const backgrounds = element => {
              for (let e = element; e; e = e.parentElement) {
                const style = getComputedStyle(e);
                const layer = colours(style.backgroundImage.split(/,\s*(?=(?:linear|radial)-gradient)/)[0]);
                if (layer.length) return layer;
                const plain = colours(style.backgroundColor)[0];
                if (plain && (plain.length < 4 || plain[3] > 0)) return [plain];
              }
              return [[255, 255, 255]];
            };
            const low = [];
            for (const e of document.querySelectorAll('button, input, summary')) {
              if (e.disabled || !e.getClientRects().length) continue;
              if (e.tagName !== 'INPUT' && !e.textContent.trim()) continue;
              const texts = [getComputedStyle(e).color];
              if (e.placeholder) texts.push(getComputedStyle(e, '::placeholder').color);
              for (const text of texts) {
                const worst = Math.min(...backgrounds(e).map(b => ratio(colours(text)[0], b)));
                if (worst < 4.5) low.push((e.id || e.className) + ' ' + worst.toFixed(2) + ':1');
              }
            }
            return low;)").toArray();
    }

    QString axeSource;
    std::unique_ptr<HeadlessBrowser> browser;
    std::unique_ptr<WebStation> station;
};

QTEST_MAIN(tst_WebAccess)
#include "tst_webaccess.moc"
