#pragma once

#include <QMetaType>
#include <QString>

// What a source knows of the radio at one moment. Sources hand over only this.
struct RigReading
{
    // A radio read through Hamlib answers or says it cannot; a logger only
    // speaks when it has something to say, so its word grows old.
    enum class Kind { Rig, Logger };

    // Above the highest amateur allocation; anything beyond is a broken source.
    static constexpr double highestFrequencyHz = 300e9;

    QString source;            // who said it, so several sources can be told apart
    qint64 frequencyHz = 0;
    bool valid = false;        // frequencyHz is a real frequency
    bool transmitting = false;
    Kind kind = Kind::Rig;

    // A reading with the frequency taken from any number a source produced:
    // zero, negative, NaN, infinite or absurd values give no frequency.
    static RigReading at(const QString &source, double frequencyHz, bool transmitting);
    // The source has nothing to say about the frequency (or has gone away).
    static RigReading none(const QString &source, bool transmitting = false);

    bool operator==(const RigReading &other) const;
    bool operator!=(const RigReading &other) const { return !(*this == other); }
};

Q_DECLARE_METATYPE(RigReading)
