#include "settings/CaptionsFile.h"

#include "panel/AntennaLabels.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("CaptionsFile", text);
}

// A line the panel would take as a caption: it must go, or it would stand
// beside (or win over) the new one.
bool isCaptionLine(const QString &line)
{
    if (line.startsWith(QLatin1Char(';')))
        return false;
    for (int key = 1; key <= positionCount; ++key) {
        if (line.startsWith(QStringLiteral("#K%1").arg(key)))
            return true;
    }
    return false;
}

} // namespace

namespace CaptionsFile {

QString normalized(const QString &caption)
{
    QString kept;
    for (int i = 0; i < caption.size(); ++i) {
        const QChar c = caption.at(i);
        if (c.isHighSurrogate() && i + 1 < caption.size() && caption.at(i + 1).isLowSurrogate()) {
            if (kept.size() + 2 > maxUnits)
                break;
            kept += c;
            kept += caption.at(++i);
            continue;
        }
        // Lone halves of a pair, line breaks, tabs and the like: none of
        // them can stand in a one-line caption.
        if (c.isSurrogate() || c.category() == QChar::Other_Control)
            continue;
        if (kept.size() + 1 > maxUnits)
            break;
        kept += c;
    }
    return kept;
}

QByteArray render(const Captions &captions, const QByteArray &existing)
{
    QString text;
    // Read as the panel reads it, so the kept lines are the ones it sees.
    QTextStream stream(existing);
    while (!stream.atEnd()) {
        const QString line = stream.readLine();
        if (!isCaptionLine(line))
            text += line + QLatin1Char('\n');
    }
    for (int key = 1; key <= positionCount; ++key) {
        const QString caption = normalized(captions[static_cast<size_t>(key - 1)]);
        if (!caption.isEmpty())
            text += QStringLiteral("#K%1 %2\n").arg(key).arg(caption);
    }
    // UTF-8, as the panel reads it, without a byte order mark.
    return text.toUtf8();
}

bool write(const QString &path, const Captions &captions, QString *error)
{
    QByteArray existing;
    QFile old(path);
    if (old.exists()) {
        if (!old.open(QIODevice::ReadOnly)) {
            if (error)
                *error = tr("Cannot read %1: %2").arg(path, old.errorString());
            return false;
        }
        // The panel reads no further than this; a larger file is something
        // else, and rewriting it would lose its end.
        if (old.size() > AntennaLabels::maxFileBytes) {
            if (error)
                *error = tr("%1 is larger than a captions file can be (%2 KiB); it is left as it is.")
                             .arg(path).arg(AntennaLabels::maxFileBytes / 1024);
            return false;
        }
        existing = old.readAll();
        old.close();
    }
    const QByteArray content = render(captions, existing);

    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        if (error)
            *error = tr("Cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QString fileToRead(const QString &besideProgram, const QString &userFile)
{
    return QFileInfo::exists(besideProgram) ? besideProgram : userFile;
}

SavePlan savePlan(const QString &besideProgram, bool besideExists, bool besideWritable, const QString &userFile)
{
    SavePlan plan;
    plan.files << userFile;
    if (besideExists && besideWritable)
        plan.files << besideProgram;
    else if (besideExists)
        plan.warning = tr("The captions file beside the program, %1, cannot be written, and the panel reads it at "
                          "start instead of yours: the keys show these captions now, but after a restart they show "
                          "that file's. Remove it, or make it writable, to keep these.")
                           .arg(QDir::toNativeSeparators(besideProgram));
    return plan;
}

SavePlan savePlan(const QString &besideProgram, const QString &userFile)
{
    const QFileInfo beside(besideProgram);
    // A file is only writable for us when its folder lets us replace it too:
    // it is saved through a temporary file beside it.
    const bool writable = beside.isFile() && beside.isWritable() && QFileInfo(beside.absolutePath()).isWritable();
    return savePlan(besideProgram, beside.exists(), writable, userFile);
}

QStringList save(const SavePlan &plan, const Captions &captions)
{
    QStringList messages;
    for (const QString &path : plan.files) {
        QString error;
        if (!write(path, captions, &error))
            messages << error;
    }
    if (!plan.warning.isEmpty())
        messages << plan.warning;
    return messages;
}

} // namespace CaptionsFile
