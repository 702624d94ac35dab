#include "band/AntennaFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("AntennaFile", text);
}

const QByteArray byteOrderMark("\xEF\xBB\xBF");

// What a problem quotes of the file: enough to find the line by.
constexpr int quotedLength = 32;

QString quoted(const QString &text)
{
    if (text.size() <= quotedLength)
        return text;
    QString cut = text.left(quotedLength);
    if (cut.at(cut.size() - 1).isHighSurrogate())
        cut.chop(1);
    return cut + QChar(0x2026);
}

// Groups and the one rule, as the file spells them; read whatever their case.
const QString bandsGroup = QStringLiteral("Bands");
const QString rulesGroup = QStringLiteral("Rules");
const QString receiveOnlyGroup = QStringLiteral("ReceiveOnly");
const QString refuseKey = QStringLiteral("RefuseOffBand");

// One line of the file, as far as the rules are concerned.
struct Line
{
    enum class Kind { Blank, Comment, Group, Setting, Other };
    QString text;      // as written, without its line end
    QByteArray bytes;  // ... as its bytes, whatever their encoding
    Kind kind = Kind::Other;
    QString group;     // the group it is in, lower case; empty before any
    QString key;       // a setting's, trimmed
    QString value;
};

struct Lines
{
    QList<Line> lines;
    bool byteOrderMark = false;
    bool crlf = false;
};

Lines split(const QByteArray &raw)
{
    Lines result;
    QByteArray text = raw;
    if (text.startsWith(byteOrderMark)) {
        result.byteOrderMark = true;
        text.remove(0, byteOrderMark.size());
    }
    QList<QByteArray> rawLines = text.split('\n');
    if (!rawLines.isEmpty() && rawLines.last().isEmpty())
        rawLines.removeLast();   // the end of the last line
    result.crlf = !rawLines.isEmpty() && rawLines.first().endsWith('\r');
    QString group;
    for (QByteArray rawLine : rawLines) {
        if (rawLine.endsWith('\r'))
            rawLine.chop(1);
        Line line;
        line.bytes = rawLine;
        line.text = QString::fromUtf8(rawLine);
        const QString trimmed = line.text.trimmed();
        const int equals = trimmed.indexOf(QLatin1Char('='));
        if (trimmed.isEmpty()) {
            line.kind = Line::Kind::Blank;
        } else if (trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'))) {
            line.kind = Line::Kind::Comment;
        } else if (trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))) {
            line.kind = Line::Kind::Group;
            group = trimmed.mid(1, trimmed.size() - 2).trimmed().toLower();
        } else if (equals > 0) {
            line.kind = Line::Kind::Setting;
            line.key = trimmed.left(equals).trimmed();
            line.value = trimmed.mid(equals + 1).trimmed();
        }
        line.group = group;
        result.lines << line;
    }
    return result;
}

// Antennas are numbered 1..8 in the file, as on the keys; -1 for anything else.
int antennaKey(const QString &key)
{
    bool ok = false;
    const int number = key.toInt(&ok);
    return ok && number >= 1 && number <= positionCount ? number - 1 : -1;
}

std::optional<bool> truth(const QString &value)
{
    static const QStringList yes{QStringLiteral("true"), QStringLiteral("yes"), QStringLiteral("on"),
                                 QStringLiteral("1")};
    static const QStringList no{QStringLiteral("false"), QStringLiteral("no"), QStringLiteral("off"),
                                QStringLiteral("0")};
    if (yes.contains(value, Qt::CaseInsensitive))
        return true;
    if (no.contains(value, Qt::CaseInsensitive))
        return false;
    return std::nullopt;
}

// Where a line stands: a setting the rules are written to, by group and key
// ("bands/3", "rules/refuseoffband"), or none.
QString managedId(const Line &line)
{
    if (line.kind != Line::Kind::Setting)
        return QString();
    if ((line.group == bandsGroup.toLower() || line.group == receiveOnlyGroup.toLower()) && antennaKey(line.key) >= 0)
        return line.group + QLatin1Char('/') + QString::number(antennaKey(line.key) + 1);
    if (line.group == rulesGroup.toLower() && line.key.compare(refuseKey, Qt::CaseInsensitive) == 0)
        return line.group + QLatin1Char('/') + refuseKey.toLower();
    return QString();
}

QString bandList(AntennaRules::Bands bands)
{
    QStringList names;
    for (int band = 0; band < BandPlan::count; ++band) {
        if ((bands & (AntennaRules::Bands(1) << band)) != 0)
            names << BandPlan::key(band);
    }
    return names.join(QLatin1Char(' '));
}

} // namespace

AntennaFile::AntennaFile(const QString &path)
    : filePath(path)
{
}

