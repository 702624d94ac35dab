#pragma once

#include <QString>

// Why a radio's serial port was refused, in words an operator can act on:
// Hamlib reports any port it cannot open as an I/O error, which looks like a
// radio that does not answer.
class PortRefusal
{
public:
    // "Cannot open /dev/ttyUSB1: permission denied" when the port exists but
    // this program may not read and write it, or empty. Under a service the
    // text also names the group whose members may open it.
    static QString check(const QString &path);

    // The same from what is known about the port: the group that may read
    // and write it, empty when no group may.
    static QString describe(const QString &path, const QString &group, bool underService);

    // Started by systemd as a service.
    static bool underService();
};
