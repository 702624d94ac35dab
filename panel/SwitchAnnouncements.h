#pragma once

#include "panel/SwitchSnapshot.h"

#include <QStringList>

// The changes worth telling an operator who cannot see the panel, as
// sentences: the antenna in use, POWER going out or coming back, split and
// super split taking effect, antennas chosen for super split. Busy lights,
// SEND and the rotor change too often to be spoken; their controls still
// report their state.
namespace SwitchAnnouncements {

// Nothing when the two are alike in everything spoken, so a steady switch
// stays quiet.
QStringList between(const SwitchSnapshot &before, const SwitchSnapshot &after);

} // namespace SwitchAnnouncements
