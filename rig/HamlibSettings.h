#pragma once

#include <QString>

// How to reach the radio through Hamlib, as rigctl's -m, -r and -s say it.
struct HamlibSettings
{
    static constexpr int rigctldModel = 2;  // Hamlib's client of a running rigctld
    // A band change reaches band follow at the next poll; with the 300 ms a
    // band must stand and a poll of the switch after it, this keeps a
    // change to the switch within 700 ms.
    static constexpr int defaultPollMs = 200;
    static constexpr int defaultRetryMs = 3000;

    int model = 0;
    QString file;        // serial device, or host:port of rigctld; empty: Hamlib's default
    int speed = 0;       // serial speed in baud; 0: the model's default
    int pollMs = defaultPollMs;
    int retryMs = defaultRetryMs;
};
