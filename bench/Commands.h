#pragma once

#include <QString>

// The measurements of tqx5r-bench. Each prints RESULT lines (see
// Bench::result) and returns the process exit status.
int runLineSpeed(int frameCount);
int runKeyToWire(int presses);
int runSwitchToScreen(int samples);
int runBandToWire(int samples);
int runCpu(int seconds);
int runStartup();
int runMemory(int seconds);
int runSoak(double minutes);
// With the broker: --headless --mqtt, band follow, broker restarts.
int runUnattendedSoak(double minutes, bool withBroker);
int runBrokerCommand(int commands);
int runBrokerScreen(int samples);
int runBrokerCpu(int seconds);
int runBrokerFlood(int seconds);
int runWebClick(int clicks);
int runWebScreen(int samples);

// The whole set, several runs each, summed up in one table.
int runAll(bool quick, const QString &writePath);
