#include "remote/RemoteOptions.h"

#include "remote/DiscoveryConfig.h"

#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QTemporaryFile>

namespace {

constexpr int highestPort = 65535;

bool parsePort(const QString &text, int *port)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > highestPort || text.startsWith(QLatin1Char('+')))
        return false;
    *port = value;
    return true;
}

// The user this program runs as: the owner of a file it has just made. Qt
// has no portable call that tells it.
std::optional<uint> ownUserId()
{
    QTemporaryFile probe;
    if (!probe.open())
        return std::nullopt;
    return QFileInfo(probe.fileName()).ownerId();
}

// The first line of the file; the line break is not part of the password.
// The file is called by its option, never by the name given: a password
// typed there by mistake would be written out for anyone reading the log.
std::optional<QString> readPasswordFile(const QString &path, QStringList *warnings)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *warnings << QStringLiteral("Cannot read the file given with --mqtt-password-file: %1").arg(file.errorString());
        return std::nullopt;
    }
    // A file others may read holds no secret, and one others may change or
    // own can be made to hold theirs.
    const QFile::Permissions permissions = file.permissions();
    if (permissions & (QFile::ReadGroup | QFile::ReadOther))
        *warnings << QStringLiteral("The password file (--mqtt-password-file) can be read by other users; make it "
                                    "readable by its owner only (chmod 600).");
    if (permissions & (QFile::WriteGroup | QFile::WriteOther))
        *warnings << QStringLiteral("The password file (--mqtt-password-file) can be changed by other users; make "
                                    "it writable by its owner only (chmod 600).");
    const std::optional<uint> self = ownUserId();
    if (self && QFileInfo(path).ownerId() != *self)
        *warnings << QStringLiteral("The password file (--mqtt-password-file) belongs to another user (%1); keep "
                                    "the password in a file of your own.").arg(QFileInfo(path).owner());
    const QByteArray content = file.read(RemoteOptions::maxPasswordFileBytes);
    const int end = content.indexOf('\n');
    QByteArray line = end >= 0 ? content.left(end) : content;
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        *warnings << QStringLiteral("The password file (--mqtt-password-file) holds no password; logging in "
                                    "without one.");
    return QString::fromUtf8(line);
}

// Decided by the address: a name that merely begins like one ("127.x.example")
// may be anywhere.
bool isThisComputer(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    QHostAddress address;
    return address.setAddress(host) && address.isLoopback();
}

} // namespace

RemoteOptions::RemoteOptions()
    : mqttOption(QStringLiteral("mqtt"),
                 QStringLiteral("Publish the switch on the MQTT broker at HOST (port 1883, or 8883 with "
                                "--mqtt-cafile) and take commands from it."),
                 QStringLiteral("HOST[:PORT]"))
    , remoteOption(QStringLiteral("remote"),
                   QStringLiteral("Show and operate the switch that another panel publishes on the MQTT "
                                  "broker at HOST, instead of a serial port."),
                   QStringLiteral("HOST[:PORT]"))
    , topicOption(QStringLiteral("mqtt-topic"), QStringLiteral("Base topic on the broker (default tqx5r)."),
                  QStringLiteral("BASE"))
    , userOption(QStringLiteral("mqtt-user"), QStringLiteral("User name at the broker."), QStringLiteral("NAME"))
    , passwordFileOption(QStringLiteral("mqtt-password-file"),
                         QStringLiteral("Read the broker password from the first line of FILE (or set "
                                        "TQX5R_MQTT_PASSWORD)."),
                         QStringLiteral("FILE"))
    , caFileOption(QStringLiteral("mqtt-cafile"),
                   QStringLiteral("Connect with TLS; the broker's certificate must be signed by a CA in FILE "
                                  "and name the host."),
                   QStringLiteral("FILE"))
    , discoveryOption(QStringLiteral("mqtt-discovery"),
                      QStringLiteral("With --mqtt: publish Home Assistant MQTT discovery configs, so the switch "
                                     "appears there by itself (prefix homeassistant)."))
    , discoveryPrefixOption(QStringLiteral("mqtt-discovery-prefix"),
                            QStringLiteral("As --mqtt-discovery, under the discovery prefix PREFIX."),
                            QStringLiteral("PREFIX"))
{
}

QList<QCommandLineOption> RemoteOptions::options() const
{
    return {mqttOption, remoteOption, topicOption, userOption, passwordFileOption, caFileOption,
                       discoveryOption, discoveryPrefixOption};
}

void RemoteOptions::add(QCommandLineParser &parser) const
{
    parser.addOptions(options());
}

