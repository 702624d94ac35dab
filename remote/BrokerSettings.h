#pragma once

#include <QMetaType>
#include <QString>

// Where and how the panel meets the MQTT broker, in one type from end to
// end: read from the command line and from the remembered settings, edited
// in Broker Settings, and run as it stands by the bridge, the remote panel's
// link and discovery. The password travels with it for the run, but is
// never remembered, printed or logged.
struct BrokerSettings
{
    enum class Mode { Off, Publish, RemotePanel };

    static constexpr int plainPort = 1883;
    static constexpr int tlsPort = 8883;
    static QString defaultTopic() { return QStringLiteral("tqx5r"); }
    static QString defaultDiscoveryPrefix() { return QStringLiteral("homeassistant"); }

    Mode mode = Mode::Off;     // Publish: --mqtt; RemotePanel: --remote, show the switch another panel publishes
    QString host;
    int port = 0;              // 0: the usual port, 1883, or 8883 with TLS
    QString topic = defaultTopic();
    QString user;
    QString caFile;            // TLS, with the broker's certificate and host name checked, when set
    bool discovery = false;    // Home Assistant MQTT discovery, when publishing
    QString discoveryPrefix = defaultDiscoveryPrefix();
    QString password;          // this run's only: never remembered, printed or logged

    bool remotePanel() const { return mode == Mode::RemotePanel; }
    bool usesTls() const { return !caFile.isEmpty(); }
    int effectivePort() const;
    // The prefix discovery configs go under, or empty when none are published.
    QString discoveryPrefixInUse() const;
    // The broker as shown to the operator: "host:port", "[::1]:port".
    QString address() const;
    // BASE/leaf.
    QString topicFor(const char *leaf) const;
    // BASE/set/USER, where an ACL line "pattern write BASE/set/%u" lets only
    // this user send commands; BASE/set for a user a topic level cannot name
    // (none, or one with '/', '+' or '#').
    QString commandTopic() const;

    // Everything but the password.
    bool operator==(const BrokerSettings &other) const;
    bool operator!=(const BrokerSettings &other) const { return !(*this == other); }
};

// The leaves under the base topic.
namespace BrokerTopics {
constexpr const char *online = "online";     // retained "true"/"false", false also as last will
constexpr const char *state = "state";       // retained JSON of the switch
constexpr const char *set = "set";           // JSON commands to the switch, also on set/USER
constexpr const char *error = "error";       // why a command was not sent
constexpr const char *frames = "frames";     // each raw frame from the switch
constexpr const char *firmware = "firmware"; // retained copy of the last firmware frame
} // namespace BrokerTopics

Q_DECLARE_METATYPE(BrokerSettings)
