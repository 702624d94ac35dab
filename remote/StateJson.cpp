#include "remote/StateJson.h"

#include "panel/AntennaLabels.h"
#include "remote/JsonKeys.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace StateJson {

namespace {

// Positions go out as the panel numbers its antennas, 1..8.
QJsonValue antenna(bool known, quint8 position)
{
    return known && isPosition(position) ? QJsonValue(position + 1) : QJsonValue(QJsonValue::Null);
}

QJsonArray antennas(quint8 mask)
{
    QJsonArray list;
    for (int p = 0; p < positionCount; ++p) {
        if (inMask(mask, p))
            list.append(p + 1);
    }
    return list;
}

} // namespace

QByteArray fromSnapshot(const SwitchSnapshot &s, const QString &band, std::optional<quint8> allowed)
{
    // What the panel shows of a switch that does not answer is stale, so the
    // antenna in use is only given while the switch answers.
    const bool answering = s.linkOpen && s.power;
    QJsonObject state{
        {QStringLiteral("link"), QJsonObject{{QStringLiteral("connected"), s.linkOpen},
                                             {QStringLiteral("port"), s.linkOpen ? QJsonValue(s.linkName)
                                                                                 : QJsonValue(QJsonValue::Null)}}},
        {QStringLiteral("firmware"), s.firmwareKnown
                                         ? QJsonValue(QStringLiteral("%1.%2").arg(s.firmwareMajor).arg(s.firmwareMinor))
                                         : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("power"), s.power},
        {QStringLiteral("send"), s.send},
        {QStringLiteral("antenna"), antenna(answering, s.position)},
        {QStringLiteral("split"), QJsonObject{{QStringLiteral("on"), s.splitOn},
                                              {QStringLiteral("tx"), antenna(s.splitOn, s.splitPosition)}}},
        {QStringLiteral("superSplit"),
         QJsonObject{{QStringLiteral("on"), s.superSplitOn},
                     {QStringLiteral("group"), antennas(s.superSplitMask)},
                     {QStringLiteral("partner"), antenna(s.superSplitOn, s.superSplitPartner)}}},
        {QStringLiteral("busy"), antennas(s.busyMask)},
        {QStringLiteral("rotor"), s.rotor >= 1 && s.rotor <= rotorCount ? s.rotor : 0},
        {QStringLiteral("captions"), QJsonArray::fromStringList(
                                         QStringList(s.captions.begin(), s.captions.end()))},
    };
    if (!band.isEmpty())
        state.insert(QStringLiteral("band"), band);
    if (allowed) {
        QJsonArray each;
        for (int p = 0; p < positionCount; ++p)
            each.append(inMask(*allowed, p));
        state.insert(QStringLiteral("allowed"), each);
    }
    return QJsonDocument(state).toJson(QJsonDocument::Compact);
}

QStringList captions(const QByteArray &stateMessage)
{
    if (JsonKeys::repeatsAKey(stateMessage))
        return {};
    const QJsonArray list = QJsonDocument::fromJson(stateMessage).object().value(QStringLiteral("captions")).toArray();
    if (list.size() != positionCount)
        return {};
    QStringList result;
    for (const QJsonValue &caption : list) {
        if (!caption.isString())
            return {};
        QString cut = caption.toString().left(AntennaLabels::captionLength);
        // Never half of a character made of two units (an emoji).
        if (!cut.isEmpty() && cut.at(cut.size() - 1).isHighSurrogate())
            cut.chop(1);
        result << cut;
    }
    return result;
}

} // namespace StateJson
