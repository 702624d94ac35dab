#include "reconnect/PortFinder.h"

#include <algorithm>

namespace {

const SerialPortEntry *findNamed(const QList<SerialPortEntry> &ports, const QString &name)
{
    const auto found = std::find_if(ports.begin(), ports.end(),
                                    [&name](const SerialPortEntry &port) { return port.isNamed(name); });
    return found == ports.end() ? nullptr : &*found;
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
        if (!isTheDevice(port))
            continue;
        if (match)
            return QString();
        match = &port;
    }
    if (!match)
        return QString();
    return match == listed ? requested : match->name;
}

bool PortFinder::hasIdentity() const
{
    return !identity.serialNumber.isEmpty() || identity.hasModel();
}

bool PortFinder::isTheDevice(const SerialPortEntry &entry) const
{
    if (!identity.serialNumber.isEmpty()) {
        return entry.serialNumber == identity.serialNumber
               && (!identity.hasModel() || entry.sameModel(identity));
    }
    return onlyOneOfItsModel && entry.serialNumber.isEmpty() && entry.sameModel(identity)
           && entry.description == identity.description && entry.manufacturer == identity.manufacturer;
}
