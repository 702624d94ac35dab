#pragma once

#include "panel/SwitchSnapshot.h"

#include <QString>

// What a screen reader is told about the panel's controls, decided from the
// switch's state alone. The words say what the colours and lights say.
namespace AccessibleTexts {

// Text as it can be spoken and shown in a name: control characters,
// direction marks and other invisible format characters, and halves of
// broken surrogate pairs are dropped; runs of blanks become one.
QString speakable(const QString &text);

// "Antenna 3", or "Antenna 3 Yagi" when the key has a caption. Position 0..7.
QString keyName(int position, const QString &caption);
QString keyName(const SwitchSnapshot &snapshot, int position);

// What the key's look says, e.g. "in use, busy"; empty when nothing applies.
QString keyDescription(const SwitchSnapshot &snapshot, int position);

// "Antenna 3 busy" for the busy light of position 2.
QString busyName(int position);

// "Rotor 2" for the selector "RT 2".
QString rotorDescription(int rotor);

} // namespace AccessibleTexts
