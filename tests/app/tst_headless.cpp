#include "sim/StableLink.h"
#include "sim/VirtualSwitch.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// tqx5r-panel --headless as a service manager starts it: no display at all,
// and stderr read line by line.
class HeadlessPanel
{
public:
    explicit HeadlessPanel(const QStringList &arguments, const QProcessEnvironment &extra = {})
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "JOURNAL_STREAM", "WATCHDOG_PID",
                                 "XDG_RUNTIME_DIR"})
            environment.remove(QLatin1String(name));
        environment.insert(extra);
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
    // A terminal's line names its level; the journal's starts with its priority.
    bool said(const QString &level, const QString &text)
    {
        const bool journal = process.processEnvironment().contains(QStringLiteral("JOURNAL_STREAM"));
        const QString mark = !journal ? level + QStringLiteral(": ")
                             : level == QLatin1String("error") ? QStringLiteral("<3>")
                             : level == QLatin1String("warning") ? QStringLiteral("<4>")
                                                                 : QStringLiteral("<6>");
        for (const QString &line : lines()) {
            if ((journal ? line.startsWith(mark) : line.contains(mark)) && line.contains(text))
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

// The service manager's end of the notify protocol: a datagram socket that
// collects what the panel says, with the time each message came.
class NotifySocket
{
public:
    struct Message
    {
        qint64 ms;
        QByteArray text;
    };

    NotifySocket()
    {
        clock.start();
        path = directory.filePath(QStringLiteral("notify"));
        fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = path.toLocal8Bit();
        if (fd < 0 || static_cast<size_t>(name.size()) >= sizeof address.sun_path)
            return;
        std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
        if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
            return;
        notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] { receive(); });
    }
    ~NotifySocket()
    {
        notifier.reset();
        if (fd >= 0)
            ::close(fd);
    }

    bool isListening() const { return notifier != nullptr; }
    QString socketPath() const { return path; }

    // Each datagram may carry several lines.
    QList<Message> messages;

    int count(const QByteArray &text) const
    {
        int n = 0;
        for (const Message &message : messages)
            n += message.text == text ? 1 : 0;
        return n;
    }
    int indexOf(const QByteArray &text) const
    {
        for (int i = 0; i < messages.size(); ++i) {
            if (messages.at(i).text.startsWith(text))
                return i;
        }
        return -1;
    }
    // The times of the watchdog pings after message index from.
    QVector<qint64> pingsAfter(int from) const
    {
        QVector<qint64> times;
        for (int i = from + 1; i < messages.size(); ++i) {
            if (messages.at(i).text == "WATCHDOG=1")
                times << messages.at(i).ms;
        }
        return times;
    }

private:
    void receive()
    {
        char buffer[4096];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got <= 0)
            return;
        for (const QByteArray &line : QByteArray(buffer, static_cast<int>(got)).split('\n')) {
            if (!line.isEmpty())
                messages << Message{clock.elapsed(), line};
        }
    }

    QTemporaryDir directory;
    QString path;
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    QElapsedTimer clock;
};

qint64 longestGap(const QVector<qint64> &times)
{
    qint64 longest = 0;
    for (int i = 1; i < times.size(); ++i)
        longest = std::max(longest, times.at(i) - times.at(i - 1));
    return longest;
}

QByteArray transcript(const NotifySocket &socket)
{
    QByteArray text;
    for (const NotifySocket::Message &message : socket.messages)
        text += QByteArray::number(message.ms) + ' ' + message.text + '\n';
    return text;
}

QProcessEnvironment notifyEnvironment(const NotifySocket &socket, qint64 watchdogUsec)
{
    QProcessEnvironment environment;
    environment.insert("NOTIFY_SOCKET", socket.socketPath());
    if (watchdogUsec > 0)
        environment.insert("WATCHDOG_USEC", QString::number(watchdogUsec));
    return environment;
}

int pollsIn(const QList<VirtualSwitch::ReceivedFrame> &frames)
{
    int polls = 0;
    for (const VirtualSwitch::ReceivedFrame &frame : frames)
        polls += frame.bytes != "IGW;" ? 1 : 0;
    return polls;
}

} // namespace

