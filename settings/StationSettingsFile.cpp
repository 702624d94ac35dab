#include "settings/StationSettingsFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTextCodec>

#include <limits>
#include <optional>

namespace {

constexpr int maxKeptCopies = 99;
constexpr int highestPort = 65535;

QString tr(const char *text)
{
    return QCoreApplication::translate("StationSettingsFile", text);
}

// Keys, by group.
namespace Key {
const QString formatVersion = QStringLiteral("FormatVersion");

const QString followEnabled = QStringLiteral("BandFollow/Enabled");
const QString rigSource = QStringLiteral("BandFollow/RigSource");
const QString rigctldAddress = QStringLiteral("BandFollow/RigctldAddress");
const QString rigModel = QStringLiteral("BandFollow/RigModel");
const QString rigDevice = QStringLiteral("BandFollow/RigDevice");
const QString rigSpeed = QStringLiteral("BandFollow/RigSpeed");
const QString loggerPorts = QStringLiteral("BandFollow/LoggerPorts");
const QString allowedSenders = QStringLiteral("BandFollow/AllowedSenders");
const QString loggerRadio = QStringLiteral("BandFollow/LoggerRadio");
const QString hangMs = QStringLiteral("BandFollow/HangMs");

const QString reconnect = QStringLiteral("Connection/Reconnect");
const QString connectAtStart = QStringLiteral("Connection/ConnectAtStart");
const QString port = QStringLiteral("Connection/Port");
const QString baudRate = QStringLiteral("Connection/BaudRate");
const QString baudRateText = QStringLiteral("Connection/BaudRateText");
const QString dataBits = QStringLiteral("Connection/DataBits");
const QString dataBitsText = QStringLiteral("Connection/DataBitsText");
const QString parity = QStringLiteral("Connection/Parity");
const QString parityText = QStringLiteral("Connection/ParityText");
const QString stopBits = QStringLiteral("Connection/StopBits");
const QString stopBitsText = QStringLiteral("Connection/StopBitsText");
const QString flowControl = QStringLiteral("Connection/FlowControl");
const QString flowControlText = QStringLiteral("Connection/FlowControlText");

const QString brokerMode = QStringLiteral("Broker/Mode");
const QString brokerHost = QStringLiteral("Broker/Host");
const QString brokerPort = QStringLiteral("Broker/Port");
const QString brokerTopic = QStringLiteral("Broker/Topic");
const QString brokerUser = QStringLiteral("Broker/User");
const QString brokerCaFile = QStringLiteral("Broker/CaFile");
const QString discovery = QStringLiteral("Broker/Discovery");
const QString discoveryPrefix = QStringLiteral("Broker/DiscoveryPrefix");
} // namespace Key

const QStringList rigSourceNames = {QStringLiteral("none"), QStringLiteral("rigctld"), QStringLiteral("serial")};
const QStringList brokerModeNames = {QStringLiteral("off"), QStringLiteral("publish"), QStringLiteral("remote")};

// Reads values and notes each key whose value makes no sense; such a key
// keeps the default it was given.
class Reader
{
public:
    explicit Reader(const QSettings &file) : file(file) {}

    void flag(bool &value, const QString &key)
    {
        if (!file.contains(key))
            return;
        const QString text = file.value(key).toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("1"))
            value = true;
        else if (text == QLatin1String("false") || text == QLatin1String("0"))
            value = false;
        else
            bad << key;
    }

    void number(int &value, const QString &key, int low, int high)
    {
        if (!file.contains(key))
            return;
        bool ok = false;
        const int read = file.value(key).toString().trimmed().toInt(&ok);
        if (ok && read >= low && read <= high)
            value = read;
        else
            bad << key;
    }

    // One of the values allowed, for enumerations stored as numbers.
    template <typename Enum>
    void choice(Enum &value, const QString &key, std::initializer_list<Enum> allowed)
    {
        if (!file.contains(key))
            return;
        bool ok = false;
        const int read = file.value(key).toString().trimmed().toInt(&ok);
        for (const Enum candidate : allowed) {
            if (ok && read == static_cast<int>(candidate)) {
                value = candidate;
                return;
            }
        }
        bad << key;
    }

    // One of the names, stored as text.
    template <typename Enum>
    void named(Enum &value, const QString &key, const QStringList &names)
    {
        if (!file.contains(key))
            return;
        const int index = names.indexOf(file.value(key).toString().trimmed().toLower());
        if (index >= 0)
            value = static_cast<Enum>(index);
        else
            bad << key;
    }

    void text(QString &value, const QString &key)
    {
        if (file.contains(key))
            value = file.value(key).toString();
    }

    void list(QStringList &value, const QString &key)
    {
        if (!file.contains(key))
            return;
        QStringList entries;
        for (const QString &entry : file.value(key).toStringList()) {
            if (!entry.trimmed().isEmpty())
                entries << entry.trimmed();
        }
        value = entries;
    }

