#pragma once

#include "app/Station.h"
#include "panel/SwitchSeam.h"
#include "support/LinkedPanel.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <memory>

// The station as the program composes it, in this process: the real window
// and poll thread, a virtual switch at the far end of a pseudo-terminal, and
// a Station built from a command line (read as the program reads it) over a
// configuration folder of its own.
class StationRun
{
public:
    explicit StationRun(const VirtualSwitch::Options &options = {});
    ~StationRun();

    // The options a command line gives, as the program reads them; "DEVICE"
    // stands for the virtual switch's device.
    Station::Options optionsFrom(const QStringList &arguments) const;
    // Builds and starts the station (connecting at start, when asked).
    void start(const QStringList &arguments = {});
    // The profile's remembered settings, as station.ini holds them: lines
    // such as "[BandFollow]" and "LoggerPorts=12060"; "DEVICE" as above.
    bool remember(const QByteArray &stationIni, const QString &profile = QString()) const;

    QString configFolder() const { return config.path(); }
    QString devicePath() const { return linked->device->devicePath(); }

    // What reached the switch: select frames ("IGS2;"), and every frame.
    QList<QByteArray> selects() const;
    QList<VirtualSwitch::ReceivedFrame> selectFrames() const;

    // A free UDP port of this computer.
    static quint16 freeUdpPort();
    // A logger's RadioInfo packet, for radio 1 unless another is named.
    static QByteArray radioInfo(qint64 hz, bool transmitting, int radio = 1, int activeRadio = 1);
    // Sends it from the given address of this computer to the port.
    static bool sendFrom(const QString &address, quint16 port, const QByteArray &packet);

    const SwitchSnapshot &snapshot() const { return linked->window->seam()->snapshot(); }
    QString followLabel() const;

    std::unique_ptr<LinkedPanel> linked;
    std::unique_ptr<Station> station;
    QStringList told;      // status bar texts, oldest first
    QStringList warnings;  // what the station logged as warnings
    QStringList infos;     // ... and as information

private:
    QTemporaryDir config;
};
