#pragma once

#include "app/ServiceNotify.h"
#include "app/Station.h"
#include "app/TerminationSignals.h"
#include "panel/MainWindow.h"

#include <QApplication>
#include <QString>

#include <memory>
#include <optional>

class ThreadLeitura;

// tqx5r-panel from its command line to the end of its event loop: the
// application, the window, the station composed from the options, and what
// a panel without a screen does instead of asking a person. main() and the
// bench's panel both start the program through this class, so the bench
// measures the program as it ships.
class PanelProgram
{
public:
    static constexpr int exitGaveUp = 1;
    static constexpr int exitRefused = 2;

    // Takes Qt's own arguments out of argc/argv, as QApplication does.
    PanelProgram(int &argc, char **argv);
    ~PanelProgram();

    PanelProgram(const PanelProgram &) = delete;
    PanelProgram &operator=(const PanelProgram &) = delete;

    // Reads the options and builds the station. On a refusal the reason has
    // been logged and the exit code is returned; the program must end.
    std::optional<int> build();

    // Shows the window (unless headless), starts polling and, once the event
    // loop runs, the station.
    void start();

    // Runs the event loop, then winds the station down. Returns the exit code.
    int run();

    bool headless() const { return isHeadless; }
    MainWindow &window() { return *mainWindow; }
    Station &station() { return *stationPart; }

private:
    void serveWithoutScreen();

    const bool isHeadless;
    QApplication application;
    // A signal to end ends the event loop, and the program winds down in
    // run() as when the window is closed.
    const TerminationSignals terminationSignals;
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<Station> stationPart;
    ServiceNotify serviceNotify;
    std::unique_ptr<ThreadLeitura> pollThread;
    QString lastInfo;
};
