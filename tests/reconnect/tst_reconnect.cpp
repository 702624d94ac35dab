#include "link/Transmitter.h"
#include "panel/KeyPainting.h"
#include "reconnect/ReconnectDriver.h"
#include "settings/SettingsDialog.h"
#include "sim/StableLink.h"
#include "support/LinkedPanel.h"
#include "support/ModalDismisser.h"

#include <QAction>
#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <sys/resource.h>

// The real window and poll thread with reconnect on, and the virtual switch
// behind a stable link name that goes when the device goes and comes back
// with it, as a /dev/serial/by-id/ name does for a USB adapter.
namespace {

// Short enough that many tries happen in a second.
const ReconnectTiming quickTiming{100, 300, 10000};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

SerialPortEntry usbPort(const QString &path, const QString &serialNumber)
{
    SerialPortEntry port;
    port.name = port.systemLocation = path;
    port.serialNumber = serialNumber;
    port.hasVendorId = port.hasProductId = true;
    port.vendorId = 0x0403;
    port.productId = 0x6001;
    return port;
}

} // namespace

class tst_Reconnect : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void switchComesBackOnTheSameLink();
    void operatorStaysInCharge();
    void changedSettingsAreWhatIsRetried();
    void sameAdapterUnderANewName();
    void calmOnBadInput_data();
    void calmOnBadInput();
    void errorFloodWhileClosingIsOneLoss_data();
    void errorFloodWhileClosingIsOneLoss();
    void panelLogsLossAndReconnectOnStderr();

private:
    template<typename T> T *child(const char *name) const { return rig->panel.child<T>(name); }
    ReconnectDriver *enableReconnect(const ReconnectTiming &timing = ReconnectTiming());
    void connectTo(const QString &port);
    void vanish();
    void comeBack(StableLink *at = nullptr);
    QString statusText() const { return rig->panel.statusText(); }
    QString lossText() const { return QString("Connection to %1 lost; reconnecting…").arg(link->path()); }
    bool connected() const { return statusText().startsWith("Connected to"); }

    QTemporaryDir dir;
    std::unique_ptr<LinkedPanel> rig;
    std::unique_ptr<StableLink> link;
    VirtualSwitch *device = nullptr;
    QStringList logLines;
};

void tst_Reconnect::init()
{
    logLines.clear();
    rig = std::make_unique<LinkedPanel>();
    device = rig->device.get();
    link = std::make_unique<StableLink>(dir.filePath("tqx5r"));
    QVERIFY(link->pointAt(device->devicePath()));
}

void tst_Reconnect::cleanup()
{
    rig.reset();
    link.reset();
}

ReconnectDriver *tst_Reconnect::enableReconnect(const ReconnectTiming &timing)
{
    auto *driver = new ReconnectDriver(rig->window.get(), timing);
    driver->setLog([this](const QString &line) { logLines << line; });
    return driver;
}

void tst_Reconnect::connectTo(const QString &port)
{
    rig->panel.connectTo(port);
    QVERIFY(connected());
    QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);
}

// Unplugged: the device and its stable name go.
void tst_Reconnect::vanish()
{
    device->vanish();
    link->remove();
}

void tst_Reconnect::comeBack(StableLink *at)
{
    device->clearReceived();
    QVERIFY(device->start());
    QVERIFY((at ? at : link.get())->pointAt(device->devicePath()));
}

void tst_Reconnect::switchComesBackOnTheSameLink()
{
    ReconnectDriver *driver = enableReconnect();
    connectTo(link->path());
    ModalDismisser dismisser;
    vanish();
    QTRY_COMPARE_WITH_TIMEOUT(statusText(), lossText(), 5000);
    QCOMPARE(logLines, QStringList{lossText()});
    QVERIFY(!child<QRadioButton>("power")->isChecked());
    QVERIFY(child<QAction>("actionConnect_to_TQX_5R")->isEnabled());

    // The switch moved on while it was away.
    SwitchState moved = device->state();
    moved.position = 5;
    device->setState(moved);
    comeBack();
    QTRY_VERIFY_WITH_TIMEOUT(connected(), 6000);
    QCOMPARE(statusText(), QString("Connected to %1 : 9600, 8, None, 1, None").arg(link->path()));
    QCOMPARE(logLines, (QStringList{lossText(), statusText()}));
    QVERIFY(!child<QAction>("actionConnect_to_TQX_5R")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!device->receivedFrames().isEmpty(), 5000);
    QCOMPARE(device->receivedFrames().first().bytes, QByteArray("IGW;"));
    QTRY_COMPARE_WITH_TIMEOUT(child<QPushButton>("botaoTecla6")->styleSheet(), KeyPainting::activeKeyStyle, 5000);
    QVERIFY(child<QRadioButton>("power")->isChecked());
    QCOMPARE(dismisser.count(), 0);
    QCOMPARE(driver->losses(), 1);
    QCOMPARE(driver->reconnects(), 1);
}

