#include "rig/PortRefusal.h"

#include <QCoreApplication>
#include <QFileInfo>

QString PortRefusal::check(const QString &path)
{
    if (path.isEmpty())
        return QString();
    const QFileInfo port(path);
    // isReadable() and isWritable() ask the system whether this process may,
    // supplementary groups and all.
    if (!port.exists() || (port.isReadable() && port.isWritable()))
        return QString();
    // In a user namespace of its own (PrivateUsers=) a service sees every
    // group but its own as the overflow group, which names nothing.
    constexpr uint overflowGroupId = 65534;
    const bool groupMayUse = port.permission(QFileDevice::ReadGroup | QFileDevice::WriteGroup)
                             && port.groupId() != overflowGroupId;
    return describe(path, groupMayUse ? port.group() : QString(), underService());
}

QString PortRefusal::describe(const QString &path, const QString &group, bool underService)
{
    const QString text = QCoreApplication::translate("PortRefusal", "Cannot open %1: permission denied").arg(path);
    if (!underService || group.isEmpty())
        return text;
    return QCoreApplication::translate("PortRefusal", "%1 (the service needs group %2: SupplementaryGroups=%2)")
        .arg(text, group);
}

bool PortRefusal::underService()
{
    // systemd sets it for every process of a service, and for nothing else.
    return qEnvironmentVariableIsSet("INVOCATION_ID");
}
