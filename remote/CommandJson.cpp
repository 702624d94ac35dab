#include "remote/CommandJson.h"

#include "remote/JsonKeys.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace CommandJson {

namespace {

constexpr int maxWordValue = 0xFFFF;
constexpr int highestSplitNibble = positionCount;

// JSON numbers are doubles; a command takes whole numbers only, and huge or
// fractional ones are refused rather than rounded.
bool wholeNumber(const QJsonValue &value, int low, int high, int *number)
{
    if (!value.isDouble())
        return false;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < low || d > high)
        return false;
    *number = static_cast<int>(d);
    return true;
}

Outcome refuse(const QString &reason)
{
    return Outcome{{}, reason};
}

Outcome accept(QVector<CommandWord> words)
{
    return Outcome{std::move(words), QString()};
}

QString range(const char *what, int low, int high)
{
    return QStringLiteral("%1 must be a whole number from %2 to %3").arg(QLatin1String(what)).arg(low).arg(high);
}

Outcome antennaCommand(const QJsonValue &value, const SwitchSnapshot &s)
{
    int antenna = 0;
    if (!wholeNumber(value, 1, positionCount, &antenna))
        return refuse(range("antenna", 1, positionCount));
    // As the antenna's key: with split on, the antenna in use switches it off.
    if (s.splitOn && s.hasPosition() && antenna - 1 == s.position)
        return accept({Protocol::splitOffWord()});
    return accept({Protocol::selectWord(antenna - 1)});
}

Outcome rotorCommand(const QJsonValue &value, const SwitchSnapshot &s)
{
    int rotor = 0;
    if (!wholeNumber(value, 0, rotorCount, &rotor))
        return refuse(range("rotor", 0, rotorCount));
    const int selected = s.rotor >= 1 && s.rotor <= rotorCount ? s.rotor : 0;
    // The panel's rotor button toggles: clicking the selected rotor releases
    // it. A command names the rotor wanted, so asking for the one already
    // selected (or for none when none is) changes nothing.
    if (rotor == selected)
        return accept({});
    if (!s.hasPosition())
        return refuse(QStringLiteral("no antenna is in use to turn a rotor for"));
    return accept({Protocol::rotorWord(s.position, rotor)});
}

Outcome splitCommand(const QJsonValue &value, const SwitchSnapshot &s)
{
    if (value.isBool() && !value.toBool())
        return accept({Protocol::splitOffWord()});
    const QJsonObject split = value.toObject();
    int tx = 0;
    if (!value.isObject() || split.size() != 1 || !split.contains(QLatin1String("tx")))
        return refuse(QStringLiteral("split takes {\"tx\":N} or false"));
    if (!wholeNumber(split.value(QLatin1String("tx")), 1, positionCount, &tx))
        return refuse(range("split tx", 1, positionCount));
    if (!s.hasPosition())
        return refuse(QStringLiteral("no antenna is in use to split from"));
    return accept({Protocol::splitOnWord(s.position, tx - 1)});
}

Outcome superSplitCommand(const QJsonValue &value)
{
    if (value.isBool() && !value.toBool())
        return accept({Protocol::superSplitWord(0)});
    const QJsonArray group = value.toArray();
    if (!value.isArray() || group.size() > positionCount)
        return refuse(QStringLiteral("superSplit takes a list of up to %1 antennas or false").arg(positionCount));
    quint8 mask = 0;
    for (const QJsonValue &member : group) {
        int antenna = 0;
        if (!wholeNumber(member, 1, positionCount, &antenna))
            return refuse(range("a superSplit antenna", 1, positionCount));
        mask |= static_cast<quint8>(1u << (antenna - 1));
    }
    return accept({Protocol::superSplitWord(mask)});
}

Outcome wordCommand(const QJsonValue &value, const SwitchSnapshot &s)
{
    int raw = 0;
    if (!wholeNumber(value, 0, maxWordValue, &raw))
        return refuse(range("word", 0, maxWordValue));
    const auto word = static_cast<CommandWord>(static_cast<quint16>(raw));
    if (!panelCouldSend(word))
        return refuse(QStringLiteral("word %1 is not one the panel sends").arg(raw));
    if (!fitsTheSwitch(word, s))
        return refuse(QStringLiteral("word %1 was made for antenna %2, but antenna %3 is in use")
                          .arg(raw)
                          .arg(Protocol::commandOperand(word) >> 4)
                          .arg(s.hasPosition() ? QString::number(s.position + 1) : QStringLiteral("none")));
    return accept({word});
}

} // namespace

