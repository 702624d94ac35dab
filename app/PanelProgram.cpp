#include "app/PanelProgram.h"

#include "app/Log.h"
#include "app/MessageLevels.h"
#include "app/StationCommandLine.h"
#include "link/ThreadLeitura.h"

#include <QFont>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>

#include <functional>

#include <clocale>
#include <utility>

namespace {

// Without a screen the window is never shown, and no display is looked for.
// Decided before QApplication exists, since it picks the platform.
bool startsHeadless(int argc, char **argv)
{
    const bool headless = StationCommandLine::asksForHeadless(argc, argv);
    if (headless && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A service's log is read by level; Qt speaks from QApplication on.
    if (headless || qEnvironmentVariableIsSet("JOURNAL_STREAM"))
        Log::takeQtMessages();
    return headless;
}

// Runs once when a window is first exposed, then goes.
class ExposeWatch : public QObject
{
public:
    ExposeWatch(QWindow *window, std::function<void()> then)
        : QObject(window)
        , then(std::move(then))
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!done && event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            done = true;
            then();
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> then;
    bool done = false;
};

} // namespace

PanelProgram::PanelProgram(int &argc, char **argv)
    : isHeadless(startsHeadless(argc, argv))
    , application(argc, argv)
{
    // Hamlib sets LC_NUMERIC to "C" around rig_open and then restores the
    // name it saved, which that very switch has freed when the locale was
    // another. Already "C", the switch changes nothing and frees nothing.
    // Qt formats numbers with its own locale, never with this one. Set once,
    // here: QApplication has just set the locale from the environment, and
    // none of the program's threads (poll, radio, broker) runs yet; changing
    // it later would race with them.
    std::setlocale(LC_NUMERIC, "C");
#ifndef Q_OS_WIN
    // The panel is laid out to the pixel for the small dialog font of the
    // Windows desktop; a wider default font would cut its captions short.
    QFont panelFont(QStringLiteral("Liberation Sans Narrow"), 8);
    panelFont.setStyleHint(QFont::SansSerif);
    QApplication::setFont(panelFont);
#endif
}

PanelProgram::~PanelProgram() = default;

std::optional<int> PanelProgram::build()
{
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
    const auto info = [this](const QString &text) {
        if (text.isEmpty() || text == lastInfo)
            return;
        lastInfo = text;
        Log::write(MessageLevels::of(text), text);
    };
    const auto warning = [](const QString &text) {
        Log::write(MessageLevels::atLeast(Log::Level::Warning, text), text);
    };
    mainWindow = std::make_unique<MainWindow>();
    stationPart = std::make_unique<Station>(*mainWindow, options);
    stationPart->setLog(info, warning);
    if (isHeadless) {
        const EffectiveStation &effective = stationPart->effective();
        const bool hasPort = effective.connectAtStart.has_value()
                             && effective.broker().mode != BrokerSettings::Mode::RemotePanel;
        if (!hasPort) {
            Log::error(QStringLiteral("--headless needs a serial port to serve: give --port NAME, or choose "
                                      "Station > Connect at Start in the window once."));
            return exitRefused;
        }
        serveWithoutScreen();
        QObject::connect(mainWindow->statusBar(), &QStatusBar::messageChanged, info);
    }
    // Under systemd: ready once the station is, the status text beside the
    // service's state, and the watchdog fed from this event loop.
    QObject::connect(stationPart.get(), &Station::ready, &serviceNotify, &ServiceNotify::ready);
    QObject::connect(mainWindow->statusBar(), &QStatusBar::messageChanged, &serviceNotify,
                     &ServiceNotify::setStatus);
    stationPart->build();
    return std::nullopt;
}

// Nothing waits for a person: what a box would show goes to the log, and a
// panel with nothing left to do ends rather than idling unseen.
void PanelProgram::serveWithoutScreen()
{
    Station *station = stationPart.get();
    mainWindow->setCriticalMessage([station](const QString &title, const QString &text) {
        Log::error(QStringLiteral("%1: %2").arg(title, text));
        if (!station->reconnects())
            station->gaveUpNow();
    });
    // A port that fails to open gives up twice: its box, and the start.
    QObject::connect(station, &Station::gaveUp, &application, [ending = false]() mutable {
        if (std::exchange(ending, true))
            return;
        Log::error(QStringLiteral("Nothing left to do without --reconnect; ending."));
        QCoreApplication::exit(exitGaveUp);
    });
}

void PanelProgram::start()
{
    if (!isHeadless) {
        mainWindow->show();
        mainWindow->setFixedSize(mainWindow->geometry().width(), mainWindow->geometry().height());
    }
    MainWindow::registerMetaType();
    pollThread = std::make_unique<ThreadLeitura>(mainWindow.get());
    // Once the event loop runs and the window is on the screen where the
    // window manager put it, so an error box at start shows over it.
    QWindow *shown = isHeadless ? nullptr : mainWindow->windowHandle();
    if (!shown || shown->isExposed()) {
        QTimer::singleShot(0, stationPart.get(), &Station::start);
        return;
    }
    auto *whenExposed = new ExposeWatch(shown, [station = stationPart.get()] {
        QTimer::singleShot(0, station, &Station::start);
    });
    Q_UNUSED(whenExposed);
}

int PanelProgram::run()
{
    const int result = QApplication::exec();
    serviceNotify.stopping();
    stationPart->stopBandFollow();
    if (pollThread)
        pollThread->stop();
    return result;
}
