#pragma once

#include "rig/HamlibSettings.h"
#include "rig/LoggerEndpoint.h"
#include "rig/LoggerPackets.h"
#include "rig/SenderFilter.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <optional>

// Where band follow reads the radio.
struct RigSourceSettings
{
    enum class Kind { None, Rigctld, SerialRadio };

    static QString defaultRigctldAddress() { return QStringLiteral("localhost:4532"); }

    Kind kind = Kind::None;
    QString rigctldAddress = defaultRigctldAddress();  // host:port of a running rigctld
    int model = 0;                                     // Hamlib model of a radio on a serial port
    QString device;                                    // its serial device
    int speed = 0;                                     // its speed in baud; 0: the model's default

    // How Hamlib reaches it, or nothing without a radio.
    std::optional<HamlibSettings> hamlib() const;

    bool operator==(const RigSourceSettings &other) const;
    bool operator!=(const RigSourceSettings &other) const { return !(*this == other); }
};

// Band follow as the operator sets it up, in one type from end to end: read
// from the command line and from the remembered settings, edited in Band
// Follow Settings, and run as it stands (BandFollow takes its sources, the
// senders, the radio and the hang time from here). The antenna memory's file
// is the profile's, or the one --bands names.
struct BandFollowSettings
{
    static constexpr int defaultHangMs = 500;
    static constexpr int longestHangMs = 10000;
    static constexpr int activeRadio = LoggerPackets::activeRadio;
    static constexpr int highestLoggerRadio = 8;

    // The operator's switch. It stays on while no source is set, so the first
    // source given is followed at once.
    bool enabled = true;
    RigSourceSettings rig;
    QStringList loggerPorts;        // "[ADDR:]PORT" each
    QStringList allowedSenders;     // "ADDR[/BITS]" each; none: every sender the ports hear
    int loggerRadio = activeRadio;  // the radio of a two-radio logger to follow; 0: the active one
    int hangMs = defaultHangMs;     // quiet time after transmitting before band follow may switch

    bool hasSource() const { return rig.kind != RigSourceSettings::Kind::None || !loggerPorts.isEmpty(); }

    bool operator==(const BandFollowSettings &other) const;
    bool operator!=(const BandFollowSettings &other) const { return !(*this == other); }
};

// What the settings' texts say, parsed: the logger ports to bind and the
// senders to take packets from. Entries that do not parse are left out,
// each with a line in problems.
struct LoggerSources
{
    QList<LoggerEndpoint> ports;
    SenderFilter senders;

    static LoggerSources of(const BandFollowSettings &settings, QStringList *problems);
};

Q_DECLARE_METATYPE(BandFollowSettings)
