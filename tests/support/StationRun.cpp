#include "support/StationRun.h"

#include "app/StationCommandLine.h"
#include "settings/StationProfile.h"
#include "support/Files.h"

#include <QLabel>
#include <QStatusBar>

StationRun::StationRun(const VirtualSwitch::Options &options)
{
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    VirtualSwitch::Options switchOptions = options;
    switchOptions.verbose = switchOptions.verbose || qEnvironmentVariableIsSet("TQX5R_TEST_VERBOSE");
    linked = std::make_unique<LinkedPanel>(switchOptions);
    QObject::connect(linked->window->statusBar(), &QStatusBar::messageChanged,
                     [this](const QString &text) { told << text; });
}

StationRun::~StationRun()
{
    station.reset();
    linked.reset();
}

Station::Options StationRun::optionsFrom(const QStringList &arguments) const
{
    QStringList line{QStringLiteral("tqx5r-panel")};
    for (const QString &argument : arguments)
        line << QString(argument).replace(QStringLiteral("DEVICE"), devicePath());
    Station::Options options;
    QString refusal;
    if (!StationCommandLine().read(line, &options, &refusal))
        qFatal("refused: %s", qPrintable(refusal));
    return options;
}

void StationRun::start(const QStringList &arguments)
{
    station = std::make_unique<Station>(*linked->window, optionsFrom(arguments));
    station->setLog([this](const QString &text) { infos << text; }, [this](const QString &text) { warnings << text; });
    station->build();
    station->start();
}

bool StationRun::remember(const QByteArray &stationIni, const QString &profile) const
{
    return writeFile(StationProfile::paths(profile).settingsFile,
                     QByteArray(stationIni).replace("DEVICE", devicePath().toLocal8Bit()));
}

QList<QByteArray> StationRun::selects() const
{
    QList<QByteArray> frames;
    for (const VirtualSwitch::ReceivedFrame &frame : selectFrames())
        frames << frame.bytes.left(5);
    return frames;
}

QList<VirtualSwitch::ReceivedFrame> StationRun::selectFrames() const
{
    QList<VirtualSwitch::ReceivedFrame> frames;
    for (const VirtualSwitch::ReceivedFrame &frame : linked->device->receivedFrames()) {
        if (frame.bytes.startsWith("IGS"))
            frames << frame;
    }
    return frames;
}

quint16 StationRun::freeUdpPort()
{
    QUdpSocket probe;
    return probe.bind(QHostAddress(QHostAddress::LocalHost), 0) ? probe.localPort() : 0;
}

QByteArray StationRun::radioInfo(qint64 hz, bool transmitting, int radio, int activeRadio)
{
    return QStringLiteral("<RadioInfo><RadioNr>%1</RadioNr><ActiveRadioNr>%2</ActiveRadioNr><Freq>%3</Freq>"
                          "<IsTransmitting>%4</IsTransmitting></RadioInfo>")
        .arg(radio)
        .arg(activeRadio)
        .arg(hz / 10)
        .arg(transmitting ? "True" : "False")
        .toUtf8();
}

bool StationRun::sendFrom(const QString &address, quint16 port, const QByteArray &packet)
{
    QUdpSocket sender;
    if (!sender.bind(QHostAddress(address), 0))
        return false;
    return sender.writeDatagram(packet, QHostAddress(QHostAddress::LocalHost), port) == packet.size();
}

QString StationRun::followLabel() const
{
    const auto *label = linked->window->findChild<QLabel *>(QStringLiteral("bandFollowState"));
    return label ? label->text() : QString();
}
