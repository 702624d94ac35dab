#include "support/LinkedPanel.h"

#include "panel/PanelState.h"

#include <algorithm>

namespace {

MainWindow *freshWindow()
{
    panelState = PanelState();
    MainWindow::registerMetaType();
    return new MainWindow;
}

} // namespace

LinkedPanel::LinkedPanel(const VirtualSwitch::Options &options)
    : device(std::make_unique<VirtualSwitch>(options))
    , window(freshWindow())
    , panel(window.get())
{
    if (!device->start())
        qFatal("virtual switch: %s", qPrintable(device->errorString()));
    window->show();
    pollThread = std::make_unique<ThreadLeitura>(window.get());
}

LinkedPanel::~LinkedPanel()
{
    pollThread->stop();
    pollThread.reset();
    window.reset();
    device.reset();
}

QList<QByteArray> LinkedPanel::framesFromPanel() const
{
    QList<QByteArray> frames;
    for (const VirtualSwitch::ReceivedFrame &frame : device->receivedFrames())
        frames << frame.bytes;
    return frames;
}

int LinkedPanel::pollsReceived() const
{
    const QList<QByteArray> frames = framesFromPanel();
    return int(std::count_if(frames.begin(), frames.end(), isPoll));
}
