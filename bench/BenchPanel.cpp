// tqx5r-bench-panel: tqx5r-panel as its main() starts it (the station with
// band follow, reconnect and the broker from the same options, --headless
// included), with what the bench needs around it: the moments the window and
// the first status frame were painted, a random operator, an attendant who
// closes boxes and connects again, and a few commands on stdin. The bench's
// own options (--actions, --attended, --exit-after-status) are taken out
// first; the rest is tqx5r-panel's command line.

#include "bench/BenchSupport.h"

#include "app/PanelProgram.h"
#include "app/Station.h"
#include "panel/KeyPainting.h"
#include "panel/MainWindow.h"
#include "panel/Resources.h"
#include "reconnect/ReconnectDriver.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace {

const bool resourcesRegistered = (initPanelResources(), true);

void say(const QByteArray &line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Prints "STAMP shown <ns>" once the window's first paint is done and "STAMP
// status <ns>" once a key has first been painted in the active look, which
// only a status frame gives at start. The time is taken when the event loop
// comes back from the paint, so the whole window has been drawn by then.
class StartWatch : public QObject
{
public:
    StartWatch(QWidget *window, const std::array<QPushButton *, positionCount> &keys, bool quitAfterStatus)
        : window(window)
        , keys(keys)
        , quitAfterStatus(quitAfterStatus)
    {
        window->installEventFilter(this);
        for (QPushButton *key : keys)
            key->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        if (watched == window && !windowShown) {
            windowShown = true;
            QTimer::singleShot(0, this, [] { say("STAMP shown " + QByteArray::number(Bench::nowNs())); });
            return false;
        }
        auto *key = qobject_cast<QPushButton *>(watched);
        if (key && !statusShown && key->styleSheet() == KeyPainting::activeKeyStyle) {
            statusShown = true;
            QTimer::singleShot(0, this, [this] {
                say("STAMP status " + QByteArray::number(Bench::nowNs()));
                if (quitAfterStatus)
                    QCoreApplication::quit();
            });
            return false;
        }
        return false;
    }

private:
    QWidget *window;
    std::array<QPushButton *, positionCount> keys;
    bool quitAfterStatus;
    bool windowShown = false;
    bool statusShown = false;
};

// Presses F-keys and clicks the keys and buttons at random moments.
class RandomOperator : public QObject
{
public:
    explicit RandomOperator(MainWindow *window)
        : window(window)
    {
        for (int i = 0; i < positionCount; ++i)
            buttons << window->findChild<QAbstractButton *>(QStringLiteral("botaoTecla%1").arg(i + 1));
        for (const char *name : {"split", "superSplit", "rotor1", "rotor2", "rotor3", "rotor4"})
            buttons << window->findChild<QAbstractButton *>(QLatin1String(name));
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, [this] { act(); });
        schedule();
    }

    long long actions = 0;

private:
    void schedule() { timer.start(Bench::randomInt(30, 400)); }

    void act()
    {
        // Nothing is pressed while a box is up: the operator would have to
        // close it first.
        if (!QApplication::activeModalWidget()) {
            const int choice = Bench::randomInt(0, positionCount + buttons.size() - 1);
            if (choice < positionCount) {
                const int key = Qt::Key_F1 + choice;
                QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
                QApplication::sendEvent(window, &press);
                QApplication::sendEvent(window, &release);
            } else {
                buttons.at(choice - positionCount)->click();
            }
            ++actions;
        }
        schedule();
    }

    MainWindow *window;
    QList<QAbstractButton *> buttons;
    QTimer timer;
};

struct BenchOptions
{
    bool actions = false;         // press keys and click buttons at random
    bool attended = false;        // close every box, connect again when disconnected
    bool exitAfterStatus = false; // quit once the first status frame is painted
};

// Takes the bench's own options out of argv.
BenchOptions takeBenchOptions(int &argc, char **argv)
{
    BenchOptions options;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--actions") == 0)
            options.actions = true;
        else if (std::strcmp(argv[i], "--attended") == 0)
            options.attended = true;
        else if (std::strcmp(argv[i], "--exit-after-status") == 0)
            options.exitAfterStatus = true;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    return options;
}

} // namespace

int main(int argc, char *argv[])
{
    Q_UNUSED(resourcesRegistered);
    const BenchOptions bench = takeBenchOptions(argc, argv);

    PanelProgram program(argc, argv);
    if (const auto refused = program.build())
        return *refused;
    MainWindow &window = program.window();
    Station &station = program.station();
    const bool headless = program.headless();

    // Bench: the start-up stamps watch the first paints.
    std::array<QPushButton *, positionCount> keys{};
    for (int i = 0; i < positionCount; ++i)
        keys[static_cast<size_t>(i)] = window.findChild<QPushButton *>(QStringLiteral("botaoTecla%1").arg(i + 1));
    std::unique_ptr<StartWatch> startWatch;
    if (!headless)
        startWatch = std::make_unique<StartWatch>(&window, keys, bench.exitAfterStatus);

    program.start();

    // Bench: the operator, the attendant and the commands on stdin.
    std::unique_ptr<RandomOperator> randomOperator;
    if (bench.actions && !headless)
        randomOperator = std::make_unique<RandomOperator>(&window);

    long long boxes = 0;
    QTimer boxCloser;
    QTimer reconnector;
    auto *connectAction = window.findChild<QAction *>(QStringLiteral("actionConnect_to_TQX_5R"));
    auto *disconnectAction = window.findChild<QAction *>(QStringLiteral("actionDisconnect"));
    if (!headless && (bench.attended || station.reconnects())) {
        QObject::connect(&boxCloser, &QTimer::timeout, [&boxes] {
            QWidget *modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            ++boxes;
            QString text;
            if (auto *box = qobject_cast<QMessageBox *>(modal))
                text = box->text();
            say("BOX " + modal->windowTitle().toUtf8() + ": " + text.toUtf8());
            modal->close();
        });
        boxCloser.start(50);
    }
    if (bench.attended) {
        QObject::connect(&reconnector, &QTimer::timeout, [&] {
            if (!QApplication::activeModalWidget() && connectAction->isEnabled())
                connectAction->trigger();
        });
        reconnector.start(500);
    }

    // Commands, one a line: "report", "disconnect", "quit".
    QByteArray input;
    QSocketNotifier stdinNotifier(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&stdinNotifier, &QSocketNotifier::activated, [&] {
        char chunk[256];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) {
            stdinNotifier.setEnabled(false);
            return;
        }
        input.append(chunk, static_cast<int>(got));
        int end;
        while ((end = input.indexOf('\n')) >= 0) {
            const QByteArray command = input.left(end).trimmed();
            input.remove(0, end + 1);
            if (command == "report") {
                const auto *reconnect = window.findChild<ReconnectDriver *>();
                say("REPORT frames=" + QByteArray::number(window.framesReceived())
                    + " boxes=" + QByteArray::number(boxes)
                    + " actions=" + QByteArray::number(randomOperator ? randomOperator->actions : 0)
                    + " queued=" + QByteArray::number(window.queuedCommands().size())
                    + " losses=" + QByteArray::number(reconnect ? reconnect->losses() : 0)
                    + " reconnects=" + QByteArray::number(reconnect ? reconnect->reconnects() : 0)
                    + " tries=" + QByteArray::number(reconnect ? reconnect->tries() : 0));
            } else if (command == "disconnect") {
                disconnectAction->trigger();
            } else if (command == "quit") {
                QCoreApplication::quit();
            }
        }
    });

    return program.run();
}
