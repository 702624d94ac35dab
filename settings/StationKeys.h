#pragma once

#include "settings/StationSettings.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

// Every remembered setting once, under its key in station.ini. The file is
// read and written through this table; the command line's values for a run
// are laid over the remembered ones key by key, and what the operator
// changes in a dialog is found and remembered key by key. So a setting
// cannot be stored but never applied, or given but dropped on its way.
namespace StationKeys {

struct Key
{
    QString name;   // "BandFollow/HangMs"
    // The value as stored.
    std::function<QVariant(const StationSettings &)> get;
    // Takes a stored value; false, and nothing changes, when it makes no sense.
    std::function<bool(StationSettings &, const QVariant &)> set;
};

const QList<Key> &all();
QStringList names();

// The named keys of band follow's sources, the radio and the logger ports,
// which the command line gives together.
QStringList bandFollowSourceKeys();
// Every key of band follow.
QStringList bandFollowKeys();
// Every key of the broker.
QStringList brokerKeys();
// The keys of the last connection's port and line parameters.
QStringList connectionKeys();

namespace Name {
extern const QString followEnabled;
extern const QString allowedSenders;
extern const QString loggerRadio;
extern const QString hangMs;
extern const QString reconnect;
extern const QString connectAtStart;
extern const QString brokerMode;
extern const QString discovery;
extern const QString discoveryPrefix;
} // namespace Name

// Copies the named keys' values from one set of settings to another.
void copy(const StationSettings &from, StationSettings &to, const QStringList &keys);
// The keys whose values differ.
QStringList differing(const StationSettings &a, const StationSettings &b);

} // namespace StationKeys
