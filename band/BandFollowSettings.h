#pragma once

#include "rig/HamlibSettings.h"
#include "rig/LoggerEndpoint.h"
#include "rig/LoggerPackets.h"
#include "rig/SenderFilter.h"

#include <QList>
#include <QString>

#include <optional>

// What band follow listens to, how it waits, and where it keeps its memory.
struct BandFollowSettings
{
    static constexpr int defaultHangMs = 500;
    static constexpr int longestHangMs = 10000;
    static constexpr int highestLoggerRadio = 8;

    std::optional<HamlibSettings> rig;
    QList<LoggerEndpoint> loggers;
    SenderFilter loggerSenders;                      // empty: any sender the port hears
    int loggerRadio = LoggerPackets::activeRadio;
    int hangMs = defaultHangMs;                      // after transmitting, before a select may leave
    QString memoryPath;   // empty: BandMemory::defaultPath()

    bool hasSource() const { return rig.has_value() || !loggers.isEmpty(); }
};
