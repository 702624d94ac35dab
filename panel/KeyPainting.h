#pragma once

#include "panel/PanelState.h"

#include <QString>

// The rules that decide how the eight antenna keys look.
namespace KeyPainting {

extern const QString idleKeyStyle;
extern const QString maskKeyStyle;
extern const QString activeKeyStyle;
extern const QString partnerKeyStyle;

// The style sheet a key carries for a look; the form's own look has none.
QString styleSheetFor(KeyLook look);

// Repaints all keys from the state. present is how they look now (a key may
// keep its look); position is the key to show active when neither split nor
// super split applies.
KeyLooks paintKeys(const PanelState &state, const KeyLooks &present, qint8 position);

// Paints the two keys of a split pair or a super split pair.
void paintSplitPair(KeyLooks &keys, const PanelState &state, bool superSplit);

// Gives one key the orange partner border; a key above 7 is skipped.
void setPartnerStyle(KeyLooks &keys, int key);

// Whether the S. SPLIT indicator is checked after a repaint.
bool superSplitIndicator(const PanelState &state, bool present);

} // namespace KeyPainting
