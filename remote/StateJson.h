#pragma once

#include "panel/SwitchSnapshot.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The switch's state as the JSON the panel keeps retained on BASE/state, for
// dashboards, scripts and remote panels. Every field is described in the
// README.
namespace StateJson {

// band is left out when empty (band follow not running).
QByteArray fromSnapshot(const SwitchSnapshot &snapshot, const QString &band = QString());

// The eight key captions a state message carries, cut to the length a key
// shows; empty when the message has none in the expected shape.
QStringList captions(const QByteArray &stateMessage);

} // namespace StateJson
