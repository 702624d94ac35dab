#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTcpSocket>

// Hamlib's rigctld with its dummy radio (model 1), listening on a free
// loopback port, for tests and the bench. The radio is tuned and keyed
// through rigctld's own text commands, as any client would.
class DummyRig
{
public:
    DummyRig() = default;
    ~DummyRig();
    DummyRig(const DummyRig &) = delete;
    DummyRig &operator=(const DummyRig &) = delete;

    // Starts rigctld on the given port (0: a free one) and connects to it.
    bool start(quint16 port = 0);
    void stop();
    QString errorString() const { return error; }

    quint16 port() const { return listenPort; }
    QString address() const;   // "127.0.0.1:port", as --rig-file takes it

    bool setFrequency(qint64 hz);
    bool setPtt(bool on);
    // Sends one command line and waits for rigctld's "RPRT 0".
    bool command(const QByteArray &line);

private:
    QProcess process;
    QTcpSocket control;
    quint16 listenPort = 0;
    QString error;
};
