#include "WebStation.h"

#include "sim/HeadlessBrowser.h"

#include <QElapsedTimer>
#include <QTest>

namespace {
constexpr int startTimeoutMs = 20000;
}

WebStation::WebStation(const TestCertificates *certificates)
{
    TestAccounts::addTo(broker);
    broker.enableWebSockets(certificates ? QString() : QStringLiteral(TQX5R_WEB_DIR), certificates);
}

WebStation::~WebStation()
{
    stopOwner();
}

bool WebStation::start(QString *error)
{
    if (!broker.start()) {
        *error = broker.errorString();
        return false;
    }
    if (!device.start()) {
        *error = device.errorString();
        return false;
    }
    if (!startOwner()) {
        *error = QStringLiteral("the owning panel did not start");
        return false;
    }
    watcher = std::make_unique<BrokerWatcher>(TestAccounts::settings(broker, QStringLiteral("owner")));
    QElapsedTimer clock;
    clock.start();
    while (watcher->last("online") != "true") {
        if (clock.elapsed() > startTimeoutMs) {
            *error = QStringLiteral("the owning panel never came online");
            return false;
        }
        QTest::qWait(20);
    }
    return true;
}

bool WebStation::startOwner()
{
    owner = std::make_unique<QProcess>();
    startOwnerPanel(*owner, QStringLiteral(TQX5R_PANEL_PATH), device.devicePath(), broker);
    return owner->waitForStarted(startTimeoutMs);
}

void WebStation::stopOwner()
{
    if (!owner)
        return;
    owner->terminate();
    if (!owner->waitForFinished(5000))
        owner->kill();
    owner->waitForFinished(5000);
    owner.reset();
}

void WebStation::killOwner()
{
    if (!owner)
        return;
    owner->kill();
    owner->waitForFinished(5000);
}

namespace PageReader {

bool signIn(HeadlessBrowser &browser, const QString &user, const QString &password)
{
    return browser.type(QStringLiteral("#user"), user) && browser.type(QStringLiteral("#password"), password)
           && browser.click(QStringLiteral("#connect"));
}

QJsonObject read(HeadlessBrowser &browser)
{
    return browser.js(QStringLiteral(R"(
        const keys = [...document.querySelectorAll('#antennas .key')];
        const pressed = keys.filter(k => k.getAttribute('aria-pressed') === 'true');
        const text = id => document.getElementById(id).textContent;
        const described = k => document.getElementById(k.getAttribute('aria-describedby')).textContent;
        const rotor = document.querySelector('.rotor.on');
        return {
          signedIn: !document.getElementById('panel').hidden,
          names: keys.map(k => k.getAttribute('aria-label')),
          captions: keys.map(k => k.textContent),
          descriptions: keys.map(described),
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
        };)")).toObject();
}

} // namespace PageReader