// The panel without a window: everything it would show goes to stderr as a
// line with a level, and how it ends tells a service manager what happened;
// under systemd's Type=notify with a watchdog, against a socket the test
// listens on as systemd would.
class tst_Headless : public QObject
{
    Q_OBJECT

private slots:
    void servesTheSwitchAndEndsOnSigterm_data()
    {
        QTest::addColumn<bool>("journal");
        QTest::newRow("in a terminal") << false;
        QTest::newRow("under systemd, to the journal") << true;
    }
    void servesTheSwitchAndEndsOnSigterm()
    {
        QFETCH(bool, journal);
        VirtualSwitch device;
        QVERIFY2(device.start(), qPrintable(device.errorString()));
        QProcessEnvironment underSystemd;
        if (journal)
            underSystemd.insert(QStringLiteral("JOURNAL_STREAM"), QStringLiteral("8:12345"));
        // A typo in an option is a warning too, and the rest still serves.
        HeadlessPanel panel({"--port", device.devicePath(), "--reconect"}, underSystemd);
        QVERIFY(panel.process.waitForStarted(20000));
        QTRY_VERIFY_WITH_TIMEOUT(pollsIn(device.receivedFrames()) >= 3, 20000);
        QVERIFY2(panel.said("warning", "Unknown option 'reconect'."), qPrintable(panel.log()));
        QCOMPARE(device.receivedFrames().first().bytes, QByteArray("IGW;"));
        QTRY_VERIFY2_WITH_TIMEOUT(panel.said("info", "Connected! Firmware Revision: 1 . 12"), qPrintable(panel.log()), 5000);
        QVERIFY2(panel.said("info", "Connected to " + device.devicePath()), qPrintable(panel.log()));

        QVERIFY(panel.terminate());
        QCOMPARE(panel.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(panel.process.exitCode(), 0);
        QVERIFY2(!panel.log().contains("error:") && !panel.log().contains("<3>"), qPrintable(panel.log()));
        // Every line has its level, Qt's own too (a service has no runtime
        // folder, which Qt warns about); the journal stamps its lines itself.
        const QRegularExpression leveled(journal ? "^<[346]>[^<]"
                                                 : "^tqx5r-panel: [0-9-]+ [0-9:.]+ (info|warning|error): ");
        for (const QString &line : panel.lines())
            QVERIFY2(leveled.match(line).hasMatch(), qPrintable(line));
    }

    // The device goes with its name, as an unplugged adapter does (a
    // pseudo-terminal's number may soon serve another test), or never opens.
    void portTrouble_data()
    {
        QTest::addColumn<bool>("lost");
        QTest::addColumn<bool>("reconnect");
        QTest::newRow("lost, without --reconnect: ends with 1") << true << false;
        QTest::newRow("lost, with --reconnect: keeps trying") << true << true;
        QTest::newRow("refused, without --reconnect: ends with 1") << false << false;
        QTest::newRow("refused, with --reconnect: one line, keeps trying") << false << true;
    }
    void portTrouble()
    {
        QFETCH(bool, lost);
        QFETCH(bool, reconnect);
        VirtualSwitch device;
        QVERIFY2(device.start(), qPrintable(device.errorString()));
        QTemporaryDir folder;
        StableLink link(folder.filePath("tqx5r"));
        QVERIFY(!lost || link.pointAt(device.devicePath()));
        const QString path = link.path();
        HeadlessPanel panel(QStringList{"--port", path} + (reconnect ? QStringList{"--reconnect"} : QStringList()));
        QVERIFY(panel.process.waitForStarted(20000));
        if (lost) {
            QTRY_VERIFY_WITH_TIMEOUT(panel.said("info", "Connected!"), 20000);
            device.vanish();
            link.remove();
        }
        if (!reconnect) {
            QVERIFY(panel.process.waitForFinished(20000));
            QCOMPARE(panel.process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(panel.process.exitCode(), 1);
            const QString why = lost ? "The connection to " + path + " was lost" : QString("No such file or directory");
            QVERIFY2(panel.said("error", why), qPrintable(panel.log()));
            QVERIFY2(panel.said("error", "Nothing left to do without --reconnect"), qPrintable(panel.log()));
            QCOMPARE(panel.log().count("Nothing left to do"), 1);
            return;
        }
        const QString told = lost ? "Connection to " + path + " lost" : "Cannot open " + path;
        QTRY_VERIFY2_WITH_TIMEOUT(panel.said("info", told), qPrintable(panel.log()), 20000);
        // A few tries later it is still there, and has not said it again.
        QTest::qWait(2500);
        QCOMPARE(panel.process.state(), QProcess::Running);
        QCOMPARE(panel.log().count(told), 1);
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

    void readyAndWatchdog_data()
    {
        QTest::addColumn<bool>("portThere");
        QTest::addColumn<qint64>("watchdogUsec");
        QTest::newRow("the port opened") << true << qint64(2000000);
        QTest::newRow("the first reconnect try made") << false << qint64(2000000);
        QTest::newRow("no watchdog asked for") << true << qint64(0);
    }
    void readyAndWatchdog()
    {
        QFETCH(bool, portThere);
        QFETCH(qint64, watchdogUsec);
        NotifySocket socket;
        QVERIFY(socket.isListening());
        VirtualSwitch device;
        QVERIFY2(device.start(), qPrintable(device.errorString()));
        const QString port = portThere ? device.devicePath() : QStringLiteral("/dev/tqx5r-notify-not-here");

        HeadlessPanel panel({"--port", port, "--reconnect"}, notifyEnvironment(socket, watchdogUsec));
        QVERIFY(panel.process.waitForStarted(20000));
        QTRY_COMPARE_WITH_TIMEOUT(socket.count("READY=1"), 1, 20000);
        // Ready comes after the port opened, or after the first try failed:
        // the status said so first.
        const int ready = socket.indexOf("READY=1");
        const int status = socket.indexOf(portThere ? "STATUS=Connected to " + port.toUtf8()
                                                    : "STATUS=Cannot open " + port.toUtf8());
        QVERIFY2(status >= 0 && status < ready, transcript(socket).constData());

        // Three periods: at least two pings in each, and never a period
        // without one.
        const qint64 periodMs = watchdogUsec / 1000;
        const qint64 watchFrom = socket.messages.at(ready).ms;
        QTest::qWait(watchdogUsec > 0 ? static_cast<int>(3 * periodMs) : 3000);
        const QVector<qint64> pings = socket.pingsAfter(ready);
        if (watchdogUsec == 0) {
            QCOMPARE(socket.count("WATCHDOG=1"), 0);
        } else {
            QVERIFY2(pings.size() >= 6, transcript(socket).constData());
            QVERIFY2(longestGap(QVector<qint64>{watchFrom} + pings) < periodMs, transcript(socket).constData());
        }
        QCOMPARE(socket.count("READY=1"), 1);

        QVERIFY(panel.terminate());
        QCOMPARE(panel.process.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(socket.count("STOPPING=1"), 1, 5000);
    }

    void aBlockedEventLoopStopsThePings()
    {
        // The test hook blocks the panel's event loop for 3 s after its
        // first ping once ready; a watchdog fed from any other thread would
        // go on pinging meanwhile.
        constexpr int blockMs = 3000;
        constexpr qint64 watchdogUsec = 1000000;
        NotifySocket socket;
        QVERIFY(socket.isListening());
        VirtualSwitch device;
        QVERIFY2(device.start(), qPrintable(device.errorString()));
        QProcessEnvironment environment = notifyEnvironment(socket, watchdogUsec);
        environment.insert("TQX5R_TEST_BLOCK_EVENT_LOOP_MS", QString::number(blockMs));
        HeadlessPanel panel({"--port", device.devicePath()}, environment);
        QVERIFY(panel.process.waitForStarted(20000));
        QTRY_COMPARE_WITH_TIMEOUT(socket.count("READY=1"), 1, 20000);
        const int ready = socket.indexOf("READY=1");
        // The block, and pings again after it.
        QTRY_VERIFY2_WITH_TIMEOUT(longestGap(socket.pingsAfter(ready)) >= blockMs - 100
                                      && socket.pingsAfter(ready).size() >= 4,
                                  transcript(socket).constData(), blockMs + 10000);
        QCOMPARE(panel.process.state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(tst_Headless)
#include "tst_headless.moc"
