#pragma once

#include "reconnect/SerialPortEntry.h"

#include <QList>
#include <QString>

// Which port is the lost device now. When a port opens, the finder remembers
// what the system's list said about it; at each try it is handed the list of
// that moment and the port name the settings ask for.
//
// The device is recognised by its USB serial number, and, for an adapter
// without one, by vendor and product id, description and manufacturer, but
// only if it was the one adapter of its kind when it was opened and is the
// one adapter of its kind now. Clone adapters often share a serial number:
// one that another port carried when the device was opened tells nothing,
// and the adapter counts as one without a serial number; a port whose serial
// number another port carries now is never taken for the device. The system's list gives no USB topology on
// every platform, so "the only one of its kind" stands in for a location.
// The name asked for is checked like any other name: it is taken when the
// port listed under it is the device, and the device is looked for under
// another name otherwise. Whenever two ports could be the device, none is
// taken: opening a stranger raises its DTR and RTS, which may key a radio.
// A name the list does not know but that exists, such as a
// /dev/serial/by-id/ link or a pseudo-terminal, is taken as it is, and so is
// a listed port that has nothing to tell it by (no serial number, no USB ids).
class PortFinder
{
public:
    // Knows nothing about the device: names are taken only as they are.
    PortFinder() = default;

    // The port asked for as requestedName opened as openedName, with the
    // ports in present listed by the system.
    static PortFinder remember(const QString &requestedName, const QString &openedName,
                               const QList<SerialPortEntry> &present);

    // The port to open when the settings ask for requestedName, or empty
    // when the device is nowhere to be seen.
    QString choose(const QString &requestedName, const QList<SerialPortEntry> &present,
                   bool requestedPathExists) const;

    // Whether choose() needs the system's list for this name: listing the
    // ports takes the system milliseconds, and a station whose device stays
    // away tries every few seconds for as long as it is gone. Without an
    // identity to look for, the list only tells whether a name that is not
    // a path (COM3, ttyUSB0) is a port; a path that is there is taken, and
    // one that is not cannot be listed either.
    bool needsPortList(const QString &requestedName, bool requestedPathExists) const;

private:
    bool hasIdentity() const;
    bool isTheDevice(const SerialPortEntry &entry, const QList<SerialPortEntry> &present) const;

    QString requestedName;
    bool identified = false;
    SerialPortEntry identity;
    // The serial number was the device's alone when it was opened.
    bool serialNumberUnique = false;
    bool onlyOneOfItsModel = false;
};
