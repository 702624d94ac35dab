#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>

#include <random>

// Small helpers shared by the bench programs: clocks, the figures of a
// sample, what /proc says about a process, and the result lines a run prints
// for the driver to collect.
namespace Bench {

// CLOCK_MONOTONIC, the clock the virtual switch stamps its bytes with. It is
// the same for every process on the machine.
qint64 nowNs();
double nsToMs(qint64 ns);

// The value below which the given share (0..1) of the sorted samples lies,
// nearest rank.
double percentile(QVector<double> samples, double share);
double median(QVector<double> samples);
double maximum(const QVector<double> &samples);
double minimum(const QVector<double> &samples);

// User plus system time of a process, in seconds; negative when it is gone.
// Counted in clock ticks (10 ms here), threads that ended included.
double cpuSeconds(qint64 pid);
// The time its threads have run, in seconds, to the nanosecond, as the
// scheduler counts it; threads that ended are not in it, so it suits a
// stretch in which none ends. Negative when the process is gone.
double threadRunSeconds(qint64 pid);
// A "Vm..." line of /proc/PID/status in KiB (VmRSS, VmHWM); -1 when unknown.
qint64 statusKiB(qint64 pid, const char *field);

// "RESULT <name> <value>" on stdout, one line, flushed at once.
void result(const QString &name, double value);
// Any other line for the person watching, on stderr.
void note(const QString &text);

std::mt19937 &random();
int randomInt(int low, int high); // inclusive

// The number after "key=" in a line such as "REPORT frames=12 boxes=0"; -1
// when the key is missing.
qint64 reportValue(const QByteArray &report, const char *key);

// Frames the switch sent against frames the panel received, summed over the
// checks of a soak run.
struct FrameTally
{
    long long sent = 0, received = 0, lost = 0, extra = 0;
    void add(qint64 switchSent, qint64 panelReceived);
};

// A process's resident memory at each check of a soak run: at the first
// check, at the last, the highest, and the peak the kernel recorded (KiB).
struct MemoryTrack
{
    qint64 startKiB = -1, endKiB = -1, highestKiB = -1, peakKiB = -1;
    // Returns the resident memory now.
    qint64 check(qint64 pid);
};

// Status frames that differ from one another for the first 65536 indices.
QByteArray numberedStatusFrame(int index);

} // namespace Bench
