#pragma once

#include "band/BandFollowSettings.h"
#include "settings/SerialSettings.h"

#include <QMetaType>
#include <QString>
#include <QStringList>

// What the panel remembers between runs, as plain values. The defaults are
// what a first start with no settings file gets: nothing follows the band,
// nothing reconnects, nothing connects at start, no broker.

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

    bool operator==(const RigSourceSettings &other) const;
    bool operator!=(const RigSourceSettings &other) const { return !(*this == other); }
};

struct BandFollowPreferences
{
    static constexpr int defaultHangMs = 500;
    static constexpr int maxHangMs = BandFollowSettings::longestHangMs;
    static constexpr int activeRadio = 0;
    static constexpr int maxLoggerRadio = BandFollowSettings::highestLoggerRadio;

    // The operator's switch. It stays on while no source is set, so the first
    // source given is followed at once.
    bool enabled = true;
    RigSourceSettings rig;
    QStringList loggerPorts;     // "[ADDR:]PORT" each
    QStringList allowedSenders;  // "ADDR[/BITS]" each; none: every sender the port hears
    int loggerRadio = activeRadio;  // the radio of a two-radio logger to follow; 0: the active one
    int hangMs = defaultHangMs;     // quiet time after transmitting before band follow may switch

    bool hasSource() const { return rig.kind != RigSourceSettings::Kind::None || !loggerPorts.isEmpty(); }

    bool operator==(const BandFollowPreferences &other) const;
    bool operator!=(const BandFollowPreferences &other) const { return !(*this == other); }
};

// The broker as the operator set it up; the password lives in the secret
// store, never here.
struct BrokerPreferences
{
    enum class Mode { Off, Publish, RemotePanel };

    static QString defaultTopic() { return QStringLiteral("tqx5r"); }
    static QString defaultDiscoveryPrefix() { return QStringLiteral("homeassistant"); }

    Mode mode = Mode::Off;
    QString host;
    int port = 0;  // 0: the usual port, 1883, or 8883 with a CA file
    QString topic = defaultTopic();
    QString user;
    QString caFile;
    bool discovery = false;  // Home Assistant MQTT discovery
    QString discoveryPrefix = defaultDiscoveryPrefix();

    int effectivePort() const;

    bool operator==(const BrokerPreferences &other) const;
    bool operator!=(const BrokerPreferences &other) const { return !(*this == other); }
};

struct StationSettings
{
    BandFollowPreferences bandFollow;
    bool reconnect = false;
    bool connectAtStart = false;
    // The port and line parameters of the last connection that worked, texts
    // included; never filled: an empty port name.
    SerialSettings lastConnection;
    BrokerPreferences broker;

    bool operator==(const StationSettings &other) const;
    bool operator!=(const StationSettings &other) const { return !(*this == other); }
};

bool sameSerialSettings(const SerialSettings &a, const SerialSettings &b);

// The line parameters "Serial Settings" starts with (9600 8N1, no flow
// control), with their texts, for the given port.
SerialSettings defaultSerialSettings(const QString &portName);

Q_DECLARE_METATYPE(BandFollowPreferences)
Q_DECLARE_METATYPE(BrokerPreferences)
