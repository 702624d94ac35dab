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

// Many tries a second, where the test is not about the pace; a silent port
// is not left closed for longer than a try takes anyway.
const ReconnectTiming quickTiming{100, 300, 10000, 2000, 3, 1000};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

class tst_Reconnect : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        logLines.clear();
        rig = std::make_unique<LinkedPanel>();
        device = rig->device.get();
        link = std::make_unique<StableLink>(dir.filePath("tqx5r"));
        QVERIFY(link->pointAt(device->devicePath()));
    }
    void cleanup() { rig.reset(); }

    void switchComesBackOnTheSameLink_data()
    {
        QTest::addColumn<bool>("missingAtStart");
        QTest::newRow("lost while connected") << false;
        QTest::newRow("not there yet when the panel starts") << true;
    }
    void switchComesBackOnTheSameLink()
    {
        QFETCH(bool, missingAtStart);
        ReconnectDriver *driver = enableReconnect();
        ModalDismisser dismisser;
        if (missingAtStart) {
            vanish();
            driver->connectAtStart(link->path());
            QVERIFY2(statusText().startsWith(QString("Cannot open %1: ").arg(link->path())), qPrintable(statusText()));
        } else {
            connectTo(link->path());
            vanish();
            QTRY_COMPARE_WITH_TIMEOUT(statusText(), lossText(), 5000);
        }
        QVERIFY(driver->isRetrying());
        SwitchState moved = device->state(); // it moved on while away
        moved.position = 5;
        device->setState(moved);
        comeBack();
        // The log has the status bar's words, which the firmware answer soon replaces.
        QTRY_COMPARE_WITH_TIMEOUT(logLines.size(), 2, 6000);
        QCOMPARE(logLines.last(), connectedText(link->path()));
        QTRY_VERIFY_WITH_TIMEOUT(!device->receivedFrames().isEmpty(), 5000);
        QCOMPARE(device->receivedFrames().first().bytes, QByteArray("IGW;"));
        QTRY_COMPARE_WITH_TIMEOUT(child<QPushButton>("botaoTecla6")->styleSheet(), KeyPainting::activeKeyStyle, 5000);
        QCOMPARE(dismisser.count(), 0);
    }

    void aTryCountsOnlyWhenTheSwitchAnswers_data()
    {
        QTest::addColumn<bool>("atStart");
        QTest::newRow("back after a loss, silent") << false;
        QTest::newRow("silent when the panel starts") << true;
    }
    void aTryCountsOnlyWhenTheSwitchAnswers()
    {
        // Something answers to the name but not as the switch: a wrong
        // adapter, or a switch without power. Its port is closed again.
        QFETCH(bool, atStart);
        ReconnectDriver *driver = enableReconnect(quickTiming);
        device->setAnswering(false);
        if (atStart) {
            driver->connectAtStart(link->path());
        } else {
            device->setAnswering(true);
            connectTo(link->path());
            vanish();
            device->setAnswering(false);
            comeBack();
        }
        const QString silent = QString("%1 opened but the TQX-5R did not answer; retrying…").arg(link->path());
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), silent, 8000);
        QVERIFY(!serialPort->isOpen());
        QVERIFY(driver->isRetrying());
        // Tried again and closed again, and written once for the outage.
        QTRY_VERIFY_WITH_TIMEOUT(device->receivedBytes().count("IGW;") >= 2 && !serialPort->isOpen(), 10000);
        QCOMPARE(statusText(), silent);
        QCOMPARE(logLines.filter("did not answer").size(), 1);
        QCOMPARE(driver->reconnects(), 0);

        // Once the switch answers, the next try connects.
        device->setAnswering(true);
        QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(logLines.last(), connectedText(link->path()), 5000);
        QVERIFY(!driver->isRetrying());
        QCOMPARE(driver->reconnects(), 1);
    }

    void aSilentPortIsLeftClosedAfterThreeTries()
    {
        // Each open of a port that does not answer raises its DTR and RTS
        // and sends it requests; after three in a row it is opened only
        // once a quiet time has passed since the last, and the log says it
        // once for the outage.
        ReconnectTiming timing{100, 300, 10000, 500, 3, 4000};
        ReconnectDriver *driver = enableReconnect(timing);
        device->setAnswering(false);
        driver->connectAtStart(link->path());
        const auto opens = [this] {
            QList<qint64> times;
            for (const VirtualSwitch::ReceivedFrame &frame : device->receivedFrames()) {
                if (frame.bytes == "IGW;")
                    times << frame.firstByteNs / 1000000;
            }
            return times;
        };
        QTRY_COMPARE_WITH_TIMEOUT(opens().size(), 3, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!serialPort->isOpen(), 5000);
        QTRY_COMPARE_WITH_TIMEOUT(opens().size(), 4, 15000);
        const QList<qint64> times = opens();
        QVERIFY2(times.at(2) - times.at(0) < timing.quietPortMs, qPrintable(QString::number(times.at(2) - times.at(0))));
        // The ends of the wait are measured where the requests arrive, a
        // little after each open.
        QVERIFY2(times.at(3) - times.at(2) >= timing.quietPortMs - 250,
                 qPrintable(QString("the fourth open %1 ms after the third").arg(times.at(3) - times.at(2))));
        QCOMPARE(logLines.filter("did not answer").size(), 1);
        QVERIFY(driver->tries() > 3); // other ports could have been opened meanwhile

        // A switch that comes back on it is found at the next open.
        device->setAnswering(true);
        QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), timing.quietPortMs + 5000);
        QCOMPARE(driver->reconnects(), 1);
        QCOMPARE(logLines.filter("did not answer").size(), 1);
    }

    // A port that never answered (the radio's CAT port, say) is not followed.
    void followsTheAdapterToANewNameOnlyOnceItAnswered_data()
    {
        QTest::addColumn<bool>("answered");
        QTest::newRow("answered: followed") << true;
        QTest::newRow("never answered: not followed") << false;
    }
    void followsTheAdapterToANewNameOnlyOnceItAnswered()
    {
        QFETCH(bool, answered);
        ReconnectDriver *driver = enableReconnect(quickTiming);
        const auto usbPort = [](const QString &path) {
            return SerialPortEntry{path, path, "A0001", {}, {}, true, 0x0403, true, 0x6001};
        };
        auto listed = std::make_shared<QList<SerialPortEntry>>(QList<SerialPortEntry>{usbPort(device->devicePath())});
        driver->setPortLister([listed] { return *listed; });
        driver->setPathCheck([](const QString &) { return false; });
        device->setAnswering(answered);
        rig->panel.connectTo(device->devicePath());
        QVERIFY(connected());
        QTRY_COMPARE_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), answered, 5000);
        if (!answered) {
            QTRY_COMPARE_WITH_TIMEOUT(statusText(), QString("No answer from TQX-5R"), 5000);
            QVERIFY(serialPort->isOpen());
        }

        VirtualSwitch elsewhere;
        QVERIFY(elsewhere.start());
        device->vanish();
        *listed = {usbPort(elsewhere.devicePath())};
        if (answered) {
            QTRY_VERIFY_WITH_TIMEOUT(logLines.contains(connectedText(elsewhere.devicePath())), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(elsewhere.receivedBytes().startsWith("IGW;"), 5000);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(driver->tries() >= 3 || !elsewhere.receivedBytes().isEmpty(), 5000);
            QVERIFY(elsewhere.receivedBytes().isEmpty());
        }
    }

    void operatorStaysInCharge()
    {
        ReconnectDriver *driver = enableReconnect(quickTiming);
        // The system's port list is read at every try, and on a loaded machine
        // that costs CPU of its own; the CPU measured below is the driver's.
        driver->setPortLister([] { return QList<SerialPortEntry>(); });
        connectTo(link->path());
        ModalDismisser dismisser;
        vanish();
        QTRY_VERIFY_WITH_TIMEOUT(driver->isRetrying(), 5000);
        // No busy waiting between tries: a spin would take the whole 2 s.
        const double before = cpuSeconds();
        QTest::qWait(2000);
        QVERIFY2(cpuSeconds() - before < 1.0, qPrintable(QString::number(cpuSeconds() - before)));
        // A starved machine may fire fewer timers in those 2 s than an idle one.
        QTRY_VERIFY_WITH_TIMEOUT(driver->tries() >= 3, 10000);

        // A connect of the operator's own that fails: the usual box; the tries go on.
        child<QAction>("actionConnect_to_TQX_5R")->trigger();
        QCOMPARE(dismisser.titles(), QStringList{"Error"});
        QCOMPARE(statusText(), QString("Open error"));
        QTRY_COMPARE_WITH_TIMEOUT(statusText(), lossText(), 5000);

        // Disconnect stops them, even once the switch is back.
        child<QAction>("actionDisconnect")->trigger();
        const int tries = driver->tries();
        comeBack();
        QTest::qWait(1000);
        QCOMPARE(driver->tries(), tries);
        QVERIFY(device->receivedBytes().isEmpty());

        // The tries use the settings of the moment.
        connectTo(link->path());
        vanish();
        StableLink elsewhere(dir.filePath("tqx5r-elsewhere"));
        comeBack(&elsewhere);
        auto *dialog = PanelDriver::settingsDialog();
        dialog->findChild<QComboBox *>("baudRateBox")->setCurrentText("19200");
        QTest::mouseClick(dialog->findChild<QPushButton *>("applyButton"), Qt::LeftButton);
        dialog->selectCustomPort(elsewhere.path());
        QTRY_VERIFY_WITH_TIMEOUT(logLines.contains(connectedText(elsewhere.path(), 19200)), 10000);

        // Connect during the tries connects at once and ends them.
        device->vanish();
        elsewhere.remove();
        QTRY_VERIFY_WITH_TIMEOUT(driver->isRetrying(), 5000);
        comeBack(&elsewhere);
        child<QAction>("actionConnect_to_TQX_5R")->trigger();
        QVERIFY(connected() && !driver->isRetrying());
        const int triesAtConnect = driver->tries();
        QTest::qWait(500);
        QCOMPARE(driver->tries(), triesAtConnect);
        QCOMPARE(dismisser.count(), 1);
    }

    void calmOnBadInput_data()
    {
        QTest::addColumn<QString>("target"); // what the link points at while the switch is away
        QTest::newRow("a regular file") << "file";
        QTest::newRow("no permission") << "mode 000";
        QTest::newRow("not a serial device") << "/dev/null";
        QTest::newRow("back and gone again at once") << "";
    }
    void calmOnBadInput()
    {
        QFETCH(QString, target);
        ReconnectDriver *driver = enableReconnect(quickTiming);
        connectTo(link->path());
        ModalDismisser dismisser;
        vanish();
        QTRY_VERIFY_WITH_TIMEOUT(driver->isRetrying(), 5000);
        if (target.isEmpty()) {
            for (int losses = 2; losses <= 4; ++losses) {
                comeBack();
                // Back and answering, then gone again at once.
                QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);
                vanish();
                QTRY_COMPARE_WITH_TIMEOUT(driver->losses(), losses, 5000);
            }
        } else {
            QFile file(dir.filePath("not-a-port"));
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (target == "mode 000")
                QVERIFY(file.setPermissions({}));
            QVERIFY(link->pointAt(target.startsWith('/') ? target : file.fileName()));
            const int tries = driver->tries();
            QTRY_VERIFY_WITH_TIMEOUT(driver->tries() >= tries + 2, 5000);
            QCOMPARE(statusText(), lossText());
        }
        comeBack();
        QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);
        QCOMPARE(dismisser.count(), 0);
    }

    void oneLossHoweverManyErrors_data()
    {
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("without reconnect: one box, and the panel goes quiet") << false;
        QTest::newRow("with reconnect: one loss, no box") << true;
    }
    void oneLossHoweverManyErrors()
    {
        QFETCH(bool, reconnect);
        if (reconnect)
            enableReconnect();
        connectTo(link->path());
        // A hung-up adapter can fail the close itself and report more errors
        // while the port still counts as open.
        int closes = 0;
        connect(serialPort, &QIODevice::aboutToClose, rig->window.get(), [&closes] {
            if (++closes > 20) // re-entered without end otherwise
                return;
            for (int i = 0; i < 10; ++i)
                emit serialPort->errorOccurred(QSerialPort::ResourceError);
        });
        ModalDismisser dismisser;
        vanish();
        QTRY_VERIFY_WITH_TIMEOUT(closes > 0, 5000);
        // No error storm keeps a core busy.
        const double before = cpuSeconds();
        QTest::qWait(1000);
        QVERIFY2(cpuSeconds() - before < 0.25, qPrintable(QString("%1 s of CPU in 1 s").arg(cpuSeconds() - before)));
        QCOMPARE(closes, 1);
        QCOMPARE(logLines.size(), reconnect ? 1 : 0);
        if (reconnect) {
            QCOMPARE(dismisser.count(), 0);
            return;
        }
        QCOMPARE(dismisser.titles(), QStringList{"Critical Error"});
        QVERIFY2(dismisser.texts().first().startsWith(QString("The connection to %1 was lost: ").arg(link->path())),
                 qPrintable(dismisser.texts().first()));
        QCOMPARE(statusText(), QString("Disconnected"));
        QVERIFY(!child<QRadioButton>("power")->isChecked());
        QVERIFY(child<QAction>("actionConnect_to_TQX_5R")->isEnabled());
    }

    void panelLogsLossAndReconnectOnStderr()
    {
        QProcess panel;
        panel.start(QStringLiteral(TQX5R_PANEL_PATH),
                    {"-platform", "offscreen", "--reconnect", "--port", link->path()});
        QVERIFY(device->waitForFrames(2, 20000));
        QString log;
        const auto logged = [&](const QString &level, const QString &line) {
            log += QString::fromUtf8(panel.readAllStandardError());
            const QString stamp = R"(^tqx5r-panel: \d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )" + level + ": ";
            const QRegularExpression pattern(stamp + QRegularExpression::escape(line) + "$",
                                             QRegularExpression::MultilineOption);
            return pattern.match(log).hasMatch();
        };
        vanish();
        QTRY_VERIFY_WITH_TIMEOUT(logged("warning", lossText()), 5000);
        comeBack();
        QTRY_VERIFY_WITH_TIMEOUT(logged("info", connectedText(link->path())), 6000);
        panel.terminate();
        panel.waitForFinished(20000);
    }

