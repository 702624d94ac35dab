#include "rig/RigReading.h"

#include <cmath>

RigReading RigReading::at(const QString &source, double frequencyHz, bool transmitting)
{
    // The range check comes before the conversion: casting a NaN or a huge
    // double to an integer is undefined.
    if (!std::isfinite(frequencyHz) || frequencyHz < 1.0 || frequencyHz > highestFrequencyHz)
        return none(source, transmitting);
    RigReading reading;
    reading.source = source;
    reading.frequencyHz = std::llround(frequencyHz);
    reading.valid = true;
    reading.transmitting = transmitting;
    return reading;
}

RigReading RigReading::none(const QString &source, bool transmitting)
{
    RigReading reading;
    reading.source = source;
    reading.transmitting = transmitting;
    return reading;
}

bool RigReading::operator==(const RigReading &other) const
{
    return source == other.source && frequencyHz == other.frequencyHz && valid == other.valid
           && transmitting == other.transmitting && kind == other.kind;
}
