#pragma once

#include "panel/PanelState.h"

#include <QByteArray>
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

// Waits up to 3 s for a frame starting with prefix among those the switch
// receives after the first `before`, and takes the time of its first byte.
bool waitForFrame(const VirtualSwitch &device, int before, const QByteArray &prefix, qint64 &arrivedNs);

// Runs the event loop until the condition holds; false on time-out.
bool waitUntil(const std::function<bool()> &condition, int timeoutMs);

// RESULT lines NAME.p50, .p99, .max and .missed.
void reportLatencies(const QString &name, const QVector<double> &ms, int missed);
