#pragma once

#include "rig/HamlibSettings.h"
#include "rig/LoggerEndpoint.h"

#include <QList>
#include <QString>

#include <optional>

// What band follow listens to and where it keeps its memory.
struct BandFollowSettings
{
    std::optional<HamlibSettings> rig;
    QList<LoggerEndpoint> loggers;
    QString memoryPath;   // empty: BandMemory::defaultPath()
};
