#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// The programs the bench starts, found beside the bench's own build folder.
namespace Programs {
QString panel();      // tqx5r-panel, as installed
QString benchPanel(); // tqx5r-bench-panel
QString sim();        // tqx5r-sim
QString bench();      // tqx5r-bench itself
}

// Runs the event loop for a while, so child processes get read.
void pauseMs(int ms);

// A child process whose stdout is read line by line.
class Child
{
public:
    explicit Child(const QString &program, const QStringList &arguments, bool offscreen = true);
    ~Child();

    bool waitStarted();
    qint64 pid() const { return process.processId(); }
    bool isRunning() const { return process.state() == QProcess::Running; }
    // The next stdout line starting with prefix, waiting up to timeoutMs;
    // empty on time-out. Earlier lines are passed over.
    QByteArray waitForLine(const QByteArray &prefix, int timeoutMs);
    void write(const QByteArray &line);
    // Asks with "quit" on stdin, then kills after a grace period.
    void stop(int graceMs = 3000);
    void kill();
    QByteArray readAllStderr() { return process.readAllStandardError(); }
    QProcess &handle() { return process; }

private:
    QProcess process;
};
