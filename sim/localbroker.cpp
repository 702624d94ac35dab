// tqx5r-localbroker: a private Mosquitto on free loopback ports for the demo,
// with a WebSockets listener that serves the web page. Anyone on this
// computer may connect; nothing outside it can. Runs until SIGINT or SIGTERM.

#include "sim/LocalBroker.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Starts a private Mosquitto broker on free loopback ports and prints where it listens:\n"
        "  MQTT 127.0.0.1:PORT\n  WEB http://127.0.0.1:PORT/\n"
        "It allows anonymous clients and stops on SIGINT or SIGTERM."));
    parser.addHelpOption();
    const QCommandLineOption httpDirOption(QStringLiteral("http-dir"),
                                           QStringLiteral("Serve the files in DIR on the WebSockets listener."),
                                           QStringLiteral("DIR"));
    parser.addOption(httpDirOption);
    parser.process(app);

    const QString httpDir = parser.value(httpDirOption);
    if (!httpDir.isEmpty() && !QFileInfo(httpDir).isDir()) {
        std::fprintf(stderr, "tqx5r-localbroker: %s is not a folder\n", qPrintable(httpDir));
        return 2;
    }
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) < 0)
        return 1;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    LocalBroker broker;
    broker.enableWebSockets(httpDir.isEmpty() ? QString() : QFileInfo(httpDir).absoluteFilePath());
    if (!broker.start()) {
        std::fprintf(stderr, "tqx5r-localbroker: %s\n", qPrintable(broker.errorString()));
        return 1;
    }
    std::printf("MQTT 127.0.0.1:%d\nWEB %s\n", broker.port(), qPrintable(broker.webUrl()));
    std::fflush(stdout);
    const int result = app.exec();
    broker.stop();
    return result;
}