void tst_Reconnect::operatorStaysInCharge()
{
    ReconnectDriver *driver = enableReconnect(quickTiming);
    connectTo(link->path());
    ModalDismisser dismisser;
    vanish();
    QTRY_VERIFY_WITH_TIMEOUT(driver->isRetrying(), 5000);

    // No busy waiting between tries: a spin would take the whole two
    // seconds. (Tries here come every 300 ms; the bench measures the real
    // pace.)
    const double before = cpuSeconds();
    QTest::qWait(2000);
    const double used = cpuSeconds() - before;
    QVERIFY2(used < 1.0, qPrintable(QString("%1 s of CPU in 2 s").arg(used)));
    QVERIFY2(driver->tries() >= 5, qPrintable(QString::number(driver->tries())));

    // A connect of the operator's own that fails shows the usual box; the
    // tries go on.
    child<QAction>("actionConnect_to_TQX_5R")->trigger();
    QCOMPARE(dismisser.titles(), QStringList{"Error"});
    QCOMPARE(statusText(), QString("Open error"));
    QTRY_COMPARE_WITH_TIMEOUT(statusText(), lossText(), 2000);

    // Disconnect stops them, even once the switch is back.
    child<QAction>("actionDisconnect")->trigger();
    QCOMPARE(statusText(), QString("Disconnected"));
    const int tries = driver->tries();
    comeBack();
    QTest::qWait(1000);
    QCOMPARE(driver->tries(), tries);
    QVERIFY(device->receivedBytes().isEmpty());

    // Connect during the tries connects at once and ends them.
    connectTo(link->path());
    vanish();
    QTRY_VERIFY_WITH_TIMEOUT(driver->isRetrying(), 5000);
    const int triesBefore = driver->tries();
    comeBack();
    child<QAction>("actionConnect_to_TQX_5R")->trigger();
    QVERIFY(connected());
    QVERIFY(!driver->isRetrying());
    QTest::qWait(500);
    QCOMPARE(driver->tries(), triesBefore);
    QCOMPARE(dismisser.count(), 1);
}

void tst_Reconnect::changedSettingsAreWhatIsRetried()
{
    enableReconnect(quickTiming);
    connectTo(link->path());
    vanish();
    QTRY_COMPARE_WITH_TIMEOUT(statusText(), lossText(), 5000);

    // The switch comes back elsewhere, and the operator says where and at
    // what speed.
    StableLink elsewhere(dir.filePath("tqx5r-elsewhere"));
    comeBack(&elsewhere);
    SettingsDialog *dialog = PanelDriver::settingsDialog();
    dialog->findChild<QComboBox *>("baudRateBox")->setCurrentText("19200");
    QTest::mouseClick(dialog->findChild<QPushButton *>("applyButton"), Qt::LeftButton);
    dialog->selectCustomPort(elsewhere.path());
    QTRY_VERIFY_WITH_TIMEOUT(connected(), 5000);
    QCOMPARE(statusText(), QString("Connected to %1 : 19200, 8, None, 1, None").arg(elsewhere.path()));
}

void tst_Reconnect::sameAdapterUnderANewName()
{
    // The adapter re-enumerates under another node; the system's list is
    // fed to the driver, with the old name gone from the file system.
    ReconnectDriver *driver = enableReconnect(quickTiming);
    const QString oldNode = device->devicePath();
    QList<SerialPortEntry> listed{usbPort(oldNode, "TQX0001")};
    driver->setPortLister([&listed] { return listed; });
    driver->setPathCheck([](const QString &) { return false; });
    connectTo(oldNode);

    VirtualSwitch comeback;
    QVERIFY(comeback.start());
    const QString newNode = comeback.devicePath();
    device->vanish();
    // First only another adapter of the same model is there: never taken.
    listed = {usbPort("/dev/tqx5r-another-adapter", "TQX0002")};
    QTRY_VERIFY_WITH_TIMEOUT(driver->tries() >= 3, 5000);
    QVERIFY(!connected());

    listed << usbPort(newNode, "TQX0001");
    QTRY_VERIFY_WITH_TIMEOUT(connected(), 5000);
    QCOMPARE(statusText(), QString("Connected to %1 : 9600, 8, None, 1, None").arg(newNode));
    QVERIFY(comeback.waitForFrames(1, 5000));
    QCOMPARE(comeback.receivedFrames().first().bytes, QByteArray("IGW;"));
}

