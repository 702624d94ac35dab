#include "panel/DarkTheme.h"

#include "panel/Resources.h"

#include <QFile>

QString darkThemeStyleSheet()
{
    static const QString text = [] {
        initPanelResources();
        QFile file(QStringLiteral(":/theme/darkTheme.qss"));
        if (!file.open(QIODevice::ReadOnly))
            qWarning("dark theme resource missing: %s", qPrintable(file.errorString()));
        return QString::fromUtf8(file.readAll());
    }();
    return text;
}
