#pragma once

#include "band/BandFollowSettings.h"
#include "settings/SerialSettings.h"

#include <QMetaType>
#include <QString>
#include <QStringList>

// What the panel remembers between runs, as plain values. The defaults are
// what a first start with no settings file gets: nothing follows the band,
// nothing reconnects, nothing connects at start, no broker.

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
    BandFollowSettings bandFollow;
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

Q_DECLARE_METATYPE(BrokerPreferences)
