#include "app/CommandLine.h"
#include "app/TerminationSignals.h"
#include "band/BandFollow.h"
#include "band/BandFollowOptions.h"
#include "link/ThreadLeitura.h"
#include "panel/MainWindow.h"
#include "panel/Resources.h"
#include "reconnect/ReconnectDriver.h"
#include "reconnect/ReconnectOptions.h"
#include "remote/BrokerBridge.h"
#include "remote/DiscoveryPublisher.h"
#include "remote/RemoteFeature.h"
#include "remote/RemoteOptions.h"

#include <QApplication>
#include <QFont>
#include <QStatusBar>
#include <QTimer>

#include <clocale>
#include <memory>

namespace {

// The images and theme are in place before any window is built.
const bool resourcesRegistered = (initPanelResources(), true);

} // namespace

int main(int argc, char *argv[])
{
    Q_UNUSED(resourcesRegistered);
    QApplication app(argc, argv);
    // Hamlib sets LC_NUMERIC to "C" around rig_open and then restores the
    // name it saved, which that very switch has freed when the locale was
    // another. Already "C", the switch changes nothing and frees nothing.
    // Qt formats numbers with its own locale, never with this one. Set once,
    // here: QApplication has just set the locale from the environment, and
    // none of the program's threads (poll, radio, broker) runs yet; changing
    // it later would race with them.
    std::setlocale(LC_NUMERIC, "C");
    // A signal to end ends the event loop, and the program winds down below
    // as when the window is closed.
    const TerminationSignals terminationSignals;
#ifndef Q_OS_WIN
    // The panel is laid out to the pixel for the small dialog font of the
    // Windows desktop; a wider default font would cut its captions short.
    QFont panelFont(QStringLiteral("Liberation Sans Narrow"), 8);
    panelFont.setStyleHint(QFont::SansSerif);
    QApplication::setFont(panelFont);
#endif

    QCoreApplication::setApplicationVersion(QStringLiteral(TQX5R_VERSION));
    CommandLine commandLine;
    const ReconnectOptions reconnectOptions;
    reconnectOptions.add(commandLine.parser());
    const BandFollowOptions bandFollowOptions;
    bandFollowOptions.add(commandLine.parser());
    const RemoteOptions remoteOptions;
    remoteOptions.add(commandLine.parser());
    commandLine.parse(QCoreApplication::arguments());
    QStringList bandFollowProblems;
    const std::optional<BandFollowSettings> bandFollowSettings =
        bandFollowOptions.read(commandLine.parser(), bandFollowProblems);
    for (const QString &problem : bandFollowProblems)
        CommandLine::warn(problem);
    QStringList brokerProblems;
    const std::optional<BrokerSettings> broker = remoteOptions.read(commandLine.parser(), &brokerProblems);
    for (const QString &problem : brokerProblems)
        CommandLine::warn(problem);

    MainWindow window;
    std::unique_ptr<RemoteFeature> remote;
    if (broker) {
        remote = std::make_unique<RemoteFeature>(window, *broker);
        QObject::connect(remote.get(), &RemoteFeature::announce, &window, [&window](const QString &text) {
            window.showStatus(text);
            CommandLine::warn(text);
        });
        QObject::connect(remote.get(), &RemoteFeature::note, &CommandLine::warn);
    }
    window.show();
    window.setFixedSize(window.geometry().width(), window.geometry().height());
    MainWindow::registerMetaType();
    ThreadLeitura pollThread(&window);
    // A child of the window, which ends it.
    ReconnectDriver *reconnect =
        reconnectOptions.enabled(commandLine.parser()) ? new ReconnectDriver(&window) : nullptr;

    std::unique_ptr<BandFollow> bandFollow;
    if (bandFollowSettings) {
        bandFollow = std::make_unique<BandFollow>(*bandFollowSettings, window.seam());
        QObject::connect(bandFollow.get(), &BandFollow::statusText, window.statusBar(),
                         [&window](const QString &text) { window.statusBar()->showMessage(text); });
        for (const QString &problem : bandFollow->startProblems())
            CommandLine::warn(problem);
        if (remote && remote->bridge())
            QObject::connect(bandFollow.get(), &BandFollow::bandChanged, remote->bridge(), &BrokerBridge::setBand);
        if (remote && remote->discovery())
            remote->discovery()->setBandFollow(true);
    }

    QString port = commandLine.port();
    if (broker && broker->remotePanel) {
        if (!port.isEmpty())
            CommandLine::warn(QStringLiteral("--port is ignored by a remote panel, which never opens a serial port."));
        // Attaches to the broker, as "Connect to TQX-5R" would.
        QTimer::singleShot(0, &window, [&window] { window.connectAtStart(QString()); });
        port.clear();
    }
    if (!port.isEmpty()) {
        // Once the event loop runs, so an error box has a shown window over it.
        QTimer::singleShot(0, &window, [&window, reconnect, port] {
            if (reconnect)
                reconnect->connectAtStart(port);
            else
                window.connectAtStart(port);
        });
    }

    const int result = app.exec();
    bandFollow.reset();
    pollThread.stop();
    // Says "offline" on the broker, waiting a bounded time.
    remote.reset();
    return result;
}
