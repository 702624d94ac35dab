#include "link/ThreadLeitura.h"
#include "panel/MainWindow.h"
#include "panel/Resources.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFont>
#include <QMetaObject>

namespace {

// The images and theme are in place before any window is built.
const bool resourcesRegistered = (initPanelResources(), true);

} // namespace

int main(int argc, char *argv[])
{
    Q_UNUSED(resourcesRegistered);
    QApplication app(argc, argv);
#ifndef Q_OS_WIN
    // The panel is laid out to the pixel for the small dialog font of the
    // Windows desktop; a wider default font would cut its captions short.
    QFont panelFont(QStringLiteral("Liberation Sans Narrow"), 8);
    panelFont.setStyleHint(QFont::SansSerif);
    QApplication::setFont(panelFont);
#endif

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Control panel for the TQX-5R remote antenna switch."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Connect at start to the serial port NAME (e.g. /dev/ttyUSB0 or COM3), "
                       "at 9600 baud, 8 data bits, no parity, 1 stop bit, no flow control."),
        QStringLiteral("NAME"));
    parser.addOption(portOption);
    QCoreApplication::setApplicationVersion(QStringLiteral(TQX5R_VERSION));
    parser.process(app);

    MainWindow window;
    window.show();
    window.setFixedSize(window.geometry().width(), window.geometry().height());
    MainWindow::registerMetaType();
    ThreadLeitura pollThread(&window);

    if (parser.isSet(portOption)) {
        QMetaObject::invokeMethod(&window, "connectAtStart", Qt::QueuedConnection,
                                  Q_ARG(QString, parser.value(portOption)));
    }

    const int result = app.exec();
    pollThread.stop();
    return result;
}