std::optional<BrokerSettings> RemoteOptions::read(const QCommandLineParser &parser, QStringList *warnings) const
{
    // Taken out of the environment at once, so nothing this program starts
    // inherits it.
    const QString environmentPassword = qEnvironmentVariable(passwordVariable);
    qunsetenv(passwordVariable);
    const bool owner = parser.isSet(mqttOption);
    const bool remote = parser.isSet(remoteOption);
    if (!owner && !remote) {
        for (const QCommandLineOption *option : {&topicOption, &userOption, &passwordFileOption, &caFileOption,
                                                 &discoveryOption, &discoveryPrefixOption}) {
            if (parser.isSet(*option))
                *warnings << QStringLiteral("--%1 is ignored without --mqtt or --remote.").arg(option->names().first());
        }
        return std::nullopt;
    }
    if (owner && remote) {
        *warnings << QStringLiteral("Give either --mqtt or --remote, not both; the panel starts without the broker.");
        return std::nullopt;
    }

    BrokerSettings settings;
    settings.mode = remote ? BrokerSettings::Mode::RemotePanel : BrokerSettings::Mode::Publish;
    settings.caFile = parser.value(caFileOption);
    if (parser.isSet(caFileOption) && !QFileInfo(settings.caFile).isReadable()) {
        *warnings << QStringLiteral("Cannot read the CA file '%1'; the panel starts without the broker.").arg(settings.caFile);
        return std::nullopt;
    }
    const int defaultPort = settings.usesTls() ? BrokerSettings::tlsPort : BrokerSettings::plainPort;
    const QString address = parser.value(remote ? remoteOption : mqttOption);
    if (!parseAddress(address, defaultPort, &settings.host, &settings.port)) {
        // USER:PASSWORD@HOST is how many tools take a login; it is not
        // repeated here.
        if (address.contains(QLatin1Char('@'))) {
            *warnings << QStringLiteral("The --%1 value is not a broker address (HOST or HOST:PORT) and is not shown, "
                                        "since it holds an '@': a user and password go in --mqtt-user and "
                                        "--mqtt-password-file, never in the address; the panel starts without the "
                                        "broker.").arg((remote ? remoteOption : mqttOption).names().first());
        } else {
            *warnings << QStringLiteral("'%1' is not a broker address (HOST or HOST:PORT); the panel starts "
                                        "without the broker.").arg(address);
        }
        return std::nullopt;
    }
    if (parser.isSet(topicOption))
        settings.topic = parser.value(topicOption);
    if (!validTopic(settings.topic)) {
        *warnings << QStringLiteral("'%1' cannot be a base topic (no '+', '#' or trailing '/', at most %2 "
                                    "characters); the panel starts without the broker.")
                         .arg(settings.topic)
                         .arg(maxTopicLength);
        return std::nullopt;
    }

    if (!readDiscovery(parser, remote, &settings, warnings))
        return std::nullopt;

    settings.user = parser.value(userOption);
    if (parser.isSet(passwordFileOption)) {
        const std::optional<QString> password = readPasswordFile(parser.value(passwordFileOption), warnings);
        if (!password) {
            *warnings << QStringLiteral("The panel starts without the broker.");
            return std::nullopt;
        }
        settings.password = *password;
    } else {
        settings.password = environmentPassword;
    }
    if (!settings.password.isEmpty() && settings.user.isEmpty()) {
        *warnings << QStringLiteral("A broker password needs --mqtt-user; it is not sent.");
        settings.password.clear();
    }
    if (!settings.password.isEmpty() && !settings.usesTls() && !isThisComputer(settings.host))
        *warnings << QStringLiteral("The broker password goes to %1 unencrypted; use --mqtt-cafile (TLS) for a "
                                    "broker on another computer.").arg(settings.host);
    return settings;
}

bool RemoteOptions::readDiscovery(const QCommandLineParser &parser, bool remote, BrokerSettings *settings,
                                  QStringList *warnings) const
{
    const bool prefixGiven = parser.isSet(discoveryPrefixOption);
    if (!parser.isSet(discoveryOption) && !prefixGiven)
        return true;
    // Only the panel with the switch publishes it; a remote panel has nothing to add.
    if (remote) {
        *warnings << QStringLiteral("--mqtt-discovery is ignored by a remote panel; the panel with --mqtt publishes "
                                    "the discovery configs.");
        return true;
    }
    const QString prefix =
        prefixGiven ? parser.value(discoveryPrefixOption) : QString::fromLatin1(DiscoveryConfig::defaultPrefix);
    if (!validTopic(prefix)) {
        *warnings << QStringLiteral("'%1' cannot be a discovery prefix (no '+', '#' or trailing '/'); the panel "
                                    "starts without the broker.").arg(prefix);
        return false;
    }
    settings->discovery = true;
    settings->discoveryPrefix = prefix;
    return true;
}

bool RemoteOptions::parseAddress(const QString &text, int defaultPort, QString *host, int *port)
{
    QString name = text;
    QString portText;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return false;
        name = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return false;
            portText = rest.mid(1);
        }
    } else if (text.count(QLatin1Char(':')) == 1) {
        const int colon = text.indexOf(QLatin1Char(':'));
        name = text.left(colon);
        portText = text.mid(colon + 1);
    }
    // No host name holds an '@': "user:password@host" is a login, not an address.
    if (name.isEmpty() || name.contains(QLatin1Char(' ')) || name.contains(QLatin1Char('/'))
        || text.contains(QLatin1Char('@')))
        return false;
    int value = defaultPort;
    if (!portText.isNull() && !parsePort(portText, &value))
        return false;
    *host = name;
    *port = value;
    return true;
}

bool RemoteOptions::validTopic(const QString &topic)
{
    return !topic.isEmpty() && topic.size() <= maxTopicLength && !topic.contains(QLatin1Char('+'))
           && !topic.contains(QLatin1Char('#')) && !topic.contains(QChar(0)) && !topic.endsWith(QLatin1Char('/'));
}
