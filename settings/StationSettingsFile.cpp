#include "settings/StationSettingsFile.h"

#include "settings/StationKeys.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTextCodec>

#include <optional>

namespace {

constexpr int maxKeptCopies = 99;

QString tr(const char *text)
{
    return QCoreApplication::translate("StationSettingsFile", text);
}

const QString formatVersionKey = QStringLiteral("FormatVersion");

// Reads every key the file holds; a value that makes no sense keeps its
// default and is named in badKeys. The port and line parameters of the last
// connection are one record: a key of it that is missing or makes no sense
// takes the value "Serial Settings" starts with (9600 8N1), named in
// defaultedKeys, so a remembered connection never fails for want of one.
StationSettings readSettings(const QSettings &file, QStringList *badKeys, QStringList *defaultedKeys)
{
    StationSettings s;
    QStringList bad;
    for (const StationKeys::Key &key : StationKeys::all()) {
        if (file.contains(key.name) && !key.set(s, file.value(key.name)))
            bad << key.name;
    }
    if (s.lastConnection.portName.isEmpty()) {
        // No connection remembered: the zeros of a record never filled are
        // no mistake.
        for (const QString &name : StationKeys::connectionKeys()) {
            if (file.value(name).toString().trimmed() == QLatin1String("0"))
                bad.removeAll(name);
        }
    } else {
        StationSettings defaults;
        defaults.lastConnection = defaultSerialSettings(s.lastConnection.portName);
        for (const QString &name : StationKeys::connectionKeys()) {
            if (file.contains(name) && !bad.contains(name))
                continue;
            StationKeys::copy(defaults, s, {name});
            if (!file.contains(name))
                *defaultedKeys << name;
        }
    }
    *badKeys = bad;
    return s;
}

void writeSettings(QSettings &file, const StationSettings &s)
{
    file.setValue(formatVersionKey, StationSettingsFile::formatVersion);
    for (const StationKeys::Key &key : StationKeys::all())
        file.setValue(key.name, key.get(s));
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
    QStringList defaultedKeys;
    const StationSettings read = readSettings(settings, &badKeys, &defaultedKeys);
    damaged = !badKeys.isEmpty();
    QStringList problems;
    if (!badKeys.isEmpty()) {
        problems << tr("Some values in the settings file %1 make no sense and their defaults are used: %2. %3")
                        .arg(filePath, badKeys.join(QStringLiteral(", ")), keptAs);
    }
    if (!defaultedKeys.isEmpty()) {
        problems << tr("The last connection in the settings file %1 has no %2; Serial Settings' defaults (9600 8N1, "
                       "no flow control) are used.")
                        .arg(filePath, defaultedKeys.join(QStringLiteral(", ")));
    }
    loadProblem = problems.join(QLatin1Char(' '));
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
        if (error) {
            const QFileInfo info(filePath);
            const QFileInfo folder(info.absolutePath());
            *error = !folder.exists()        ? tr("Cannot write the settings file %1: its folder cannot be made.")
                     : !folder.isWritable()  ? tr("Cannot write the settings file %1: its folder is read-only.")
                     : info.exists() && !info.isWritable() ? tr("Cannot write the settings file %1: it is read-only.")
                                                           : tr("Cannot write the settings file %1.");
            *error = error->arg(filePath);
        }
        return false;
    }
    return true;
}
