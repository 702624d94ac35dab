#include "sim/DummyRig.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QThread>

namespace {

constexpr int startTimeoutMs = 10000;
constexpr int answerTimeoutMs = 5000;

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

DummyRig::~DummyRig()
{
    stop();
}

bool DummyRig::start(quint16 port)
{
    listenPort = port != 0 ? port : freeLoopbackPort();
    process.setProgram(QStringLiteral("rigctld"));
    // "-P RIG": the dummy radio keys itself, so PTT can be set and read back.
    process.setArguments({QStringLiteral("-m"), QStringLiteral("1"), QStringLiteral("-P"), QStringLiteral("RIG"),
                          QStringLiteral("-T"),
                          QStringLiteral("127.0.0.1"), QStringLiteral("-t"), QString::number(listenPort)});
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted(startTimeoutMs)) {
        error = QStringLiteral("cannot start rigctld: %1").arg(process.errorString());
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < startTimeoutMs && process.state() == QProcess::Running) {
        control.connectToHost(QHostAddress::LocalHost, listenPort);
        if (control.waitForConnected(200))
            return true;
        control.abort();
        QThread::msleep(20);
    }
    error = QStringLiteral("rigctld does not listen on port %1").arg(listenPort);
    return false;
}

void DummyRig::stop()
{
    control.abort();
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(answerTimeoutMs)) {
        process.kill();
        process.waitForFinished(answerTimeoutMs);
    }
}

QString DummyRig::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(listenPort);
}

bool DummyRig::setFrequency(qint64 hz)
{
    return command("F " + QByteArray::number(hz));
}

bool DummyRig::setPtt(bool on)
{
    return command(on ? "T 1" : "T 0");
}

bool DummyRig::command(const QByteArray &line)
{
    if (control.state() != QAbstractSocket::ConnectedState)
        return false;
    control.write(line + '\n');
    QByteArray answer;
    while (!answer.contains('\n')) {
        if (!control.waitForReadyRead(answerTimeoutMs))
            return false;
        answer += control.readAll();
    }
    return answer.startsWith("RPRT 0");
}
