#include "panel/Resources.h"

#include <QtGlobal>

void initPanelResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(images);
        Q_INIT_RESOURCE(theme);
        return true;
    }();
    Q_UNUSED(registered);
}
