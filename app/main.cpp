#include "app/PanelProgram.h"
#include "panel/Resources.h"

#include <QCoreApplication>

namespace {

// The images and theme are in place before any window is built.
const bool resourcesRegistered = (initPanelResources(), true);

} // namespace

int main(int argc, char *argv[])
{
    Q_UNUSED(resourcesRegistered);
    PanelProgram program(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TQX5R_VERSION));
    if (const auto refused = program.build())
        return *refused;
    program.start();
    return program.run();
}
