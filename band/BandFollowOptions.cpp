#include "band/BandFollowOptions.h"

#include "rig/HamlibPoller.h"

#include <QCommandLineParser>

#include <limits>

namespace {

constexpr int highestPort = std::numeric_limits<quint16>::max();

// A whole number in [low, high], or nothing.
std::optional<int> number(const QString &text, int low, int high)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < low || value > high)
        return std::nullopt;
    return value;
}

constexpr int loopbackBits = 8;

bool isIpv4(const AllowedSender &sender)
{
    return sender.network.protocol() == QAbstractSocket::IPv4Protocol;
}

// Whether the sender may be a program on this computer: its network and
// 127.0.0.0/8 overlap.
bool mayBeThisComputer(const AllowedSender &sender)
{
    const QHostAddress loopbackNetwork(QStringLiteral("127.0.0.0"));
    return loopbackNetwork.isInSubnet(sender.network, sender.prefixLength)
           || sender.network.isInSubnet(loopbackNetwork, loopbackBits);
}

QString listed(const QStringList &items)
{
    return items.join(QStringLiteral(", "));
}

// Senders and ports that can never meet. Nothing is wrong with either alone,
// so band follow runs; but an operator who asked for a sender and never
// hears it would otherwise be left guessing.
QStringList deafnessWarnings(const QList<LoggerEndpoint> &loggers, const SenderFilter &senders)
{
    QStringList warnings;
    QStringList localPorts;
    quint16 firstLocalPort = 0;
    for (const LoggerEndpoint &endpoint : loggers) {
        if (!endpoint.bindAddress().isLoopback())
            continue;
        if (localPorts.isEmpty())
            firstLocalPort = endpoint.port;
        localPorts << endpoint.toString();
    }
    QStringList ipv6, elsewhere;
    bool anyHere = false;
    for (const AllowedSender &sender : senders.allowed()) {
        if (!isIpv4(sender))
            ipv6 << sender.toString();
        else if (mayBeThisComputer(sender))
            anyHere = true;
        else
            elsewhere << sender.toString();
    }
    if (!localPorts.isEmpty()) {
        const QString everyInterface =
            QStringLiteral("--logger-udp 0.0.0.0:%1 listens on every interface (ADDR:%1 on the one with IPv4 "
                           "address ADDR).").arg(firstLocalPort);
        if (!elsewhere.isEmpty() && !anyHere) {
            warnings << QStringLiteral("Band follow hears nothing on --logger-udp %1: it listens on this computer "
                                       "only, and --logger-from allows no sender here. %2")
                            .arg(listed(localPorts), everyInterface);
        } else if (!elsewhere.isEmpty() && localPorts.size() == loggers.size()) {
            warnings << QStringLiteral("Band follow never hears --logger-from %1: --logger-udp listens on this "
                                       "computer only. %2")
                            .arg(listed(elsewhere), everyInterface);
        }
    }
    if (!ipv6.isEmpty())
        warnings << QStringLiteral("Band follow never hears --logger-from %1: logger packets are taken over IPv4 "
                                   "only. Give the sender's IPv4 address (127.0.0.1 for this computer).")
                        .arg(listed(ipv6));
    return warnings;
}

} // namespace

BandFollowOptions::BandFollowOptions()
    : rigModel(QStringLiteral("rig-model"),
               QStringLiteral("Band follow: read the radio through Hamlib model N, as rigctl -m N "
                              "(2 is a running rigctld)."),
               QStringLiteral("N"))
    , rigFile(QStringLiteral("rig-file"),
              QStringLiteral("Band follow: the radio's serial device, or host:port of rigctld for "
                             "model 2, as rigctl -r."),
              QStringLiteral("DEV"))
    , rigSpeed(QStringLiteral("rig-speed"),
               QStringLiteral("Band follow: the radio's serial speed, as rigctl -s."),
               QStringLiteral("BAUD"))
    , loggerUdp(QStringLiteral("logger-udp"),
                QStringLiteral("Band follow: listen for a logger's radio broadcasts (RadioInfo XML "
                               "or WSJT-X status) on UDP port PORT of this computer only; ADDR:PORT "
                               "listens on the interface with IPv4 address ADDR (0.0.0.0: every "
                               "interface) or joins the multicast group ADDR; may be repeated."),
                QStringLiteral("[ADDR:]PORT"))
    , loggerFrom(QStringLiteral("logger-from"),
                 QStringLiteral("Band follow: take logger packets only from ADDR, or from the "
                                "subnet ADDR/BITS; may be repeated."),
                 QStringLiteral("ADDR[/BITS]"))
    , loggerRadio(QStringLiteral("logger-radio"),
                  QStringLiteral("Band follow: follow radio N of a logger driving two radios (its "
                                 "frequency and its transmitting), not the active one."),
                  QStringLiteral("N"))
    , followHang(QStringLiteral("follow-hang"),
                 QStringLiteral("Band follow: wait MS milliseconds after transmitting ends before "
                                "switching (default 500; 0 allowed)."),
                 QStringLiteral("MS"))
    , bands(QStringLiteral("bands"),
            QStringLiteral("Band follow: keep the antenna of each band in FILE instead of the "
                           "profile's bands.ini (~/.config/tqx5r-panel/bands.ini by default)."),
            QStringLiteral("FILE"))
    , antennas(QStringLiteral("antennas"),
               QStringLiteral("Read the bands each antenna is for (and which ones only receive) from FILE "
                              "instead of the profile's antennas.ini, beside bands.ini."),
               QStringLiteral("FILE"))
{
}

