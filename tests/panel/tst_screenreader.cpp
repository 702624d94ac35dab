#include "sim/VirtualSwitch.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <functional>
#include <memory>
#include <sys/types.h>

// The panel program as a screen reader meets it: on its own X server, with a
// private session bus and AT-SPI bus, a listener that uses the AT-SPI library
// as screen readers do, and Debian's Orca writing what it would speak. The
// switch is a virtual one in this process.
namespace {

const QString python = QStringLiteral("/usr/bin/python3");
const QString busLauncher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
const QString helpers = QStringLiteral(TQX5R_SCREENREADER_HELPERS);
const int slowMs = 30000;

bool alive(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) == 0;
}

} // namespace

class tst_ScreenReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const QString &tool : {QStringLiteral("Xvfb"), QStringLiteral("dbus-daemon"), QStringLiteral("xdotool"),
                                    QStringLiteral("orca")}) {
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QFAIL(qPrintable(tool + " is missing: scripts/lib/setup.sh installs it"));
        }
        QVERIFY2(QFile::exists(busLauncher), "at-spi2-core is missing: scripts/lib/setup.sh installs it");
        QVERIFY(home.isValid());
        QVERIFY(QDir(home.path()).mkpath("run"));
        QFile::setPermissions(home.filePath("run"), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                          | QFileDevice::ExeOwner);
        startDesktop();
    }

    void cleanupTestCase()
    {
        // Last started, first stopped. Orca ignores SIGTERM.
        if (orca.state() != QProcess::NotRunning) {
            orca.kill();
            orca.waitForFinished(10000);
        }
        stop(panel);
        stop(listener);
        stop(busLauncherProcess);
        if (alive(registryPid))
            ::kill(pid_t(registryPid), SIGTERM);
        stop(sessionBus);
        stop(xServer);
        device.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!alive(registryPid), 10000);
    }

    void keysAsAScreenReaderSeesThem()
    {
        startPanel();
        // The first status frame may still be on its way.
        waitFor([this] { return keys().value(1) == "Antenna 2|in use"; });
        QCOMPARE(keys(), (QStringList{"Antenna 8|", "Antenna 1|", "Antenna 4|", "Antenna 5|", "Antenna 2|in use",
                                      "Antenna 6|", "Antenna 3|", "Antenna 7|"}));
    }

    void switchMovedAndSpoken()
    {
        startOrca();
        // Orca presents a window when it is focused; Tab then reaches key 1,
        // and key 2, the antenna in use.
        xdotool({"search", "--sync", "--name", "TQX-5R Serial Controller", "windowfocus", "--sync"});
        QVERIFY2(waitFor([this] { return spoken().contains("Veltrix TQX-5R Serial Controller frame."); }),
                 qPrintable(spoken().join('\n')));
        xdotool({"key", "Tab"});
        QVERIFY2(waitFor([this] { return spoken().contains("Antenna 1 push button."); }),
                 qPrintable(spoken().join('\n')));
        xdotool({"key", "Tab"});
        QVERIFY2(waitFor([this] { return spokenAfter("Antenna 2 push button.").contains("in use."); }),
                 qPrintable(spoken().join('\n')));

        // The switch moves from antenna 2 to 5 at its front panel.
        const int seen = listened.size();
        SwitchState moved = device->state();
        moved.position = 4;
        device->setState(moved);
        QVERIFY2(waitFor([&] {
                     return eventsSince(seen).contains("object:state-changed:showing|notification|Antenna 5 in use.||1");
                 }),
                 qPrintable(eventsSince(seen).join('\n')));
        const QStringList events = eventsSince(seen);
        QVERIFY(events.contains("object:property-change:accessible-description|push button|Antenna 2||0"));
        QVERIFY(events.contains("object:property-change:accessible-description|push button|Antenna 5|in use|0"));
        // Orca speaks the notification where the focus is, on key 2
        // ("notification Antenna 5 in use." or the name alone).
        QVERIFY2(waitFor([this] { return !spoken().filter(QRegularExpression("Antenna 5 in use\\.$")).isEmpty(); }),
                 qPrintable(spoken().join('\n')));

        // A steady switch: polls go on, nothing more is said.
        const int settled = listened.size();
        const int frames = device->statusFramesSent();
        QVERIFY(waitFor([&] { return device->statusFramesSent() >= frames + 8; }));
        QCOMPARE(eventsSince(settled), QStringList());
    }

