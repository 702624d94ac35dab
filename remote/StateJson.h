#pragma once

#include "panel/SwitchSnapshot.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The switch's state as the JSON the panel keeps retained on BASE/state, for
// dashboards, scripts and remote panels. Every field is described in the
// README.
namespace StateJson {

// band is left out when empty (band follow not running); allowed (bit i:
// antenna i may be used on the band now) only when antenna rules are set.
QByteArray fromSnapshot(const SwitchSnapshot &snapshot, const QString &band = QString(),
                        std::optional<quint8> allowed = std::nullopt);

// The eight key captions a state message carries, cut to the length a key
// shows; empty when the message has none in the expected shape.
QStringList captions(const QByteArray &stateMessage);

} // namespace StateJson
