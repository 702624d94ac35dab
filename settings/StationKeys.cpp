#include "settings/StationKeys.h"

#include <QSerialPort>

#include <limits>

namespace StationKeys {

namespace Name {
const QString followEnabled = QStringLiteral("BandFollow/Enabled");
const QString allowedSenders = QStringLiteral("BandFollow/AllowedSenders");
const QString loggerRadio = QStringLiteral("BandFollow/LoggerRadio");
const QString hangMs = QStringLiteral("BandFollow/HangMs");
const QString reconnect = QStringLiteral("Connection/Reconnect");
const QString connectAtStart = QStringLiteral("Connection/ConnectAtStart");
const QString brokerMode = QStringLiteral("Broker/Mode");
const QString discovery = QStringLiteral("Broker/Discovery");
const QString discoveryPrefix = QStringLiteral("Broker/DiscoveryPrefix");
} // namespace Name

namespace {

constexpr int highestPort = 65535;
constexpr int intMax = std::numeric_limits<int>::max();

const QStringList rigSourceNames = {QStringLiteral("none"), QStringLiteral("rigctld"), QStringLiteral("serial")};
const QStringList brokerModeNames = {QStringLiteral("off"), QStringLiteral("publish"), QStringLiteral("remote")};

template <typename Field>
using Access = std::function<Field &(StationSettings &)>;

// The kinds of value, each stored as the file has always held it.
Key flag(const QString &name, Access<bool> field)
{
    return {name, [field](const StationSettings &s) { return QVariant(field(const_cast<StationSettings &>(s))); },
            [field](StationSettings &s, const QVariant &value) {
                const QString text = value.toString().trimmed().toLower();
                if (text == QLatin1String("true") || text == QLatin1String("1"))
                    field(s) = true;
                else if (text == QLatin1String("false") || text == QLatin1String("0"))
                    field(s) = false;
                else
                    return false;
                return true;
            }};
}

Key number(const QString &name, Access<int> field, int low, int high)
{
    return {name, [field](const StationSettings &s) { return QVariant(field(const_cast<StationSettings &>(s))); },
            [field, low, high](StationSettings &s, const QVariant &value) {
                bool ok = false;
                const int read = value.toString().trimmed().toInt(&ok);
                if (!ok || read < low || read > high)
                    return false;
                field(s) = read;
                return true;
            }};
}

Key text(const QString &name, Access<QString> field)
{
    return {name, [field](const StationSettings &s) { return QVariant(field(const_cast<StationSettings &>(s))); },
            [field](StationSettings &s, const QVariant &value) {
                field(s) = value.toString();
                return true;
            }};
}

Key list(const QString &name, Access<QStringList> field)
{
    return {name, [field](const StationSettings &s) { return QVariant(field(const_cast<StationSettings &>(s))); },
            [field](StationSettings &s, const QVariant &value) {
                QStringList entries;
                for (const QString &entry : value.toStringList()) {
                    if (!entry.trimmed().isEmpty())
                        entries << entry.trimmed();
                }
                field(s) = entries;
                return true;
            }};
}

// One of the names, stored as text.
template <typename Enum>
Key named(const QString &name, Access<Enum> field, const QStringList &names)
{
    return {name,
            [field, names](const StationSettings &s) {
                return QVariant(names.value(static_cast<int>(field(const_cast<StationSettings &>(s)))));
            },
            [field, names](StationSettings &s, const QVariant &value) {
                const int index = names.indexOf(value.toString().trimmed().toLower());
                if (index < 0)
                    return false;
                field(s) = static_cast<Enum>(index);
                return true;
            }};
}

// One of the values allowed, for enumerations stored as numbers.
template <typename Enum>
Key choice(const QString &name, Access<Enum> field, std::initializer_list<Enum> allowedValues)
{
    const QList<Enum> allowed(allowedValues);
    return {name,
            [field](const StationSettings &s) {
                return QVariant(static_cast<int>(field(const_cast<StationSettings &>(s))));
            },
            [field, allowed](StationSettings &s, const QVariant &value) {
                bool ok = false;
                const int read = value.toString().trimmed().toInt(&ok);
                for (const Enum candidate : allowed) {
                    if (ok && read == static_cast<int>(candidate)) {
                        field(s) = candidate;
                        return true;
                    }
                }
                return false;
            }};
}

QList<Key> makeTable()
{
    using Kind = RigSourceSettings::Kind;
    using Mode = BrokerSettings::Mode;
    return {
        flag(Name::followEnabled, [](StationSettings &s) -> bool & { return s.bandFollow.enabled; }),
        named<Kind>(QStringLiteral("BandFollow/RigSource"), [](StationSettings &s) -> Kind & { return s.bandFollow.rig.kind; },
                    rigSourceNames),
        text(QStringLiteral("BandFollow/RigctldAddress"),
             [](StationSettings &s) -> QString & { return s.bandFollow.rig.rigctldAddress; }),
        number(QStringLiteral("BandFollow/RigModel"), [](StationSettings &s) -> int & { return s.bandFollow.rig.model; },
               0, intMax),
        text(QStringLiteral("BandFollow/RigDevice"), [](StationSettings &s) -> QString & { return s.bandFollow.rig.device; }),
        number(QStringLiteral("BandFollow/RigSpeed"), [](StationSettings &s) -> int & { return s.bandFollow.rig.speed; },
               0, intMax),
        list(QStringLiteral("BandFollow/LoggerPorts"),
             [](StationSettings &s) -> QStringList & { return s.bandFollow.loggerPorts; }),
        list(Name::allowedSenders, [](StationSettings &s) -> QStringList & { return s.bandFollow.allowedSenders; }),
        number(Name::loggerRadio, [](StationSettings &s) -> int & { return s.bandFollow.loggerRadio; }, 0,
               BandFollowSettings::highestLoggerRadio),
        number(Name::hangMs, [](StationSettings &s) -> int & { return s.bandFollow.hangMs; }, 0,
               BandFollowSettings::longestHangMs),

        flag(Name::reconnect, [](StationSettings &s) -> bool & { return s.reconnect; }),
        flag(Name::connectAtStart, [](StationSettings &s) -> bool & { return s.connectAtStart; }),
        text(QStringLiteral("Connection/Port"), [](StationSettings &s) -> QString & { return s.lastConnection.portName; }),
        // A connection's parameters are never 0; a record never filled is
        // one without a port, whose values nobody reads.
        number(QStringLiteral("Connection/BaudRate"),
               [](StationSettings &s) -> int & { return s.lastConnection.baudRate; }, 1, intMax),
        choice<QSerialPort::DataBits>(
            QStringLiteral("Connection/DataBits"),
            [](StationSettings &s) -> QSerialPort::DataBits & { return s.lastConnection.dataBits; },
            {QSerialPort::Data5, QSerialPort::Data6, QSerialPort::Data7, QSerialPort::Data8}),
        choice<QSerialPort::Parity>(
            QStringLiteral("Connection/Parity"), [](StationSettings &s) -> QSerialPort::Parity & { return s.lastConnection.parity; },
            {QSerialPort::NoParity, QSerialPort::EvenParity, QSerialPort::OddParity, QSerialPort::SpaceParity,
             QSerialPort::MarkParity}),
        choice<QSerialPort::StopBits>(
            QStringLiteral("Connection/StopBits"),
            [](StationSettings &s) -> QSerialPort::StopBits & { return s.lastConnection.stopBits; },
            {QSerialPort::OneStop, QSerialPort::OneAndHalfStop, QSerialPort::TwoStop}),
        choice<QSerialPort::FlowControl>(
            QStringLiteral("Connection/FlowControl"),
            [](StationSettings &s) -> QSerialPort::FlowControl & { return s.lastConnection.flowControl; },
            {QSerialPort::NoFlowControl, QSerialPort::HardwareControl, QSerialPort::SoftwareControl}),

        named<Mode>(Name::brokerMode, [](StationSettings &s) -> Mode & { return s.broker.mode; }, brokerModeNames),
        text(QStringLiteral("Broker/Host"), [](StationSettings &s) -> QString & { return s.broker.host; }),
        number(QStringLiteral("Broker/Port"), [](StationSettings &s) -> int & { return s.broker.port; }, 0, highestPort),
        text(QStringLiteral("Broker/Topic"), [](StationSettings &s) -> QString & { return s.broker.topic; }),
        text(QStringLiteral("Broker/User"), [](StationSettings &s) -> QString & { return s.broker.user; }),
        text(QStringLiteral("Broker/CaFile"), [](StationSettings &s) -> QString & { return s.broker.caFile; }),
        flag(Name::discovery, [](StationSettings &s) -> bool & { return s.broker.discovery; }),
        text(Name::discoveryPrefix, [](StationSettings &s) -> QString & { return s.broker.discoveryPrefix; }),
    };
}

QStringList withPrefix(const QString &prefix)
{
    QStringList found;
    for (const Key &key : all()) {
        if (key.name.startsWith(prefix))
            found << key.name;
    }
    return found;
}

} // namespace

const QList<Key> &all()
{
    static const QList<Key> table = makeTable();
    return table;
}

QStringList names()
{
    QStringList found;
    for (const Key &key : all())
        found << key.name;
    return found;
}

QStringList bandFollowSourceKeys()
{
    QStringList found = withPrefix(QStringLiteral("BandFollow/Rig"));
    found << QStringLiteral("BandFollow/LoggerPorts");
    return found;
}

QStringList bandFollowKeys()
{
    return withPrefix(QStringLiteral("BandFollow/"));
}

QStringList brokerKeys()
{
    return withPrefix(QStringLiteral("Broker/"));
}

QStringList connectionKeys()
{
    QStringList found = withPrefix(QStringLiteral("Connection/"));
    found.removeAll(Name::reconnect);
    found.removeAll(Name::connectAtStart);
    return found;
}

void copy(const StationSettings &from, StationSettings &to, const QStringList &keys)
{
    for (const Key &key : all()) {
        if (keys.contains(key.name))
            key.set(to, key.get(from));
    }
}

QStringList differing(const StationSettings &a, const StationSettings &b)
{
    QStringList found;
    for (const Key &key : all()) {
        if (key.get(a) != key.get(b))
            found << key.name;
    }
    return found;
}

} // namespace StationKeys
