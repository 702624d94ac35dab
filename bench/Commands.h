#pragma once

#include <QString>

// The measurements of tqx5r-bench. Each prints RESULT lines (see
// Bench::result) and returns the process exit status.
int runLineSpeed(int frameCount);
int runKeyToWire(int presses);
// The same with antenna rules set and a band known: selects judged, most
// of them sent with a warning.
int runKeyToWireWithRules(int presses);
int runSwitchToScreen(int samples);
int runBandToWire(int samples);
// With another build of tqx5r-panel given, its panels run beside this
// build's in the same seconds, their figures named "before.…".
int runCpu(int seconds, const QString &before = QString());
int runStartup();
int runMemory(int seconds);
int runSoak(double minutes);
// With the broker: --headless --mqtt, band follow, broker restarts.
int runUnattendedSoak(double minutes, bool withBroker);
int runBrokerCommand(int commands);
int runBrokerScreen(int samples);
int runBrokerCpu(int seconds, const QString &before = QString());
int runBrokerFlood(int seconds);
int runWebClick(int clicks);
int runWebScreen(int samples);

// The whole set, several runs each, summed up in one table.
int runAll(bool quick, const QString &writePath);
// Idle CPU of every mode beside another build of tqx5r-panel, as a table.
int runAgainst(const QString &before, const QString &label, int runs, int seconds);
