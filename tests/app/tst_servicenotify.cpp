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
    int indexOf(const QByteArray &text, int from = 0) const
    {
        for (int i = from; i < messages.size(); ++i) {
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

void startPanel(QProcess &panel, const NotifySocket &socket, const QStringList &arguments, qint64 watchdogUsec,
                int blockMs = 0)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "WATCHDOG_PID"})
        environment.remove(QLatin1String(name));
    environment.insert("NOTIFY_SOCKET", socket.socketPath());
    if (watchdogUsec > 0)
        environment.insert("WATCHDOG_USEC", QString::number(watchdogUsec));
    if (blockMs > 0)
        environment.insert("TQX5R_TEST_BLOCK_EVENT_LOOP_MS", QString::number(blockMs));
    panel.setProcessEnvironment(environment);
    panel.start(QStringLiteral(TQX5R_PANEL_PATH), QStringList{"--headless"} + arguments);
}

QByteArray transcript(const NotifySocket &socket)
{
    QByteArray text;
    for (const NotifySocket::Message &message : socket.messages)
        text += QByteArray::number(message.ms) + ' ' + message.text + '\n';
    return text;
}

} // namespace

// The panel under systemd's Type=notify with a watchdog, against a socket
// the test listens on as systemd would.
class tst_ServiceNotify : public QObject
{
    Q_OBJECT

private slots:
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

        QProcess panel;
        startPanel(panel, socket, {"--port", port, "--reconnect"}, watchdogUsec);
        QVERIFY(panel.waitForStarted(20000));
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

        QCOMPARE(::kill(static_cast<pid_t>(panel.processId()), SIGTERM), 0);
        QVERIFY(panel.waitForFinished(20000));
        QCOMPARE(panel.exitCode(), 0);
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
        QProcess panel;
        startPanel(panel, socket, {"--port", device.devicePath()}, watchdogUsec, blockMs);
        QVERIFY(panel.waitForStarted(20000));
        QTRY_COMPARE_WITH_TIMEOUT(socket.count("READY=1"), 1, 20000);
        const int ready = socket.indexOf("READY=1");
        // The block, and pings again after it.
        QTRY_VERIFY_WITH_TIMEOUT(longestGap(socket.pingsAfter(ready)) >= blockMs - 100
                                     && socket.pingsAfter(ready).size() >= 4,
                                 blockMs + 10000);
        QVERIFY2(longestGap(socket.pingsAfter(ready)) >= blockMs - 100, transcript(socket).constData());
        QCOMPARE(panel.state(), QProcess::Running);
        panel.kill();
        panel.waitForFinished(5000);
    }
};

QTEST_GUILESS_MAIN(tst_ServiceNotify)
#include "tst_servicenotify.moc"