QList<QCommandLineOption> BandFollowOptions::options() const
{
    return {rigModel, rigFile, rigSpeed, loggerUdp, loggerFrom, loggerRadio, followHang, bands, antennas};
}

void BandFollowOptions::add(QCommandLineParser &parser) const
{
    parser.addOptions(options());
}

BandFollowOptions::Given BandFollowOptions::read(const QCommandLineParser &parser, QStringList &problems) const
{
    const int problemsBefore = problems.size();
    Given given;
    BandFollowSettings &settings = given.settings;
    RigSourceSettings &rig = settings.rig;

    if (parser.isSet(rigModel)) {
        const std::optional<int> model = number(parser.value(rigModel), 1, std::numeric_limits<int>::max());
        if (!model || !HamlibPoller::knownModel(*model))
            problems << QStringLiteral("--rig-model: '%1' is not a Hamlib radio model (see rigctl -l).")
                            .arg(parser.value(rigModel));
        if (model == HamlibSettings::rigctldModel) {
            rig.kind = RigSourceSettings::Kind::Rigctld;
            // rigctl's own default when no address is given.
            if (parser.isSet(rigFile) && !parser.value(rigFile).isEmpty())
                rig.rigctldAddress = parser.value(rigFile);
        } else if (model) {
            rig.kind = RigSourceSettings::Kind::SerialRadio;
            rig.model = *model;
            rig.device = parser.value(rigFile);
        }
        if (parser.isSet(rigSpeed)) {
            const std::optional<int> speed = number(parser.value(rigSpeed), 1, std::numeric_limits<int>::max());
            if (!speed)
                problems << QStringLiteral("--rig-speed: '%1' is not a serial speed.").arg(parser.value(rigSpeed));
            else if (rig.kind == RigSourceSettings::Kind::SerialRadio)
                rig.speed = *speed;
        }
    } else if (parser.isSet(rigFile) || parser.isSet(rigSpeed)) {
        problems << QStringLiteral("--rig-file and --rig-speed need --rig-model.");
    }

    QList<LoggerEndpoint> loggers;
    for (const QString &value : parser.values(loggerUdp)) {
        const std::optional<LoggerEndpoint> endpoint = LoggerEndpoint::parse(value);
        if (!endpoint)
            problems << QStringLiteral("--logger-udp: '%1' is not a UDP port (1 to %2) or an IPv4 ADDR:PORT.")
                            .arg(value).arg(highestPort);
        else if (!loggers.contains(*endpoint))
            loggers << *endpoint;
    }
    for (const LoggerEndpoint &endpoint : loggers)
        settings.loggerPorts << endpoint.toString();
    SenderFilter senders;
    for (const QString &value : parser.values(loggerFrom)) {
        if (const std::optional<AllowedSender> sender = AllowedSender::parse(value)) {
            senders.allow(*sender);
            settings.allowedSenders << sender->toString();
        } else {
            problems << QStringLiteral("--logger-from: '%1' is not an address or ADDR/BITS.").arg(value);
        }
    }
    if (parser.isSet(loggerRadio)) {
        if (const std::optional<int> radio = number(parser.value(loggerRadio), 1, BandFollowSettings::highestLoggerRadio))
            settings.loggerRadio = *radio;
        else
            problems << QStringLiteral("--logger-radio: '%1' is not a radio number (1 to %2).")
                            .arg(parser.value(loggerRadio)).arg(BandFollowSettings::highestLoggerRadio);
    }
    if (parser.isSet(followHang)) {
        if (const std::optional<int> hang = number(parser.value(followHang), 0, BandFollowSettings::longestHangMs))
            settings.hangMs = *hang;
        else
            problems << QStringLiteral("--follow-hang: '%1' is not a time in milliseconds (0 to %2).")
                            .arg(parser.value(followHang)).arg(BandFollowSettings::longestHangMs);
    }
    given.memoryPath = parser.value(bands);
    if (parser.isSet(bands) && given.memoryPath.trimmed().isEmpty())
        problems << QStringLiteral("--bands: the file name is empty.");
    // Band follow must not select by the wrong rules: without the file
    // meant, it does not run.
    given.antennasPath = parser.value(antennas);
    if (parser.isSet(antennas) && given.antennasPath.trimmed().isEmpty())
        problems << QStringLiteral("--antennas: the file name is empty.");

    if (problems.size() > problemsBefore) {
        problems << QStringLiteral("Starting without band follow.");
        given.refused = true;
        return given;
    }
    problems << deafnessWarnings(loggers, senders);
    return given;
}
