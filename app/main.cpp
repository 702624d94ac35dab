#include "app/CommandLine.h"
#include "app/Log.h"
#include "app/ServiceNotify.h"
#include "app/Station.h"
#include "app/StationCommandLine.h"
#include "app/TerminationSignals.h"
#include "link/ThreadLeitura.h"
#include "panel/MainWindow.h"
#include "panel/Resources.h"

#include <QApplication>
#include <QFont>
#include <QStatusBar>
#include <QTimer>

#include <clocale>
#include <utility>

namespace {

// The images and theme are in place before any window is built.
const bool resourcesRegistered = (initPanelResources(), true);

constexpr int exitRefused = 2;
constexpr int exitGaveUp = 1;

} // namespace

int main(int argc, char *argv[])
{
    Q_UNUSED(resourcesRegistered);
    // Without a screen the window is never shown, and no display is looked for.
    const bool headless = StationCommandLine::asksForHeadless(argc, argv);
    if (headless && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
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
    Station::Options options;
    {
        StationCommandLine commandLine;
        QString refusal;
        if (!commandLine.read(QCoreApplication::arguments(), &options, &refusal)) {
            Log::error(refusal);
            return exitRefused;
        }
    }

    // Without a screen the status texts go to the log too, and one of them
    // often repeats the line the station has just logged: said once. Made
    // before the window, whose status bar may still speak as it closes.
    QString lastInfo;
    const auto info = [&lastInfo](const QString &text) {
        if (text.isEmpty() || text == lastInfo)
            return;
        lastInfo = text;
        Log::info(text);
    };
    MainWindow window;
    Station station(window, options);
    station.setLog(info, Log::warning);
    if (headless) {
        const bool hasPort = station.effective().connectAtStart.has_value()
                             && station.effective().broker.mode != BrokerPreferences::Mode::RemotePanel;
        if (!hasPort) {
            Log::error(QStringLiteral("--headless needs a serial port to serve: give --port NAME, or choose "
                                      "Station > Connect at Start in the window once."));
            return exitRefused;
        }
        // Nothing waits for a person: what a box would show, and every status
        // text, goes to the log.
        window.setCriticalMessage([&station](const QString &title, const QString &text) {
            Log::error(QStringLiteral("%1: %2").arg(title, text));
            if (!station.reconnects())
                station.gaveUpNow();
        });
        QObject::connect(window.statusBar(), &QStatusBar::messageChanged, info);
        // A port that fails to open gives up twice: its box, and the start.
        QObject::connect(&station, &Station::gaveUp, &app, [ending = false]() mutable {
            if (std::exchange(ending, true))
                return;
            Log::error(QStringLiteral("Nothing left to do without --reconnect; ending."));
            QCoreApplication::exit(exitGaveUp);
        });
    }
    // Under systemd: ready once the station is, the status text beside the
    // service's state, and the watchdog fed from this event loop.
    ServiceNotify serviceNotify;
    QObject::connect(&station, &Station::ready, &serviceNotify, &ServiceNotify::ready);
    QObject::connect(window.statusBar(), &QStatusBar::messageChanged, &serviceNotify, &ServiceNotify::setStatus);
    station.build();
    if (!headless) {
        window.show();
        window.setFixedSize(window.geometry().width(), window.geometry().height());
    }
    MainWindow::registerMetaType();
    ThreadLeitura pollThread(&window);
    // Once the event loop runs, so an error box has a shown window over it.
    QTimer::singleShot(0, &station, &Station::start);

    const int result = app.exec();
    serviceNotify.stopping();
    station.stopBandFollow();
    pollThread.stop();
    return result;
}
