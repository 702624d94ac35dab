#pragma once

#include "panel/PanelState.h"

#include <QString>
#include <QVector>

#include <array>
#include <functional>

class QPushButton;
class VirtualSwitch;

// Switch to screen: the switch moves to a random antenna right after a status
// frame has gone out, and the time runs from the last byte of the next status
// frame at the switch to the first paint of that antenna's key in the active
// look. The keys may be those of any window in this process, a remote
// panel's included. Runs the event loop until done.
struct PaintLatency
{
    QVector<double> ms;
    int missed = 0;
};
PaintLatency switchToScreen(VirtualSwitch &device, const std::array<QPushButton *, positionCount> &keys, int samples);

// Does act, then waits for the next select frame ("IGS...") at the switch:
// the milliseconds from act to its first byte, or a negative number when none
// came within 3 s.
double actionToWire(VirtualSwitch &device, const std::function<void()> &act);

// Runs the event loop until the condition holds; false on time-out.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs);

// RESULT lines NAME.p50, .p99, .max and .missed.
void reportLatencies(const QString &name, const QVector<double> &ms, int missed);