private:
    template<typename T> T *child(const char *name) const { return rig->panel.child<T>(name); }
    QString statusText() const { return rig->panel.statusText(); }
    QString lossText() const { return QString("Connection to %1 lost; reconnecting…").arg(link->path()); }
    bool connected() const { return statusText().startsWith("Connected to"); }
    static QString connectedText(const QString &port, int baud = 9600)
    {
        return QString("Connected to %1 : %2, 8, None, 1, None").arg(port, QString::number(baud));
    }

    ReconnectDriver *enableReconnect(const ReconnectTiming &timing = ReconnectTiming())
    {
        auto *driver = new ReconnectDriver(rig->window->linkSession(), timing);
        driver->setLog([this](const QString &line) { logLines << line; });
        return driver;
    }
    void connectTo(const QString &port)
    {
        rig->panel.connectTo(port);
        QVERIFY(connected());
        QTRY_VERIFY_WITH_TIMEOUT(child<QRadioButton>("power")->isChecked(), 5000);
    }
    // Unplugged: the device and its stable name go.
    void vanish()
    {
        device->vanish();
        link->remove();
    }
    void comeBack(StableLink *at = nullptr)
    {
        device->clearReceived();
        QVERIFY(device->start());
        QVERIFY((at ? at : link.get())->pointAt(device->devicePath()));
    }

    QTemporaryDir dir;
    std::unique_ptr<LinkedPanel> rig;
    std::unique_ptr<StableLink> link;
    VirtualSwitch *device = nullptr;
    QStringList logLines;
};

QTEST_MAIN(tst_Reconnect)
#include "tst_reconnect.moc"
