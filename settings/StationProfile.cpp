#include "settings/StationProfile.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <QStringList>

namespace {

const QString folderName = QStringLiteral("tqx5r-panel");
const QString profilesFolder = QStringLiteral("profiles");

// Device names Windows reserves in every folder, with or without an extension.
bool windowsDeviceName(const QString &name)
{
    static const QStringList devices = {
        QStringLiteral("CON"),  QStringLiteral("PRN"),  QStringLiteral("AUX"),  QStringLiteral("NUL"),
        QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"), QStringLiteral("COM4"),
        QStringLiteral("COM5"), QStringLiteral("COM6"), QStringLiteral("COM7"), QStringLiteral("COM8"),
        QStringLiteral("COM9"), QStringLiteral("LPT1"), QStringLiteral("LPT2"), QStringLiteral("LPT3"),
        QStringLiteral("LPT4"), QStringLiteral("LPT5"), QStringLiteral("LPT6"), QStringLiteral("LPT7"),
        QStringLiteral("LPT8"), QStringLiteral("LPT9")};
    const QString stem = name.section(QLatin1Char('.'), 0, 0);
    return devices.contains(stem, Qt::CaseInsensitive);
}

QString tr(const char *text)
{
    return QCoreApplication::translate("StationProfile", text);
}

} // namespace

QString StationProfile::nameProblem(const QString &name)
{
    if (name.isEmpty())
        return tr("A profile name cannot be empty.");
    if (name.size() > maxNameLength)
        return tr("A profile name has at most %1 characters.").arg(maxNameLength);
    for (const QChar c : name) {
        const bool allowed = c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_')
                             || c == QLatin1Char('.');
        if (!allowed)
            return tr("A profile name is made of letters, digits, '-', '_' and '.'; '%1' is none of them.")
                .arg(c.isPrint() ? QString(c) : QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')));
    }
    if (name.startsWith(QLatin1Char('.')))
        return tr("A profile name cannot start with '.'.");
    if (windowsDeviceName(name))
        return tr("'%1' is a device name on Windows and cannot be a profile name.").arg(name);
    return QString();
}

QString StationProfile::configFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/') + folderName;
}

StationProfile::Paths StationProfile::paths(const QString &name)
{
    Paths paths;
    paths.folder = configFolder();
    if (!name.isEmpty())
        paths.folder += QLatin1Char('/') + profilesFolder + QLatin1Char('/') + name;
    paths.settingsFile = paths.folder + QStringLiteral("/station.ini");
    paths.bandMemoryFile = paths.folder + QStringLiteral("/bands.ini");
    paths.antennasFile = paths.folder + QStringLiteral("/antennas.ini");
    paths.captionsFile = paths.folder + QStringLiteral("/settings.cfg");
    return paths;
}
