#include "panel/DarkTheme.h"

#include "panel/Resources.h"

#include <QFile>

QString darkThemeStyleSheet()
{
    static const QString text = [] {
        initPanelResources();
        QFile file(QStringLiteral(":/theme/darkTheme.qss"));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }();
    return text;
}
