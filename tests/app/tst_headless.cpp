#include "sim/StableLink.h"
#include "sim/VirtualSwitch.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

// tqx5r-panel --headless as a service manager starts it: no display at all,
// and stderr read line by line.
class HeadlessPanel
{
public:
    explicit HeadlessPanel(const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "JOURNAL_STREAM"})
            environment.remove(QLatin1String(name));
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(TQX5R_PANEL_PATH), QStringList{"--headless"} + arguments);
    }
    ~HeadlessPanel()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    QProcess process;

    QStringList lines()
    {
        errors += QString::fromUtf8(process.readAllStandardError());
        return errors.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    bool said(const QString &level, const QString &text)
    {
        for (const QString &line : lines()) {
            if (line.contains(level + QStringLiteral(": ")) && line.contains(text))
                return true;
        }
        return false;
    }
    QString log() { return lines().join(QLatin1Char('\n')); }

    bool terminate()
    {
        return ::kill(static_cast<pid_t>(process.processId()), SIGTERM) == 0 && process.waitForFinished(20000);
    }

private:
    QString errors;
};

int pollsIn(const QList<VirtualSwitch::ReceivedFrame> &frames)
{
    int polls = 0;
    for (const VirtualSwitch::ReceivedFrame &frame : frames)
        polls += frame.bytes != "IGW;" ? 1 : 0;
    return polls;
}

} // namespace

// The panel without a window: everything it would show goes to stderr as a
// line with a level, and how it ends tells a service manager what happened.
class tst_Headless : public QObject
{
    Q_OBJECT

private slots:
    void servesTheSwitchAndEndsOnSigterm()
    {
        VirtualSwitch device;
        QVERIFY2(device.start(), qPrintable(device.errorString()));
        HeadlessPanel panel({"--port", device.devicePath()});
        QVERIFY(panel.process.waitForStarted(20000));
        QTRY_VERIFY_WITH_TIMEOUT(pollsIn(device.receivedFrames()) >= 3, 20000);
        QCOMPARE(device.receivedFrames().first().bytes, QByteArray("IGW;"));
        QTRY_VERIFY2_WITH_TIMEOUT(panel.said("info", "Connected! Firmware Revision: 1 . 12"), qPrintable(panel.log()), 5000);
        QVERIFY2(panel.said("info", "Connected to " + device.devicePath()), qPrintable(panel.log()));

        QVERIFY(panel.terminate());
        QCOMPARE(panel.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(panel.process.exitCode(), 0);
        QVERIFY2(!panel.log().contains("error:"), qPrintable(panel.log()));
    }

    void deviceLoss_data()
    {
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("without --reconnect: ends with 1") << false;
        QTest::newRow("with --reconnect: keeps trying") << true;
    }
    void deviceLoss()
    {
        QFETCH(bool, reconnect);
        // The device goes with its name, as an unplugged adapter does: a
        // pseudo-terminal's number may soon serve another test.
        VirtualSwitch device;
        QVERIFY2(device.start(), qPrintable(device.errorString()));
        QTemporaryDir folder;
        StableLink link(folder.filePath("tqx5r"));
        QVERIFY(link.pointAt(device.devicePath()));
        const QString path = link.path();
        QStringList arguments{"--port", path};
        if (reconnect)
            arguments << "--reconnect";
        HeadlessPanel panel(arguments);
        QVERIFY(panel.process.waitForStarted(20000));
        QTRY_VERIFY_WITH_TIMEOUT(panel.said("info", "Connected!"), 20000);

        device.vanish();
        link.remove();
        if (!reconnect) {
            QVERIFY(panel.process.waitForFinished(20000));
            QCOMPARE(panel.process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(panel.process.exitCode(), 1);
            QVERIFY2(panel.said("error", "The connection to " + path + " was lost"), qPrintable(panel.log()));
            QVERIFY2(panel.said("error", "Nothing left to do without --reconnect"), qPrintable(panel.log()));
            return;
        }
        const QString lost = "Connection to " + path + " lost";
        QTRY_VERIFY2_WITH_TIMEOUT(panel.said("info", lost), qPrintable(panel.log()), 10000);
        // A few tries later it is still there, and has not said it again.
        QTest::qWait(2500);
        QCOMPARE(panel.process.state(), QProcess::Running);
        QCOMPARE(panel.log().count(lost), 1);
        QVERIFY(panel.terminate());
        QCOMPARE(panel.process.exitCode(), 0);
    }

    void refusedOpen_data()
    {
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("without --reconnect: ends with 1") << false;
        QTest::newRow("with --reconnect: one line, keeps trying") << true;
    }
    void refusedOpen()
    {
        QFETCH(bool, reconnect);
        const QString missing = QStringLiteral("/dev/tqx5r-headless-not-here");
        QStringList arguments{"--port", missing};
        if (reconnect)
            arguments << "--reconnect";
        HeadlessPanel panel(arguments);
        QVERIFY(panel.process.waitForStarted(20000));
        if (!reconnect) {
            QVERIFY(panel.process.waitForFinished(20000));
            QCOMPARE(panel.process.exitCode(), 1);
            QVERIFY2(panel.said("error", "No such file or directory"), qPrintable(panel.log()));
            QCOMPARE(panel.log().count("Nothing left to do"), 1);
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(panel.said("info", "Cannot open " + missing), 20000);
        QTest::qWait(2500);
        QCOMPARE(panel.process.state(), QProcess::Running);
        QCOMPARE(panel.log().count("Cannot open"), 1);
        QVERIFY(panel.terminate());
        QCOMPARE(panel.process.exitCode(), 0);
    }

    void withoutAPortIsRefused()
    {
        HeadlessPanel panel({});
        QVERIFY(panel.process.waitForFinished(20000));
        QCOMPARE(panel.process.exitCode(), 2);
        QVERIFY2(panel.said("error", "--headless needs a serial port") && panel.log().contains("--port"),
                 qPrintable(panel.log()));
    }
};

QTEST_GUILESS_MAIN(tst_Headless)
#include "tst_headless.moc"
