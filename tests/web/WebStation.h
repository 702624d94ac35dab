#pragma once

#include "sim/LocalBroker.h"
#include "sim/VirtualSwitch.h"
#include "support/BrokerWatcher.h"

#include <QJsonObject>
#include <QProcess>
#include <QString>

#include <memory>

class HeadlessBrowser;
class TestCertificates;

// What the web page's tests run against: a private Mosquitto with the test
// accounts and a WebSockets listener, the virtual switch, a tqx5r-panel
// process that owns it and publishes as "owner", and a watcher on the
// broker as the owner. Without certificates the listener serves build/web
// itself; with them it speaks TLS to a web server in front.
class WebStation
{
public:
    explicit WebStation(const TestCertificates *certificates = nullptr);
    ~WebStation();

    // Everything up, the owner online; false and the reason otherwise.
    bool start(QString *error);
    bool startOwner();
    void stopOwner();
    void killOwner();

    LocalBroker broker;
    VirtualSwitch device;
    std::unique_ptr<QProcess> owner;
    std::unique_ptr<BrokerWatcher> watcher;
};

// The page as its tests drive and read it.
namespace PageReader {

bool signIn(HeadlessBrowser &browser, const QString &user, const QString &password);
// What a reader and the eye get from the page: names, pressed states, looks,
// descriptions, texts.
QJsonObject read(HeadlessBrowser &browser);

} // namespace PageReader
