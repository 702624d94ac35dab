#pragma once

#include "support/RequireChild.h"

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QString>

class MainWindow;
class SettingsDialog;

// Works a main window the way an operator would, and reads back what it
// shows, for tests.
class PanelDriver
{
public:
    explicit PanelDriver(MainWindow *window) : window(window) {}

    template<typename T> T *child(const QString &name) const
    {
        return requireChild<T>(object(), qPrintable(name));
    }

    QString statusText() const;
    // The colour at the centre of antenna key 1..8.
    QColor keyColour(int key) const;
    QList<int> queuedWords() const;
    // The program's one settings dialog (a window of its own).
    static SettingsDialog *settingsDialog();
    // Types the port under "Custom" and chooses "Connect to TQX-5R".
    void connectTo(const QString &port) const;
    // A frame handed to the panel as the receive step hands one over.
    void receive(const QByteArray &frame) const;

private:
    const QObject *object() const;

    MainWindow *window;
};
