#pragma once

#include "panel/PanelState.h"

#include <QObject>

#include <array>

class QPushButton;
class SwitchSeam;

// Dims the captions of the antenna keys a feature advises so (antennas not
// for the band the radio is on), through the theme's notForBand property.
// Keys no advice names keep every pixel they had.
class KeyDimming : public QObject
{
    Q_OBJECT

public:
    KeyDimming(const std::array<QPushButton *, positionCount> &keys, SwitchSeam *seam, QObject *parent = nullptr);

private:
    void show();

    std::array<QPushButton *, positionCount> keys;
    SwitchSeam *seam;
    quint8 dimmed = 0;
};
