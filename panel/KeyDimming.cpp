#include "panel/KeyDimming.h"

#include "panel/SwitchSeam.h"

#include <QPushButton>
#include <QStyle>
#include <QVariant>

namespace {

// The theme dims a key carrying it.
const char *const dimmedProperty = "notForBand";

} // namespace

KeyDimming::KeyDimming(const std::array<QPushButton *, positionCount> &keys, SwitchSeam *seam, QObject *parent)
    : QObject(parent)
    , keys(keys)
    , seam(seam)
{
    connect(seam, &SwitchSeam::keyAdviceChanged, this, &KeyDimming::show);
}

void KeyDimming::show()
{
    const quint8 wanted = seam->keyAdvice().dimmedMask;
    for (int p = 0; p < positionCount; ++p) {
        const bool dim = inMask(wanted, p);
        if (dim == inMask(dimmed, p))
            continue;
        QPushButton *key = keys[static_cast<size_t>(p)];
        key->setProperty(dimmedProperty, dim);
        // A property selector is looked at when the key is polished.
        key->style()->unpolish(key);
        key->style()->polish(key);
        key->update();
    }
    dimmed = wanted;
}
