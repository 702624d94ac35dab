#pragma once

#include "settings/StationSettings.h"

#include <QString>
#include <QStringList>

// Whether band follow's settings can run, field by field, with the rules the
// command line uses for the same values. Each message names what is wrong
// and what would do; an empty one means the field is good.
namespace BandFollowChecks {

struct Problems
{
    QString rigctldAddress;
    QString model;
    QString device;
    QString speed;
    QString loggerPorts;
    QString allowedSenders;
    QString hangTime;

    bool any() const;
};

// Entries typed in one field, separated by commas, semicolons or blanks.
QStringList splitEntries(const QString &text);

QString checkRigctldAddress(const QString &text);
QString checkModel(int model);
QString checkDevice(const QString &device);
// "" or "Default": 0, the model's own speed; else a whole number of baud.
QString checkSpeed(const QString &text, int *speed = nullptr);
// Every entry "[ADDR:]PORT", as --logger-udp takes it.
QString checkLoggerPorts(const QStringList &entries);
// Every entry "ADDR[/BITS]".
QString checkAllowedSenders(const QStringList &entries);
QString checkHangTime(int ms);

// The fields of the radio source that is chosen, and the rest.
Problems check(const BandFollowSettings &settings);

} // namespace BandFollowChecks
