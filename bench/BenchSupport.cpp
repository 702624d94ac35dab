#include "bench/BenchSupport.h"

#include "sim/VirtualSwitch.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <time.h>
#include <unistd.h>

namespace Bench {

qint64 nowNs()
{
    return VirtualSwitch::monotonicNs();
}

double nsToMs(qint64 ns)
{
    return static_cast<double>(ns) / 1e6;
}

double percentile(QVector<double> samples, double share)
{
    if (samples.isEmpty())
        return std::nan("");
    std::sort(samples.begin(), samples.end());
    const int rank = static_cast<int>(std::ceil(share * samples.size()));
    return samples.at(std::clamp(rank - 1, 0, samples.size() - 1));
}

double median(QVector<double> samples)
{
    if (samples.isEmpty())
        return std::nan("");
    std::sort(samples.begin(), samples.end());
    const int n = samples.size();
    return n % 2 ? samples.at(n / 2) : (samples.at(n / 2 - 1) + samples.at(n / 2)) / 2;
}

double maximum(const QVector<double> &samples)
{
    if (samples.isEmpty())
        return std::nan("");
    return *std::max_element(samples.begin(), samples.end());
}

double minimum(const QVector<double> &samples)
{
    if (samples.isEmpty())
        return std::nan("");
    return *std::min_element(samples.begin(), samples.end());
}

double cpuSeconds(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = file.readAll();
    // The command name is in parentheses and may hold spaces; the fields
    // counted from 3 on follow its closing parenthesis.
    const int close = stat.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    // utime and stime are fields 14 and 15, so 11 and 12 after "state".
    if (fields.size() < 13)
        return -1;
    const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double threadRunSeconds(qint64 pid)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    const QStringList threads = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (threads.isEmpty())
        return -1;
    qint64 ns = 0;
    for (const QString &thread : threads) {
        QFile file(tasks.filePath(thread + QStringLiteral("/schedstat")));
        // A thread may end between the listing and the read.
        if (file.open(QIODevice::ReadOnly))
            ns += file.readAll().split(' ').value(0).toLongLong();
    }
    return static_cast<double>(ns) / 1e9;
}

qint64 statusKiB(qint64 pid, const char *field)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).simplified().split(' ').value(0).toLongLong();
    }
    return -1;
}

void result(const QString &name, double value)
{
    std::printf("RESULT %s %.6g\n", qPrintable(name), value);
    std::fflush(stdout);
}

void note(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

std::mt19937 &random()
{
    static std::mt19937 generator(std::random_device{}());
    return generator;
}

int randomInt(int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(random());
}

qint64 reportValue(const QByteArray &report, const char *key)
{
    for (const QByteArray &field : report.split(' ')) {
        if (field.startsWith(QByteArray(key) + '='))
            return field.mid(static_cast<int>(qstrlen(key)) + 1).toLongLong();
    }
    return -1;
}

void FrameTally::add(qint64 switchSent, qint64 panelReceived)
{
    sent += switchSent;
    received += panelReceived;
    if (panelReceived < switchSent)
        lost += switchSent - panelReceived;
    else
        extra += panelReceived - switchSent;
}

qint64 MemoryTrack::check(qint64 pid)
{
    const qint64 resident = statusKiB(pid, "VmRSS");
    if (startKiB < 0)
        startKiB = resident;
    endKiB = resident;
    highestKiB = std::max(highestKiB, resident);
    peakKiB = std::max(peakKiB, statusKiB(pid, "VmHWM"));
    return resident;
}

QByteArray numberedStatusFrame(int index)
{
    SwitchState state;
    state.position = static_cast<quint8>(index % 8);
    state.split = (index / 8) % 2 == 1;
    state.busyMask = static_cast<quint8>(index & 0xFF);
    state.rotor = static_cast<quint8>((index >> 8) & 0xFF);
    state.superSplitMask = static_cast<quint8>(index * 37);
    state.sending = (index / 16) % 2 == 1;
    state.splitPosition = static_cast<quint8>(index % 7);
    state.previousPosition = static_cast<quint8>(index % 5);
    return VirtualSwitch::statusFrame(state);
}

} // namespace Bench