AntennaFile::Contents AntennaFile::load() const
{
    const QFileInfo info(filePath);
    if (!info.exists())
        return Contents();
    Contents unreadable;
    unreadable.readable = false;
    // A named pipe or a device would hold the panel up waiting for data.
    if (!info.isFile()) {
        unreadable.problems << tr("Cannot read %1: it is not a file").arg(filePath);
        return unreadable;
    }
    if (info.size() > maxBytes) {
        unreadable.problems << tr("Cannot read %1: larger than %2 KiB").arg(filePath).arg(maxBytes / 1024);
        return unreadable;
    }
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        unreadable.problems << tr("Cannot read %1: %2").arg(filePath, file.errorString());
        return unreadable;
    }
    return parse(file.read(maxBytes));
}

AntennaFile::Contents AntennaFile::parse(const QByteArray &text)
{
    Contents contents;
    AntennaRules &rules = contents.rules;
    const Lines file = split(text);
    QSet<QString> groupsSaid;
    for (int i = 0; i < file.lines.size(); ++i) {
        const Line &line = file.lines.at(i);
        const QString where = tr("line %1").arg(i + 1);
        switch (line.kind) {
        case Line::Kind::Blank:
        case Line::Kind::Comment:
            continue;
        case Line::Kind::Group:
            if (line.group != bandsGroup.toLower() && line.group != rulesGroup.toLower()
                && line.group != receiveOnlyGroup.toLower() && !groupsSaid.contains(line.group)) {
                groupsSaid.insert(line.group);
                contents.problems << tr("%1: unknown group [%2]; its lines are ignored")
                                         .arg(where, quoted(line.text.trimmed().mid(1).chopped(1)));
            }
            continue;
        case Line::Kind::Other:
            contents.problems << tr("%1: not a setting (KEY=VALUE)").arg(where);
            continue;
        case Line::Kind::Setting:
            break;
        }
        if (line.group.isEmpty()) {
            contents.problems << tr("%1: '%2' is in no group ([Bands], [Rules] or [ReceiveOnly])")
                                     .arg(where, quoted(line.key));
        } else if (line.group == rulesGroup.toLower()) {
            if (line.key.compare(refuseKey, Qt::CaseInsensitive) != 0) {
                contents.problems << tr("%1: unknown rule '%2'").arg(where, quoted(line.key));
                continue;
            }
            const std::optional<bool> refuse = truth(line.value);
            if (!refuse)
                contents.problems << tr("%1: '%2' is neither true nor false; taken as true").arg(where, quoted(line.value));
            rules.refuseOffBand = refuse.value_or(true);
        } else if (line.group == bandsGroup.toLower() || line.group == receiveOnlyGroup.toLower()) {
            const int position = antennaKey(line.key);
            if (position < 0) {
                contents.problems << tr("%1: there is no antenna '%2' (antennas are 1 to 8)").arg(where, quoted(line.key));
                continue;
            }
            if (line.group == receiveOnlyGroup.toLower()) {
                const std::optional<bool> mark = truth(line.value);
                if (!mark)
                    contents.problems << tr("%1: '%2' is neither true nor false; antenna %3 taken as receive only")
                                             .arg(where, quoted(line.value)).arg(position + 1);
                const quint8 bit = static_cast<quint8>(1u << position);
                rules.receiveOnlyMask = mark.value_or(true) ? (rules.receiveOnlyMask | bit)
                                                            : (rules.receiveOnlyMask & ~bit);
                continue;
            }
            AntennaRules::Bands bands = 0;
            QStringList unknown;
            for (const QString &name :
                 line.value.split(QRegularExpression(QStringLiteral("[\\s,;]+")), Qt::SkipEmptyParts)) {
                const int band = BandPlan::bandForKey(name.toLower());
                if (band == BandPlan::noBand)
                    unknown << name;
                else
                    bands |= AntennaRules::Bands(1) << band;
            }
            if (!unknown.isEmpty())
                contents.problems << tr("%1: unknown band %2; the other bands of antenna %3 count")
                                         .arg(where, quoted(QStringLiteral("'%1'").arg(unknown.join(QStringLiteral("', '")))))
                                         .arg(position + 1);
            rules.bands[static_cast<size_t>(position)] = bands;
        }
        // Lines of an unknown group were said with the group.
    }
    // A file that is not this one at all (a log named by mistake) would
    // otherwise be said line by line, in the status bar's tooltip and the
    // dialog.
    if (contents.problems.size() > maxProblems) {
        const int more = contents.problems.size() - maxProblems;
        contents.problems.erase(contents.problems.begin() + maxProblems, contents.problems.end());
        contents.problems << tr("and %1 more").arg(more);
    }
    return contents;
}