void tst_Reconnect::calmOnBadInput_data()
{
    QTest::addColumn<QString>("target"); // what the link points at while the switch is away
    QTest::newRow("a regular file") << "file";
    QTest::newRow("not a serial device") << "/dev/null";
    QTest::newRow("no permission") << "mode 000";
    QTest::newRow("back and gone again at once") << "flapping";
}

void tst_Reconnect::calmOnBadInput()
{
    QFETCH(QString, target);
    ReconnectDriver *driver = enableReconnect(quickTiming);
    connectTo(link->path());
    ModalDismisser dismisser;
    vanish();
    QTRY_VERIFY_WITH_TIMEOUT(driver->isRetrying(), 5000);

    if (target == "flapping") {
        for (int i = 0; i < 3; ++i) {
            comeBack();
            // Gone again the moment the panel has opened it.
            QTRY_VERIFY_WITH_TIMEOUT(!device->receivedBytes().isEmpty(), 5000);
            vanish();
            QTRY_COMPARE_WITH_TIMEOUT(driver->losses(), i + 2, 5000);
        }
    } else {
        QString path = target;
        if (!target.startsWith('/')) {
            path = dir.filePath("not-a-port");
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("IGT");
            file.close();
            if (target == "mode 000")
                QVERIFY(file.setPermissions({}));
        }
        QVERIFY(link->pointAt(path));
        const int tries = driver->tries();
        QTest::qWait(1000);
        QVERIFY2(driver->tries() >= tries + 2, qPrintable(QString::number(driver->tries() - tries)));
        QCOMPARE(statusText(), lossText());
    }
    QCOMPARE(dismisser.count(), 0);

    comeBack();
    QTRY_VERIFY_WITH_TIMEOUT(connected(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);
    QCOMPARE(dismisser.count(), 0);
}

void tst_Reconnect::errorFloodWhileClosingIsOneLoss_data()
{
    QTest::addColumn<bool>("reconnect");
    QTest::newRow("without reconnect: one box") << false;
    QTest::newRow("with reconnect: one loss, no box") << true;
}

void tst_Reconnect::errorFloodWhileClosingIsOneLoss()
{
    QFETCH(bool, reconnect);
    ReconnectDriver *driver = reconnect ? enableReconnect() : nullptr;
    connectTo(link->path());
    // A hung-up adapter can fail the close itself and report more errors
    // while the port still counts as open.
    int closes = 0;
    connect(serialPort, &QIODevice::aboutToClose, this, [&closes] {
        if (++closes > 20)
            return;
        for (int i = 0; i < 10; ++i)
            emit serialPort->errorOccurred(QSerialPort::ResourceError);
    });
    ModalDismisser dismisser;
    vanish();
    QTRY_VERIFY_WITH_TIMEOUT(closes > 0, 5000);
    QTest::qWait(300);
    QCOMPARE(closes, 1);
    if (reconnect) {
        QCOMPARE(dismisser.count(), 0);
        QCOMPARE(driver->losses(), 1);
        QCOMPARE(statusText(), lossText());
    } else {
        QCOMPARE(dismisser.titles(), QStringList{"Critical Error"});
        QCOMPARE(statusText(), QString("Disconnected"));
    }
}

void tst_Reconnect::panelLogsLossAndReconnectOnStderr()
{
    QProcess panel;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    panel.setProcessEnvironment(environment);
    panel.start(QStringLiteral(TQX5R_PANEL_PATH), {"--reconnect", "--port", link->path()});
    QVERIFY(panel.waitForStarted(20000));
    QVERIFY(device->waitForFrames(2, 20000));
    QString log;
    const auto logged = [&panel, &log](const QString &text) {
        log += QString::fromUtf8(panel.readAllStandardError());
        return log.contains(text);
    };

    vanish();
    QTRY_VERIFY_WITH_TIMEOUT(logged(lossText()), 5000);
    comeBack();
    const QString reconnected = QString("Connected to %1 : 9600, 8, None, 1, None").arg(link->path());
    QTRY_VERIFY_WITH_TIMEOUT(logged(reconnected), 6000);
    QVERIFY(device->waitForFrames(1, 5000));
    QCOMPARE(device->receivedFrames().first().bytes, QByteArray("IGW;"));
    const QString stamp = R"(^tqx5r-panel: \d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )";
    for (const QString &line : {lossText(), reconnected}) {
        const QRegularExpression pattern(stamp + QRegularExpression::escape(line) + "$",
                                         QRegularExpression::MultilineOption);
        QVERIFY2(pattern.match(log).hasMatch(), qPrintable(log));
    }
    panel.terminate();
    QVERIFY(panel.waitForFinished(20000));
}

QTEST_MAIN(tst_Reconnect)
#include "tst_reconnect.moc"
