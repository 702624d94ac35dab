#pragma once

#include "panel/PanelState.h"
#include "panel/SwitchSnapshot.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <array>

class QMainWindow;
class QPushButton;
class SpokenNotice;
class SwitchSeam;

// Tells the accessibility layer (AT-SPI, UI Automation) what the panel shows
// in colours and lights: each antenna key's name and description follow the
// switch's state, with a change event on each control that changed, and what
// an operator who cannot see the panel needs to hear (the antenna in use,
// POWER, split and super split, every status text) goes out as one spoken
// notice per turn of the event loop. A steady switch stays quiet. It draws
// nothing and changes no pixel.
class PanelAccessibility : public QObject
{
    Q_OBJECT

public:
    PanelAccessibility(QMainWindow *window, SwitchSeam *seam);

    // The object that carries the spoken notices.
    SpokenNotice *notice() const { return spokenNotice; }

private:
    void show(const SwitchSnapshot &snapshot);
    void describeKeys(const SwitchSnapshot &snapshot);
    void say(const QStringList &sentences);
    void speak();

    std::array<QPushButton *, positionCount> keys{};
    SwitchSnapshot shown;
    QStringList unsaid;
    QTimer speakSoon;
    SpokenNotice *spokenNotice = nullptr;
    SwitchSeam *seam = nullptr;
};
