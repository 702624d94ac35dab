#include "panel/KeyPainting.h"

namespace KeyPainting {

const QString idleKeyStyle = QStringLiteral(
    "background-color: QLinearGradient( x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #565656, "
    "stop: 0.1 #525252, stop: 0.5 #4e4e4e, stop: 0.9 #4a4a4a, stop: 1 #464646);");
const QString maskKeyStyle = QStringLiteral("background-color:  rgb(2, 115, 112);");
const QString activeKeyStyle = QStringLiteral("background-color:  rgb(254, 237, 137);");
const QString partnerKeyStyle = QStringLiteral(
    "background-color: QLinearGradient( x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #565656, "
    "stop: 0.1 #525252, stop: 0.5 #4e4e4e, stop: 0.9 #4a4a4a, stop: 1 #464646);"
    "border-width: 1px;border-color: #1e1e1e;border-style: solid;border-radius: 6;"
    "padding: 3px;font-size: 12px;padding-left: 5px;padding-right: 5px; "
    "border: 2px solid QLinearGradient( x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #ffa02f, "
    "stop: 1 #d7801a);");

namespace {

void setLook(KeyLooks &keys, int key, KeyLook look)
{
    if (isPosition(key))
        keys[static_cast<size_t>(key)] = look;
}

} // namespace

QString styleSheetFor(KeyLook look)
{
    switch (look) {
    case KeyLook::Idle:
        return idleKeyStyle;
    case KeyLook::Mask:
        return maskKeyStyle;
    case KeyLook::Active:
        return activeKeyStyle;
    case KeyLook::Partner:
        return partnerKeyStyle;
    case KeyLook::Form:
        break;
    }
    return QString();
}

KeyLooks paintKeys(const PanelState &state, const KeyLooks &present, qint8 position)
{
    KeyLooks keys = present;
    if (state.choosingSplitTx) {
        keys.fill(KeyLook::Idle);
    } else if (state.choosingSuperSplit) {
        for (int i = 0; i < positionCount; ++i)
            setLook(keys, i, inMask(state.superSplitSelection, i) ? KeyLook::Mask : KeyLook::Idle);
    } else {
        for (int i = 0; i < positionCount; ++i) {
            if (inMask(state.superSplitMask, i))
                setLook(keys, i, KeyLook::Mask);
            else if (i != state.currentPosition)
                setLook(keys, i, KeyLook::Idle);
        }
    }

    if (inMask(state.superSplitMask, state.currentPosition))
        paintSplitPair(keys, state, true);
    else if (state.splitActive == 1)
        paintSplitPair(keys, state, false);
    else if (!state.choosingSuperSplit)
        setLook(keys, position, KeyLook::Active);
    return keys;
}

void paintSplitPair(KeyLooks &keys, const PanelState &state, bool superSplit)
{
    const int partner = superSplit ? state.previousPosition : state.splitPosition;
    const int current = state.currentPosition;
    // The pair swaps its colours while the switch is sending; a split pair
    // shows the partner as the active key when receiving.
    const bool partnerActive = superSplit ? state.sendActive == 1 : state.sendActive != 1;
    const int activeKey = partnerActive ? partner : current;
    const int edgeKey = partnerActive ? current : partner;
    setLook(keys, activeKey, KeyLook::Active);
    setPartnerStyle(keys, edgeKey);
}

void setPartnerStyle(KeyLooks &keys, int key)
{
    setLook(keys, key, KeyLook::Partner);
}

bool superSplitIndicator(const PanelState &state, bool present)
{
    if (inMask(state.superSplitMask, state.currentPosition))
        return true;
    return state.choosingSuperSplit ? present : false;
}

} // namespace KeyPainting
