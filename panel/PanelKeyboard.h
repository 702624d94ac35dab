#pragma once

#include <QObject>

class QKeyEvent;
class QMainWindow;

// The panel without a mouse. Tab and Shift+Tab go through the antenna keys
// 1-8, SPLIT, S. SPLIT and RT 1-4; Space or Enter presses the control with
// focus; Alt (the menu bar's own) or F10 opens the menus. A mouse click gives
// no control focus, and nothing has focus until Tab is pressed, so the window
// looks to a mouse user as it always has: the style draws a focus frame only
// after focus has moved by keyboard. The busy lights, SEND and POWER only show
// the switch's state and take no focus.
class PanelKeyboard : public QObject
{
    Q_OBJECT

public:
    explicit PanelKeyboard(QMainWindow *window);

    // For keys that reach the window unused by the control with focus:
    // Enter and Return press that control, F10 opens the first menu. True
    // when the key was used.
    bool keyPressed(const QKeyEvent *event);

private:
    QMainWindow *window;
};
