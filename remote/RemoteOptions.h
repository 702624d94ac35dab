#pragma once

#include "remote/BrokerSettings.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <optional>

// The broker options of the command line:
//   --mqtt HOST[:PORT]          publish this panel's switch on the broker
//   --remote HOST[:PORT]        show the switch another panel publishes
//   --mqtt-topic BASE           base topic (tqx5r)
//   --mqtt-user NAME            user name
//   --mqtt-password-file FILE   password, first line of FILE
//   --mqtt-cafile FILE          TLS, the broker's certificate checked against FILE
//   --mqtt-discovery            Home Assistant discovery configs under "homeassistant"
//   --mqtt-discovery-prefix P   the same under the prefix P
// The password may also come from the environment variable
// TQX5R_MQTT_PASSWORD, which read() removes from the environment; it is never
// an option of its own, so it never shows in a process list.
class RemoteOptions
{
public:
    static constexpr const char *passwordVariable = "TQX5R_MQTT_PASSWORD";
    static constexpr qint64 maxPasswordFileBytes = 4096;
    static constexpr int maxTopicLength = 200;

    RemoteOptions();

    void add(QCommandLineParser &parser) const;
    QList<QCommandLineOption> options() const;

    // The broker settings the options ask for, or nothing when neither
    // --mqtt nor --remote is given or a value is bad. Problems are added to
    // warnings, one line each, without the password. Removes the password
    // variable from the environment in any case.
    std::optional<BrokerSettings> read(const QCommandLineParser &parser, QStringList *warnings) const;

    // HOST, HOST:PORT, [IPv6]:PORT or a bare IPv6 address; never a text
    // with an '@' (USER:PASSWORD@HOST).
    //
    // Neither a broker address with an '@' nor the name given with
    // --mqtt-password-file is repeated in a warning: either may hold a
    // password typed in the wrong place.
    static bool parseAddress(const QString &text, int defaultPort, QString *host, int *port);
    static bool validTopic(const QString &topic);

private:
    // --mqtt-discovery and its prefix into settings; false for a bad prefix.
    bool readDiscovery(const QCommandLineParser &parser, bool remote, BrokerSettings *settings,
                       QStringList *warnings) const;

    QCommandLineOption mqttOption;
    QCommandLineOption remoteOption;
    QCommandLineOption topicOption;
    QCommandLineOption userOption;
    QCommandLineOption passwordFileOption;
    QCommandLineOption caFileOption;
    // Two options, since an option's value cannot be left out: a bare
    // --mqtt-discovery would take the next argument as its prefix.
    QCommandLineOption discoveryOption;
    QCommandLineOption discoveryPrefixOption;
};