private:
    void startDesktop()
    {
        int display = 140;
        while (QFile::exists(QString("/tmp/.X11-unix/X%1").arg(display))
               || QFile::exists(QString("/tmp/.X%1-lock").arg(display)))
            ++display;
        // The accessibility bus launcher leaves the bus address on the root
        // window, where Qt reads it; an X server that resets when its last
        // client leaves would wipe it, and Qt 5.15 then loses its first call
        // to the registry and stays off the bus.
        xServer.start("Xvfb", {QString(":%1").arg(display), "-screen", "0", "800x300x24", "-nolisten", "tcp",
                               "-noreset"});
        QVERIFY(xServer.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(QString("/tmp/.X11-unix/X%1").arg(display)), 10000);

        environment = QProcessEnvironment::systemEnvironment();
        environment.remove("QT_QPA_PLATFORM");
        environment.remove("DBUS_SESSION_BUS_ADDRESS");
        environment.remove("AT_SPI_BUS_ADDRESS");
        environment.insert("DISPLAY", QString(":%1").arg(display));
        environment.insert("HOME", home.path());
        environment.insert("XDG_RUNTIME_DIR", home.filePath("run"));
        environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
        environment.insert("XDG_DATA_HOME", home.filePath("data"));
        environment.insert("XDG_CACHE_HOME", home.filePath("cache"));
        environment.insert("GSETTINGS_BACKEND", "memory");

        sessionBus.setProcessEnvironment(environment);
        sessionBus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY(sessionBus.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(sessionBus.canReadLine(), 10000);
        environment.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromUtf8(sessionBus.readLine()).trimmed());

        busLauncherProcess.setProcessEnvironment(environment);
        busLauncherProcess.start(busLauncher, {"--launch-immediately"});
        QVERIFY(busLauncherProcess.waitForStarted(10000));

        listener.setProcessEnvironment(environment);
        connect(&listener, &QProcess::readyReadStandardOutput, this, [this] {
            while (listener.canReadLine())
                listened << QString::fromUtf8(listener.readLine()).trimmed();
        });
        listener.start(python, {helpers + "/atspi_listener.py", "tqx5r-panel"});
        QVERIFY(listener.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!listened.filter(QRegularExpression("^REGISTRY ")).isEmpty(), slowMs);
        for (const QString &line : listened) {
            if (line.startsWith("REGISTRY "))
                registryPid = line.mid(9).toLongLong();
        }
        QVERIFY(alive(registryPid));

        device = std::make_unique<VirtualSwitch>();
        QVERIFY2(device->start(), qPrintable(device->errorString()));
        SwitchState state;
        state.position = 1;
        device->setState(state);
    }

    void startPanel()
    {
        QProcessEnvironment panelEnvironment = environment;
        panelEnvironment.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        panel.setProcessEnvironment(panelEnvironment);
        panel.start(QStringLiteral(TQX5R_PANEL_PATH), {"--port", device->devicePath()});
        QVERIFY(panel.waitForStarted(20000));
        QVERIFY2(waitFor([this] { return listened.contains("APP"); }), "the panel never joined the accessibility bus");
    }

    void startOrca()
    {
        orca.setProcessEnvironment(environment);
        orca.setProcessChannelMode(QProcess::MergedChannels);
        orca.setStandardOutputFile(home.filePath("orca.out"));
        orca.start(python, {helpers + "/quiet_orca.py", orcaLog(), home.filePath("orca")});
        QVERIFY(orca.waitForStarted(10000));
        QVERIFY2(waitFor([this] { return spoken().contains("Screen reader on."); }),
                 qPrintable(spoken().join('\n')));
    }

    QString orcaLog() const { return home.filePath("orca.log"); }

    // What Orca has said so far, in order: the text of each "SPEECH OUTPUT"
    // line of its log, read on from where the last call stopped.
    QStringList spoken()
    {
        QFile log(orcaLog());
        if (log.open(QIODevice::ReadOnly) && log.seek(orcaLogRead)) {
            static const QRegularExpression speech(QStringLiteral("SPEECH OUTPUT: '(.*?)'(\\{.*\\})?\\s*$"));
            const QByteArray unread = log.readAll();
            // A line still being written is read next time.
            const int complete = unread.lastIndexOf('\n') + 1;
            for (const QByteArray &line : unread.left(complete).split('\n')) {
                const QRegularExpressionMatch match = speech.match(QString::fromUtf8(line));
                if (match.hasMatch())
                    said << match.captured(1);
            }
            orcaLogRead += complete;
        }
        return said;
    }

    static bool waitFor(const std::function<bool()> &condition)
    {
        QElapsedTimer waited;
        waited.start();
        while (!condition()) {
            if (waited.elapsed() > slowMs)
                return false;
            QTest::qWait(100);
        }
        return true;
    }

    QStringList spokenAfter(const QString &first)
    {
        const QStringList said = spoken();
        const int at = said.lastIndexOf(first);
        return at < 0 ? QStringList() : said.mid(at + 1);
    }

    // The push buttons' names and descriptions as the listener reads them now.
    QStringList keys()
    {
        const int from = listened.size();
        listener.write("dump\n");
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 5000) {
            QStringList found;
            for (int i = from; i < listened.size(); ++i) {
                if (listened[i].startsWith("KEY "))
                    found << listened[i].mid(4);
            }
            if (found.size() >= 8)
                return found.mid(0, 8);
            QTest::qWait(50);
        }
        qWarning() << "the listener said:" << listened;
        return {};
    }

    QStringList eventsSince(int from) const
    {
        QStringList events;
        for (int i = from; i < listened.size(); ++i) {
            if (listened[i].startsWith("EVENT "))
                events << listened[i].mid(6);
        }
        return events;
    }

    void xdotool(const QStringList &arguments)
    {
        QProcess tool;
        tool.setProcessEnvironment(environment);
        tool.start("xdotool", arguments);
        QVERIFY(tool.waitForFinished(20000));
        QCOMPARE(tool.exitCode(), 0);
    }

    static void stop(QProcess &process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(10000);
        }
    }

    QTemporaryDir home;
    QProcessEnvironment environment;
    QProcess xServer;
    QProcess sessionBus;
    QProcess busLauncherProcess;
    QProcess listener;
    QProcess panel;
    QProcess orca;
    qint64 registryPid = 0;
    qint64 orcaLogRead = 0;
    QStringList said;
    QStringList listened;
    std::unique_ptr<VirtualSwitch> device;
};

QTEST_GUILESS_MAIN(tst_ScreenReader)
#include "tst_screenreader.moc"
