#include "sim/LocalBroker.h"
#include "sim/VirtualSwitch.h"
#include "support/BrokerWatcher.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <csignal>

// A service manager or a terminal ends tqx5r-panel with a signal. The panel
// then winds down as when its window is closed: the poll thread stopped, the
// port closed, and nothing left on the broker that claims a switch.
namespace {

// Whether the process has a handler for the signal (SigCgt in its status).
bool catches(qint64 pid, int signal)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1u;
    }
    return false;
}

} // namespace

class tst_Signals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // A runner in the background may have left them ignored, and the
        // panel inherits that.
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGHUP, SIG_DFL);
    }

    void endsAsClosingTheWindowDoes_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<bool>("nohup"); // SIGHUP ignored when the panel starts
        QTest::newRow("SIGTERM") << SIGTERM << false;
        QTest::newRow("SIGINT") << SIGINT << false;
        QTest::newRow("SIGHUP") << SIGHUP << false;
        QTest::newRow("SIGHUP under nohup is ignored; SIGTERM ends it") << SIGTERM << true;
    }
    void endsAsClosingTheWindowDoes()
    {
        QFETCH(int, signal);
        QFETCH(bool, nohup);
        LocalBroker broker;
        TestAccounts::addTo(broker);
        QVERIFY2(broker.start(), qPrintable(broker.errorString()));
        VirtualSwitch device;
        QVERIFY2(device.start(), qPrintable(device.errorString()));

        QProcess panel;
        if (nohup)
            std::signal(SIGHUP, SIG_IGN);
        startOwnerPanel(panel, QStringLiteral(TQX5R_PANEL_PATH), device.devicePath(), broker);
        std::signal(SIGHUP, SIG_DFL);
        QVERIFY(panel.waitForStarted(20000));
        BrokerWatcher watcher(TestAccounts::settings(broker, "viewer"));
        const auto state = [&watcher] { return QJsonDocument::fromJson(watcher.last("state")).object(); };
        const auto linkConnected = [&state] { return state().value("link").toObject().value("connected"); };
        QTRY_VERIFY_WITH_TIMEOUT(linkConnected() == true && state().value("firmware") == "1.12", 20000);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last("firmware"), VirtualSwitch::firmwareFrame(1, 12), 5000);
        QCOMPARE(watcher.last("online"), QByteArray("true"));
        if (nohup) {
            QCOMPARE(::kill(static_cast<pid_t>(panel.processId()), SIGHUP), 0);
            QVERIFY(!panel.waitForFinished(500));
        }

        QCOMPARE(::kill(static_cast<pid_t>(panel.processId()), signal), 0);
        QVERIFY(panel.waitForFinished(20000));
        QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
        QCOMPARE(panel.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(watcher.last("online"), QByteArray("false"), 5000);
        QCOMPARE(linkConnected(), QJsonValue(false));
        QVERIFY(state().value("antenna").isNull());
        QCOMPARE(watcher.last("firmware"), QByteArray());
        // Said with a clean DISCONNECT, not left to the last will.
        QVERIFY2(broker.log().contains(" disconnected."), broker.log().constData());
    }

    // A service manager may stop the program the moment it has started:
    // the signals are taken over before anything else, so it still ends
    // cleanly rather than by the signal.
    void aSignalAtTheStartEndsItCleanly_data()
    {
        QTest::addColumn<int>("afterMs");
        for (const int ms : {40, 50, 60})
            QTest::addRow("%d ms after the start", ms) << ms;
    }
    void aSignalAtTheStartEndsItCleanly()
    {
        QFETCH(int, afterMs);
        VirtualSwitch device;
        QVERIFY2(device.start(), qPrintable(device.errorString()));
        QProcess panel;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        panel.setProcessEnvironment(environment);
        panel.start(QStringLiteral(TQX5R_PANEL_PATH), {QStringLiteral("--port"), device.devicePath()});
        QVERIFY(panel.waitForStarted(20000));
        QThread::msleep(static_cast<unsigned long>(afterMs));
        // Before the program's first code runs (the loader, a sanitizer's
        // start-up: longer than these rows under one) no handler can exist;
        // there the signal goes the moment the process catches it.
#ifndef TQX5R_SANITIZED
        QVERIFY2(catches(panel.processId(), SIGTERM), "no handler for SIGTERM yet");
#endif
        QTRY_VERIFY_WITH_TIMEOUT(catches(panel.processId(), SIGTERM), 20000);
        QCOMPARE(::kill(static_cast<pid_t>(panel.processId()), SIGTERM), 0);
        QVERIFY(panel.waitForFinished(20000));
        QCOMPARE(panel.exitStatus(), QProcess::NormalExit);
        QCOMPARE(panel.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_Signals)
#include "tst_signals.moc"
