#pragma once

#include "link/ThreadLeitura.h"
#include "panel/MainWindow.h"
#include "sim/VirtualSwitch.h"
#include "support/PanelDriver.h"

#include <QByteArray>
#include <QList>

#include <memory>

// The real window and poll thread, shown, and a virtual switch on a
// pseudo-terminal paced at 9600 baud as on a real line. The panel state
// starts afresh.
class LinkedPanel
{
public:
    explicit LinkedPanel(const VirtualSwitch::Options &options = {});
    ~LinkedPanel();

    // Connects the window to the switch as an operator would.
    void connect() const { panel.connectTo(device->devicePath()); }
    // Frames the switch has read from the panel, oldest first.
    QList<QByteArray> framesFromPanel() const;
    int pollsReceived() const;

    std::unique_ptr<VirtualSwitch> device;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ThreadLeitura> pollThread;
    PanelDriver panel;
};

inline bool isPoll(const QByteArray &frame)
{
    return frame.startsWith("IGT3;");
}
