#pragma once

#include <QString>

// Where and how the panel meets the MQTT broker, as the command line gave it.
struct BrokerSettings
{
    static constexpr int plainPort = 1883;
    static constexpr int tlsPort = 8883;

    QString host;
    int port = plainPort;
    QString topic = QStringLiteral("tqx5r");
    QString user;
    QString password;          // never printed, never logged
    QString caFile;            // TLS, with the broker's certificate and host name checked, when set
    bool remotePanel = false;  // --remote: show the switch another panel publishes
    QString discoveryPrefix;   // Home Assistant discovery under this prefix; empty for none

    bool usesTls() const { return !caFile.isEmpty(); }
    // The broker as shown to the operator: "host:port", "[::1]:port".
    QString address() const;
    // BASE/leaf.
    QString topicFor(const char *leaf) const;
    // BASE/set/USER, where an ACL line "pattern write BASE/set/%u" lets only
    // this user send commands; BASE/set for a user a topic level cannot name
    // (none, or one with '/', '+' or '#').
    QString commandTopic() const;
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
