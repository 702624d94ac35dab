#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// Home Assistant's MQTT discovery configs for the switch published under one
// base topic: a select "Antenna" whose options are the keys' names and whose
// commands go to BASE/set as {"antenna":n}, binary sensors SEND and POWER,
// sensors for the firmware revision and (while band follow runs) the band,
// all read from BASE/state, available while BASE/online is "true", and one
// device. Ids derive from the base topic, so they stay the same from run to
// run and differ between switches.
namespace DiscoveryConfig {

constexpr const char *defaultPrefix = "homeassistant";

struct Inputs
{
    QString prefix = QString::fromLatin1(defaultPrefix);
    QString baseTopic;
    QStringList captions;  // the eight key captions, "" for none
    bool bandFollow = false;
};

struct Config
{
    QString topic;      // <prefix>/<component>/<node>/<object>/config
    QByteArray payload; // JSON; empty removes the entity
};

// The configs to publish retained. Without band follow the band sensor's
// config is empty, so a band sensor from an earlier run goes away.
QVector<Config> build(const Inputs &inputs);

// The select's options: each key's caption, "Ant N" for a key without one,
// and "Caption (Ant N)" for captions that two keys share and for the words
// Home Assistant gives a meaning of its own ("None", "unknown",
// "unavailable", in any case).
QStringList antennaOptions(const QStringList &captions);

// The base topic as Home Assistant takes a node id ([A-Za-z0-9_-]); a topic
// that needs changing for it gets a short hash of itself appended, so that
// "a/b" and "a_b" stay apart.
QString nodeId(const QString &baseTopic);

// A Jinja string literal holding text, with every character that could end
// the literal or the template written as an escape.
QString jinjaString(const QString &text);

} // namespace DiscoveryConfig
