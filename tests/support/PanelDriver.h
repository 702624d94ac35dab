#pragma once

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QObject>
#include <QString>

class MainWindow;
class SettingsDialog;

// Works a main window the way an operator would, and reads back what it
// shows, for tests.
class PanelDriver
{
public:
    explicit PanelDriver(MainWindow *window) : window(window) {}

    // A named child that a test cannot do without; a missing one ends the
    // test run with its name rather than a null pointer crash later.
    template<typename T> T *child(const QString &name) const
    {
        T *found = object()->findChild<T *>(name);
        if (!found)
            qFatal("no child named %s", qPrintable(name));
        return found;
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
