#pragma once

#include "panel/PanelState.h"

#include <QStringList>

#include <array>

class QPushButton;
class QRadioButton;

// The panel's widgets as one display: the eight antenna keys with their
// looks and captions, the busy lights, the rotor selectors and the four
// indicators. Reads and writes PanelDisplay values, so the rules that make
// them stay plain code.
class PanelView
{
public:
    struct Widgets
    {
        std::array<QPushButton *, positionCount> keys;
        std::array<QRadioButton *, positionCount> busy;
        std::array<QRadioButton *, rotorCount> rotors;
        QRadioButton *split;
        QRadioButton *send;
        QRadioButton *power;
        QRadioButton *superSplit;
    };

    explicit PanelView(const Widgets &widgets);

    PanelDisplay current() const;
    // Only what differs changes: replacing a key's style sheet re-polishes it.
    void show(const PanelDisplay &display);
    const KeyLooks &keyLooks() const { return looks; }

    QStringList captions() const;
    // An empty caption leaves a key blank.
    void setCaptions(const QStringList &captions);

private:
    Widgets w;
    KeyLooks looks{};
};