    QStringList bad;

private:
    const QSettings &file;
};

StationSettings readSettings(const QSettings &file, QStringList *badKeys)
{
    StationSettings s;
    Reader read(file);

    BandFollowPreferences &follow = s.bandFollow;
    read.flag(follow.enabled, Key::followEnabled);
    read.named(follow.rig.kind, Key::rigSource, rigSourceNames);
    read.text(follow.rig.rigctldAddress, Key::rigctldAddress);
    read.number(follow.rig.model, Key::rigModel, 0, std::numeric_limits<int>::max());
    read.text(follow.rig.device, Key::rigDevice);
    read.number(follow.rig.speed, Key::rigSpeed, 0, std::numeric_limits<int>::max());
    read.list(follow.loggerPorts, Key::loggerPorts);
    read.list(follow.allowedSenders, Key::allowedSenders);
    read.number(follow.loggerRadio, Key::loggerRadio, 0, BandFollowPreferences::maxLoggerRadio);
    read.number(follow.hangMs, Key::hangMs, 0, BandFollowPreferences::maxHangMs);

    read.flag(s.reconnect, Key::reconnect);
    read.flag(s.connectAtStart, Key::connectAtStart);
    SerialSettings &line = s.lastConnection;
    read.text(line.portName, Key::port);
    read.number(line.baudRate, Key::baudRate, 0, std::numeric_limits<qint32>::max());
    read.text(line.baudRateText, Key::baudRateText);
    // A record that was never filled holds zeros.
    read.choice(line.dataBits, Key::dataBits,
                {QSerialPort::DataBits(0), QSerialPort::Data5, QSerialPort::Data6, QSerialPort::Data7, QSerialPort::Data8});
    read.text(line.dataBitsText, Key::dataBitsText);
    read.choice(line.parity, Key::parity,
                {QSerialPort::NoParity, QSerialPort::EvenParity, QSerialPort::OddParity, QSerialPort::SpaceParity,
                 QSerialPort::MarkParity});
    read.text(line.parityText, Key::parityText);
    read.choice(line.stopBits, Key::stopBits,
                {QSerialPort::StopBits(0), QSerialPort::OneStop, QSerialPort::OneAndHalfStop, QSerialPort::TwoStop});
    read.text(line.stopBitsText, Key::stopBitsText);
    read.choice(line.flowControl, Key::flowControl,
                {QSerialPort::NoFlowControl, QSerialPort::HardwareControl, QSerialPort::SoftwareControl});
    read.text(line.flowControlText, Key::flowControlText);

    BrokerPreferences &broker = s.broker;
    read.named(broker.mode, Key::brokerMode, brokerModeNames);
    read.text(broker.host, Key::brokerHost);
    read.number(broker.port, Key::brokerPort, 0, highestPort);
    read.text(broker.topic, Key::brokerTopic);
    read.text(broker.user, Key::brokerUser);
    read.text(broker.caFile, Key::brokerCaFile);
    read.flag(broker.discovery, Key::discovery);
    read.text(broker.discoveryPrefix, Key::discoveryPrefix);

    *badKeys = read.bad;
    return s;
}

void writeSettings(QSettings &file, const StationSettings &s)
{
    file.setValue(Key::formatVersion, StationSettingsFile::formatVersion);

    const BandFollowPreferences &follow = s.bandFollow;
    file.setValue(Key::followEnabled, follow.enabled);
    file.setValue(Key::rigSource, rigSourceNames.at(static_cast<int>(follow.rig.kind)));
    file.setValue(Key::rigctldAddress, follow.rig.rigctldAddress);
    file.setValue(Key::rigModel, follow.rig.model);
    file.setValue(Key::rigDevice, follow.rig.device);
    file.setValue(Key::rigSpeed, follow.rig.speed);
    file.setValue(Key::loggerPorts, follow.loggerPorts);
    file.setValue(Key::allowedSenders, follow.allowedSenders);
    file.setValue(Key::loggerRadio, follow.loggerRadio);
    file.setValue(Key::hangMs, follow.hangMs);

    file.setValue(Key::reconnect, s.reconnect);
    file.setValue(Key::connectAtStart, s.connectAtStart);
    const SerialSettings &line = s.lastConnection;
    file.setValue(Key::port, line.portName);
    file.setValue(Key::baudRate, line.baudRate);
    file.setValue(Key::baudRateText, line.baudRateText);
    file.setValue(Key::dataBits, static_cast<int>(line.dataBits));
    file.setValue(Key::dataBitsText, line.dataBitsText);
    file.setValue(Key::parity, static_cast<int>(line.parity));
    file.setValue(Key::parityText, line.parityText);
    file.setValue(Key::stopBits, static_cast<int>(line.stopBits));
    file.setValue(Key::stopBitsText, line.stopBitsText);
    file.setValue(Key::flowControl, static_cast<int>(line.flowControl));
    file.setValue(Key::flowControlText, line.flowControlText);

    const BrokerPreferences &broker = s.broker;
    file.setValue(Key::brokerMode, brokerModeNames.at(static_cast<int>(broker.mode)));
    file.setValue(Key::brokerHost, broker.host);
    file.setValue(Key::brokerPort, broker.port);
    file.setValue(Key::brokerTopic, broker.topic);
    file.setValue(Key::brokerUser, broker.user);
    file.setValue(Key::brokerCaFile, broker.caFile);
    file.setValue(Key::discovery, broker.discovery);
    file.setValue(Key::discoveryPrefix, broker.discoveryPrefix);
}

