#pragma once

#include <QList>
#include <QString>

#include <optional>

// The radios this Hamlib can drive, as its backends list them: one entry per
// model number with its maker, model name and how finished Hamlib says its
// support is ("Stable", "Beta", ...).
struct HamlibModel
{
    int number = 0;
    QString maker;
    QString name;
    QString status;

    // "Yaesu FT-991", as a list or a label shows it.
    QString displayName() const;
};

namespace HamlibModels {

// Every model, sorted by maker, then model name (ignoring case), then number.
// Loads Hamlib's backends the first time; later calls return the same list.
const QList<HamlibModel> &all();

// The model with this number, or nothing when this Hamlib does not know it
// (a number remembered from another Hamlib version, or made up).
std::optional<HamlibModel> find(int number);

// "Yaesu FT-991 (1035)" for a known number; "Unknown model 1035" otherwise.
QString describe(int number);

} // namespace HamlibModels