QByteArray AntennaFile::rewrite(const QByteArray &text, const AntennaRules &rules)
{
    const Lines file = split(text);

    // What the rules say, as group -> lines in the order they are written.
    struct Wanted
    {
        QString group;   // as written in a new header
        QString key;
        QString value;
    };
    QMap<QString, Wanted> wanted;   // by managedId
    QStringList order;
    const auto want = [&](const QString &group, const QString &key, const QString &value) {
        const QString id = group.toLower() + QLatin1Char('/') + key.toLower();
        wanted.insert(id, Wanted{group, key, value});
        order << id;
    };
    for (int p = 0; p < positionCount; ++p) {
        if (const std::optional<AntennaRules::Bands> &bands = rules.bands[static_cast<size_t>(p)])
            want(bandsGroup, QString::number(p + 1), bandList(*bands));
    }
    bool refuseWritten = false;
    for (const Line &line : file.lines)
        refuseWritten = refuseWritten || managedId(line) == rulesGroup.toLower() + QLatin1Char('/') + refuseKey.toLower();
    // Warning is the default: a rule not in the file is not added for it.
    if (rules.refuseOffBand || refuseWritten)
        want(rulesGroup, refuseKey, rules.refuseOffBand ? QStringLiteral("true") : QStringLiteral("false"));
    for (int p = 0; p < positionCount; ++p) {
        if (rules.receiveOnly(p))
            want(receiveOnlyGroup, QString::number(p + 1), QStringLiteral("true"));
    }

    // Lines the rules do not write keep their bytes, read as UTF-8 or not.
    QList<QByteArray> out;
    QSet<QString> written;
    QMap<QString, int> lastOfGroup;   // where a group's last line went
    for (const Line &line : file.lines) {
        const QString id = managedId(line);
        if (!id.isEmpty()) {
            // The first line of a setting takes its new value; any later one
            // (which it overrode) and those of settings no longer wanted go.
            if (written.contains(id) || !wanted.contains(id))
                continue;
            written.insert(id);
            out << QStringLiteral("%1=%2").arg(line.key, wanted.value(id).value).toUtf8();
        } else {
            out << line.bytes;
        }
        if (line.kind != Line::Kind::Blank && line.kind != Line::Kind::Comment)
            lastOfGroup.insert(line.group, out.size() - 1);
    }

    // Settings not in the file yet go at the end of their group, or in a new
    // group at the end.
    QMap<int, QStringList> insertAfter;
    QStringList newGroups;
    QMap<QString, QStringList> newGroupLines;
    for (const QString &id : qAsConst(order)) {
        if (written.contains(id))
            continue;
        const Wanted &setting = wanted[id];
        const QString group = setting.group.toLower();
        const QString lineText = QStringLiteral("%1=%2").arg(setting.key, setting.value);
        if (lastOfGroup.contains(group)) {
            insertAfter[lastOfGroup.value(group)] << lineText;
        } else {
            if (!newGroups.contains(setting.group))
                newGroups << setting.group;
            newGroupLines[setting.group] << lineText;
        }
    }
    QList<QByteArray> result;
    const auto add = [&result](const QStringList &lines) {
        for (const QString &line : lines)
            result << line.toUtf8();
    };
    for (int i = 0; i < out.size(); ++i) {
        result << out.at(i);
        add(insertAfter.value(i));
    }
    for (const QString &group : qAsConst(newGroups)) {
        if (!result.isEmpty() && !result.last().trimmed().isEmpty())
            result << QByteArray();
        add({QStringLiteral("[%1]").arg(group)});
        add(newGroupLines.value(group));
    }

    const QByteArray lineEnd = file.crlf ? QByteArrayLiteral("\r\n") : QByteArrayLiteral("\n");
    QByteArray bytes = file.byteOrderMark ? byteOrderMark : QByteArray();
    for (const QByteArray &line : qAsConst(result))
        bytes += line + lineEnd;
    return bytes;
}

bool AntennaFile::save(const AntennaRules &rules, QString *error) const
{
    QByteArray before;
    const QFileInfo info(filePath);
    if (info.exists()) {
        QFile file(filePath);
        if (!info.isFile() || info.size() > maxBytes || !file.open(QIODevice::ReadOnly)) {
            // What cannot be read cannot be kept: it is not overwritten.
            *error = tr("Cannot read %1 to keep its other lines").arg(filePath);
            return false;
        }
        before = file.readAll();
    }
    QDir().mkpath(info.absolutePath());
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = tr("Cannot write %1: %2").arg(filePath, file.errorString());
        return false;
    }
    file.write(rewrite(before, rules));
    if (!file.commit()) {
        *error = tr("Cannot write %1: %2").arg(filePath, file.errorString());
        return false;
    }
    return true;
}
