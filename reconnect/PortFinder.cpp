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
    if (listed ? !(known && plainlyAnother(*listed)) : requestedPathExists)
        return requested;
    if (!known)
        return QString();

    const SerialPortEntry *match = nullptr;
    for (const SerialPortEntry &port : present) {
        if (!isTheDevice(port))
            continue;
        if (match)
            return QString();
        match = &port;
    }
    return match ? match->name : QString();
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

// Another adapter under the device's old name: a different serial number, or
// a different vendor and product.
bool PortFinder::plainlyAnother(const SerialPortEntry &entry) const
{
    if (!identity.serialNumber.isEmpty() && entry.serialNumber != identity.serialNumber)
        return true;
    return identity.hasModel() && !entry.sameModel(identity);
}