Outcome parse(const QByteArray &message, const SwitchSnapshot &snapshot)
{
    if (message.size() > maxMessageBytes)
        return refuse(QStringLiteral("command too long (%1 bytes, at most %2)").arg(message.size()).arg(maxMessageBytes));
    if (JsonKeys::repeatsAKey(message))
        return refuse(QStringLiteral("a key appears twice in one object"));
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(message, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refuse(QStringLiteral("not JSON: %1 at byte %2").arg(parseError.errorString()).arg(parseError.offset));
    if (!document.isObject())
        return refuse(QStringLiteral("a command is a JSON object such as {\"antenna\":3}"));
    const QJsonObject command = document.object();
    if (command.isEmpty())
        return refuse(QStringLiteral("empty command"));
    if (command.size() > 1)
        return refuse(QStringLiteral("one command per message"));

    const QString name = command.begin().key();
    const QJsonValue value = command.begin().value();
    Outcome outcome;
    if (name == QLatin1String("antenna"))
        outcome = antennaCommand(value, snapshot);
    else if (name == QLatin1String("rotor"))
        outcome = rotorCommand(value, snapshot);
    else if (name == QLatin1String("split"))
        outcome = splitCommand(value, snapshot);
    else if (name == QLatin1String("superSplit"))
        outcome = superSplitCommand(value);
    else if (name == QLatin1String("word"))
        outcome = wordCommand(value, snapshot);
    else
        return refuse(QStringLiteral("unknown command \"%1\"").arg(name.left(maxQuotedBytes / 4)));

    if (outcome.error.isEmpty() && !outcome.words.isEmpty() && !snapshot.linkOpen)
        return refuse(QStringLiteral("the switch is not connected"));
    return outcome;
}

bool panelCouldSend(CommandWord word)
{
    const quint8 operand = Protocol::commandOperand(word);
    const int high = operand >> 4;
    const int low = operand & 0x0F;
    const bool positionNibble = high >= 1 && high <= highestSplitNibble;
    switch (Protocol::commandLetter(word)) {
    case Protocol::selectLetter:
        return isPosition(operand);
    case Protocol::splitLetter:
        return operand == 0 || (positionNibble && low >= 1 && low <= highestSplitNibble);
    case Protocol::superSplitLetter:
        return true;
    case Protocol::rotorLetter:
        return positionNibble && low <= rotorCount;
    default:
        return false;
    }
}

bool fitsTheSwitch(CommandWord word, const SwitchSnapshot &snapshot)
{
    const quint8 operand = Protocol::commandOperand(word);
    const bool carriesPosition = Protocol::commandLetter(word) == Protocol::rotorLetter
                                 || (Protocol::commandLetter(word) == Protocol::splitLetter && operand != 0);
    return !carriesPosition || (snapshot.hasPosition() && (operand >> 4) == snapshot.position + 1);
}

QByteArray wordMessage(CommandWord word)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("word"), static_cast<quint16>(word)}})
        .toJson(QJsonDocument::Compact);
}

QByteArray errorMessage(const QString &reason, const QByteArray &command, const QString &user)
{
    // Cut on a character boundary, so a long command still yields valid text.
    const QString quoted = QString::fromUtf8(command.left(maxQuotedBytes));
    QJsonObject report{{QStringLiteral("error"), reason}, {QStringLiteral("command"), quoted}};
    if (!user.isEmpty())
        report.insert(QStringLiteral("user"), user);
    return QJsonDocument(report).toJson(QJsonDocument::Compact);
}

QByteArray warningMessage(const QString &warning, const QByteArray &command, const QString &user)
{
    QJsonObject report{{QStringLiteral("warning"), warning}};
    if (!command.isEmpty())
        report.insert(QStringLiteral("command"), QString::fromUtf8(command.left(maxQuotedBytes)));
    if (!user.isEmpty())
        report.insert(QStringLiteral("user"), user);
    return QJsonDocument(report).toJson(QJsonDocument::Compact);
}

} // namespace CommandJson
