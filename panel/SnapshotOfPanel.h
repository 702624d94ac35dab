#pragma once

#include "panel/PanelState.h"
#include "panel/SwitchSnapshot.h"

#include <QStringList>

// The switch as the panel shows it, for the features at the seam.
struct LinkFacts
{
    bool open = false;
    QString name;
    bool firmwareKnown = false;
    quint8 firmwareMajor = 0;
    quint8 firmwareMinor = 0;
    SwitchReport report;
};

SwitchSnapshot snapshotOfPanel(const PanelState &state, const PanelDisplay &display, const QStringList &captions,
                               const LinkFacts &link);
