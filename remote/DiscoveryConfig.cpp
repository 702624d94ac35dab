#include "remote/DiscoveryConfig.h"

#include "remote/BrokerSettings.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace DiscoveryConfig {

namespace {

constexpr int antennaCount = 8;
constexpr int nodeHashHexDigits = 8;
const QString onlinePayload = QStringLiteral("true");
const QString offlinePayload = QStringLiteral("false");

QString defaultName(int antenna)
{
    return QStringLiteral("Ant %1").arg(antenna);
}

// Home Assistant reads a select's state "None" as no option, and shows
// "unknown" and "unavailable" for states of its own: an option with one of
// these words would look like no antenna at all.
bool reservedByHomeAssistant(const QString &name)
{
    for (const char *word : {"None", "unknown", "unavailable"}) {
        if (name.compare(QLatin1String(word), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Captions come from a file the operator writes: control characters would
// make odd option names, and blanks around a caption pad it on the key.
QString cleanCaption(const QString &caption)
{
    QString clean;
    const QVector<uint> codePoints = caption.toUcs4();
    for (const uint c : codePoints) {
        if (QChar::isSpace(c))
            clean += QLatin1Char(' ');
        else if (QChar::isPrint(c))
            clean += QString::fromUcs4(&c, 1);
    }
    return clean.simplified();
}

bool plainJinjaCharacter(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u' '
           || c == u'.' || c == u'-' || c == u'_' || c == u'(' || c == u')';
}

QJsonObject common(const Inputs &in, const QString &node, const QString &object, const QString &name)
{
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{node}},
        {QStringLiteral("name"), in.baseTopic == QLatin1String("tqx5r") ? QStringLiteral("TQX-5R")
                                                                          : QStringLiteral("TQX-5R %1").arg(in.baseTopic)},
        {QStringLiteral("manufacturer"), QStringLiteral("Veltrix")},
        {QStringLiteral("model"), QStringLiteral("TQX-5R")},
    };
    const QString base = in.baseTopic + QLatin1Char('/');
    return QJsonObject{
        {QStringLiteral("name"), name},
        {QStringLiteral("unique_id"), QStringLiteral("%1_%2").arg(node, object)},
        {QStringLiteral("state_topic"), base + QLatin1String(BrokerTopics::state)},
        {QStringLiteral("availability_topic"), base + QLatin1String(BrokerTopics::online)},
        {QStringLiteral("payload_available"), onlinePayload},
        {QStringLiteral("payload_not_available"), offlinePayload},
        {QStringLiteral("device"), device},
    };
}

Config config(const Inputs &in, const QString &component, const QString &node, const QString &object,
              const QJsonObject &fields)
{
    return Config{QStringLiteral("%1/%2/%3/%4/config").arg(in.prefix, component, node, object),
                  QJsonDocument(fields).toJson(QJsonDocument::Compact)};
}

QJsonObject merged(QJsonObject into, const QJsonObject &more)
{
    for (auto it = more.begin(); it != more.end(); ++it)
        into.insert(it.key(), it.value());
    return into;
}

} // namespace

QStringList antennaOptions(const QStringList &captions)
{
    QStringList names;
    for (int i = 0; i < antennaCount; ++i) {
        const QString caption = cleanCaption(captions.value(i));
        names << (caption.isEmpty() ? defaultName(i + 1) : caption);
    }
    QStringList options = names;
    for (int i = 0; i < antennaCount; ++i) {
        if (names.count(names.at(i)) > 1 || reservedByHomeAssistant(names.at(i)))
            options[i] = QStringLiteral("%1 (%2)").arg(names.at(i), defaultName(i + 1));
    }
    // Long captions could still meet another key's name; then the numbers alone.
    if (QSet<QString>(options.begin(), options.end()).size() != antennaCount) {
        for (int i = 0; i < antennaCount; ++i)
            options[i] = defaultName(i + 1);
    }
    return options;
}

QString nodeId(const QString &baseTopic)
{
    QString node;
    for (const QChar c : baseTopic) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9')
                             || u == u'_' || u == u'-';
        node += allowed ? c : QChar(QLatin1Char('_'));
    }
    if (node != baseTopic) {
        const QByteArray hash = QCryptographicHash::hash(baseTopic.toUtf8(), QCryptographicHash::Sha1).toHex();
        node += QLatin1Char('_') + QString::fromLatin1(hash.left(nodeHashHexDigits));
    }
    return node;
}

QString jinjaString(const QString &text)
{
    QString literal = QStringLiteral("\"");
    const QVector<uint> codePoints = text.toUcs4();
    for (const uint c : codePoints) {
        if (c < 0x80 && plainJinjaCharacter(static_cast<char16_t>(c)))
            literal += QChar(static_cast<char16_t>(c));
        else if (c <= 0xFFFF)
            literal += QStringLiteral("\\u%1").arg(c, 4, 16, QLatin1Char('0'));
        else
            literal += QStringLiteral("\\U%1").arg(c, 8, 16, QLatin1Char('0'));
    }
    return literal + QLatin1Char('"');
}

QVector<Config> build(const Inputs &in)
{
    const QString node = nodeId(in.baseTopic);
    const QStringList options = antennaOptions(in.captions);
    QStringList literals;
    for (const QString &option : options)
        literals << jinjaString(option);
    const QString list = QLatin1Char('[') + literals.join(QLatin1Char(',')) + QLatin1Char(']');

    // The antenna in use picks its option; while the switch does not answer
    // (antenna null) the select is unknown. An option picks its antenna.
    const QJsonObject select{
        {QStringLiteral("command_topic"), in.baseTopic + QLatin1Char('/') + QLatin1String(BrokerTopics::set)},
        {QStringLiteral("command_template"), QStringLiteral("{\"antenna\":{{ %1.index(value) + 1 }}}").arg(list)},
        {QStringLiteral("value_template"),
         QStringLiteral("{% set n = value_json.antenna %}{{ %1[n - 1] if n is number and 1 <= n <= %2 else \"None\" }}")
             .arg(list)
             .arg(antennaCount)},
        {QStringLiteral("options"), QJsonArray::fromStringList(options)},
        {QStringLiteral("icon"), QStringLiteral("mdi:antenna")},
    };
    const auto onOff = [](const char *field) {
        return QJsonObject{
            {QStringLiteral("value_template"),
             QStringLiteral("{{ \"ON\" if value_json.%1 is sameas true else \"OFF\" }}").arg(QLatin1String(field))},
            {QStringLiteral("payload_on"), QStringLiteral("ON")},
            {QStringLiteral("payload_off"), QStringLiteral("OFF")},
        };
    };
    const auto text = [](const char *field, const char *icon) {
        return QJsonObject{
            {QStringLiteral("value_template"),
             QStringLiteral("{{ value_json.%1 if value_json.%1 is string else \"None\" }}").arg(QLatin1String(field))},
            {QStringLiteral("icon"), QLatin1String(icon)},
        };
    };

    QVector<Config> configs{
        config(in, QStringLiteral("select"), node, QStringLiteral("antenna"),
               merged(common(in, node, QStringLiteral("antenna"), QStringLiteral("Antenna")), select)),
        config(in, QStringLiteral("binary_sensor"), node, QStringLiteral("send"),
               merged(common(in, node, QStringLiteral("send"), QStringLiteral("SEND")), onOff("send"))),
        config(in, QStringLiteral("binary_sensor"), node, QStringLiteral("power"),
               merged(common(in, node, QStringLiteral("power"), QStringLiteral("POWER")),
                      merged(onOff("power"), {{QStringLiteral("device_class"), QStringLiteral("power")}}))),
        config(in, QStringLiteral("sensor"), node, QStringLiteral("firmware"),
               merged(common(in, node, QStringLiteral("firmware"), QStringLiteral("Firmware")),
                      merged(text("firmware", "mdi:chip"),
                             {{QStringLiteral("entity_category"), QStringLiteral("diagnostic")}}))),
        config(in, QStringLiteral("sensor"), node, QStringLiteral("band"),
               merged(common(in, node, QStringLiteral("band"), QStringLiteral("Band")), text("band", "mdi:sine-wave"))),
    };
    if (!in.bandFollow)
        configs.last().payload.clear();
    return configs;
}

} // namespace DiscoveryConfig
