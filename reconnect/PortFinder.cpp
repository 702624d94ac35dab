#include "reconnect/PortFinder.h"

#include <QDir>

#include <algorithm>

namespace {

const SerialPortEntry *findNamed(const QList<SerialPortEntry> &ports, const QString &name)
{
    const auto found = std::find_if(ports.begin(), ports.end(),
                                    [&name](const SerialPortEntry &port) { return port.isNamed(name); });
    return found == ports.end() ? nullptr : &*found;
}

// Whether another port in ports carries the serial number of port.
bool serialNumberShared(const SerialPortEntry &port, const QList<SerialPortEntry> &ports)
{
    if (port.serialNumber.isEmpty())
        return false;
    return std::any_of(ports.begin(), ports.end(), [&port](const SerialPortEntry &other) {
        return other.name != port.name && other.serialNumber == port.serialNumber;
    });
}

} // namespace

PortFinder PortFinder::remember(const QString &requestedName, const QString &openedName,
                                const QList<SerialPortEntry> &present)
{
    PortFinder finder;
    finder.requestedName = requestedName;
    const SerialPortEntry *opened = findNamed(present, openedName);
    if (!opened)
        return finder;
    finder.identified = true;
    finder.identity = *opened;
    finder.serialNumberUnique = !opened->serialNumber.isEmpty() && !serialNumberShared(*opened, present);
    finder.onlyOneOfItsModel =
        std::count_if(present.begin(), present.end(),
                      [opened](const SerialPortEntry &port) { return port.sameModel(*opened); })
        == 1;
    return finder;
}

QString PortFinder::choose(const QString &requested, const QList<SerialPortEntry> &present,
                           bool requestedPathExists) const
{
    // What is known about the device belongs to the name it was asked for
    // by; settings changed since then ask for another port.
    const bool known = identified && requested == requestedName;
    const SerialPortEntry *listed = findNamed(present, requested);
    // A port with nothing to tell it by (no serial number, no USB ids) can
    // only be taken by its name.
    if (listed ? !(known && hasIdentity()) : requestedPathExists)
        return requested;
    if (!known)
        return QString();

    // The old name is checked like any other: it is taken only when it is
    // the one port that can be the device.
    const SerialPortEntry *match = nullptr;
    for (const SerialPortEntry &port : present) {
        if (!isTheDevice(port, present))
            continue;
        if (match)
            return QString();
        match = &port;
    }
    if (!match)
        return QString();
    return match == listed ? requested : match->name;
}

bool PortFinder::needsPortList(const QString &requested, bool requestedPathExists) const
{
    if (identified && requested == requestedName && hasIdentity())
        return true;
    return !requestedPathExists && !QDir::isAbsolutePath(requested);
}

bool PortFinder::hasIdentity() const
{
    return !identity.serialNumber.isEmpty() || identity.hasModel();
}

bool PortFinder::isTheDevice(const SerialPortEntry &entry, const QList<SerialPortEntry> &present) const
{
    // Two ports with one serial number now: either may be the radio's.
    if (entry.serialNumber != identity.serialNumber || serialNumberShared(entry, present))
        return false;
    if (serialNumberUnique)
        return !identity.hasModel() || entry.sameModel(identity);
    return onlyOneOfItsModel && entry.sameModel(identity) && entry.description == identity.description
           && entry.manufacturer == identity.manufacturer;
}
