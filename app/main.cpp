#include "app/PanelProgram.h"
#include "app/TerminationSignals.h"
#include "panel/Resources.h"

#include <QCoreApplication>

namespace {

// A service manager may stop the program the moment it has started: the
// signals are taken over before anything else, so even then it winds down
// cleanly.
const bool signalsTakenOver = (TerminationSignals::install(), true);

// The images and theme are in place before any window is built.
const bool resourcesRegistered = (initPanelResources(), true);

} // namespace

int main(int argc, char *argv[])
{
    Q_UNUSED(signalsTakenOver);
    Q_UNUSED(resourcesRegistered);
    PanelProgram program(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TQX5R_VERSION));
    if (const auto refused = program.build())
        return *refused;
    program.start();
    return program.run();
}
