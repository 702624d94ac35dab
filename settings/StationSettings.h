#pragma once

#include "band/BandFollowSettings.h"
#include "remote/BrokerSettings.h"
#include "settings/SerialSettings.h"

#include <QMetaType>
#include <QString>
#include <QStringList>

// What the panel remembers between runs, as plain values. The defaults are
// what a first start with no settings file gets: nothing follows the band,
// nothing reconnects, nothing connects at start, no broker.

struct StationSettings
{
    BandFollowSettings bandFollow;
    bool reconnect = false;
    bool connectAtStart = false;
    // The port and line parameters of the last connection that worked, texts
    // included; never filled: an empty port name.
    SerialSettings lastConnection;
    BrokerSettings broker;   // its password is never remembered

    bool operator==(const StationSettings &other) const;
    bool operator!=(const StationSettings &other) const { return !(*this == other); }
};

bool sameSerialSettings(const SerialSettings &a, const SerialSettings &b);

// The line parameters "Serial Settings" starts with (9600 8N1, no flow
// control), with their texts, for the given port.
SerialSettings defaultSerialSettings(const QString &portName);