// Why the bytes cannot be a settings file, or nothing: the panel writes
// UTF-8 text, and a file that is not (a binary file saved over it, a disk
// error) is not guessed at.
std::optional<QString> notText(const QByteArray &content)
{
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(content.constData(), content.size(), &state);
    if (state.invalidChars > 0)
        return tr("it is not UTF-8 text");
    for (const char c : content) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\n' && c != '\r' && c != '\t')
            return tr("it holds control characters");
    }
    return std::nullopt;
}

} // namespace

StationSettingsFile::StationSettingsFile(const QString &path)
    : filePath(path)
{
}

StationSettings StationSettingsFile::load()
{
    loadProblem.clear();
    damaged = false;
    const QFileInfo info(filePath);
    if (!info.exists() && !info.isSymLink())
        return StationSettings();

    const QString keptAs = tr("It is left as it is; when a setting is next changed, it is kept as %1 and a new "
                              "file is written.").arg(copyName());
    const auto unreadable = [&](const QString &reason) {
        damaged = true;
        loadProblem = tr("Cannot read the settings file %1: %2. Starting with default settings. %3")
                          .arg(filePath, reason, keptAs);
        return StationSettings();
    };

    if (info.isDir())
        return unreadable(tr("it is a folder"));
    // A named pipe or a device would hold the start up waiting for data.
    if (!info.isFile())
        return unreadable(tr("it is not a plain file"));
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return unreadable(file.errorString());
    if (file.size() > maxFileBytes)
        return unreadable(tr("it is larger than %1 KiB").arg(maxFileBytes / 1024));
    const QByteArray content = file.read(maxFileBytes + 1);
    if (const std::optional<QString> reason = notText(content))
        return unreadable(*reason);

    QSettings settings(filePath, QSettings::IniFormat);
    settings.setIniCodec("UTF-8");
    // QSettings parses on first use, and only then knows.
    settings.allKeys();
    if (settings.status() != QSettings::NoError)
        return unreadable(tr("it is not in the INI format (a line is neither a [section] nor a key=value)"));

    QStringList badKeys;
    const StationSettings read = readSettings(settings, &badKeys);
    if (!badKeys.isEmpty()) {
        damaged = true;
        loadProblem = tr("Some values in the settings file %1 make no sense and their defaults are used: %2. %3")
                          .arg(filePath, badKeys.join(QStringLiteral(", ")), keptAs);
    }
    return read;
}

// NAME.bad, or NAME.bad.2 and on when earlier copies are still there; the
// last of them is reused once there are that many.
QString StationSettingsFile::copyName() const
{
    QString copy = filePath + QStringLiteral(".bad");
    for (int n = 2; QFileInfo::exists(copy) && n <= maxKeptCopies; ++n)
        copy = filePath + QStringLiteral(".bad.%1").arg(n);
    return copy;
}

bool StationSettingsFile::keepDamagedCopy(QString *error)
{
    const QFileInfo info(filePath);
    if (!info.exists())
        return true;
    const QString copy = copyName();
    if (QFileInfo::exists(copy))
        QFile::remove(copy);
    // Renamed, not copied: the damaged file is what is kept, byte for byte,
    // and the new one starts from nothing.
    if (!QFile::rename(filePath, copy)) {
        if (error)
            *error = tr("Cannot keep the damaged settings file %1 as %2; nothing was written.").arg(filePath, copy);
        return false;
    }
    keptCopyPath = copy;
    return true;
}

bool StationSettingsFile::save(const StationSettings &settings, QString *error)
{
    if (damaged) {
        if (!keepDamagedCopy(error))
            return false;
        damaged = false;
    }
    QSettings file(filePath, QSettings::IniFormat);
    file.setIniCodec("UTF-8");
    writeSettings(file, settings);
    file.sync();
    if (file.status() != QSettings::NoError) {
        if (error)
            *error = tr("Cannot write the settings file %1.").arg(filePath);
        return false;
    }
    return true;
}
