#include "support/PanelDriver.h"

#include "link/Protocol.h"
#include "panel/MainWindow.h"
#include "settings/SettingsDialog.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QPushButton>
#include <QStatusBar>

#include <algorithm>
#include <cstring>

const QObject *PanelDriver::object() const
{
    return window;
}

QString PanelDriver::statusText() const
{
    return child<QStatusBar>("statusBar")->currentMessage();
}

QColor PanelDriver::keyColour(int key) const
{
    const QImage image = child<QPushButton>(QStringLiteral("botaoTecla%1").arg(key))->grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

QList<int> PanelDriver::queuedWords() const
{
    QList<int> words;
    for (CommandWord word : window->queuedCommands())
        words << int(quint16(word));
    return words;
}

SettingsDialog *PanelDriver::settingsDialog()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<SettingsDialog *>(widget))
            return dialog;
    }
    qFatal("no settings dialog");
}

void PanelDriver::connectTo(const QString &port) const
{
    settingsDialog()->selectCustomPort(port);
    child<QAction>("actionConnect_to_TQX_5R")->trigger();
}

void PanelDriver::receive(const QByteArray &frame) const
{
    const int length = std::min(int(frame.size()), rxBufferSize);
    std::memcpy(rxBuffer, frame.constData(), static_cast<size_t>(length));
    rxCount = static_cast<qint8>(length);
    QMetaObject::invokeMethod(window, "processaPacoteRecebido", Qt::DirectConnection,
                              Q_ARG(MainWindow *, window));
}
