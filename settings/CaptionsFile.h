#pragma once

#include "panel/PanelState.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <array>

// Writes the key captions as the panel reads them at start ("#K1 Yagi": the
// marker, one blank and the caption), and decides which file that is.
//
// A caption is at most four characters as the panel counts them: UTF-16
// units, so a character outside the Basic Multilingual Plane (most emoji, the
// ones that take four bytes in UTF-8) counts as two and is never cut in half.
// An empty caption gets no line; the panel then shows the key without a
// caption, as it does for "". Blanks are kept as they are, leading and
// trailing ones included.
namespace CaptionsFile {

using Captions = std::array<QString, positionCount>;

constexpr int maxUnits = 4;

// What can be stored of a typed caption: control characters (line breaks,
// tabs) dropped, then cut to four units without splitting a character.
QString normalized(const QString &caption);

// The new file: the lines of the existing file that give no caption
// (comments, anything else) kept in their order, then one line per key with
// a caption. UTF-8 with a byte order mark, which the panel recognises in any
// locale.
QByteArray render(const Captions &captions, const QByteArray &existing = QByteArray());

// Writes path (and its folder) through a temporary file, so a failure leaves
// the old file whole. False with the reason in error.
bool write(const QString &path, const Captions &captions, QString *error);

// Which file the panel reads at start: the one beside the program when it
// exists (as always), the user's otherwise.
QString fileToRead(const QString &besideProgram, const QString &userFile);

struct SavePlan
{
    QStringList files;  // written, in this order
    QString warning;    // for the operator, or empty
};

// Where the dialog saves: the user's file always; the file beside the program
// too when it exists, since that one wins at start. When it exists and
// cannot be written, the warning says so.
SavePlan savePlan(const QString &besideProgram, bool besideExists, bool besideWritable, const QString &userFile);
// The same, asking the file system.
SavePlan savePlan(const QString &besideProgram, const QString &userFile);

// Carries out the plan: the messages of each file that failed, then the
// plan's warning; empty when every file was written and nothing needs saying.
QStringList save(const SavePlan &plan, const Captions &captions);

} // namespace CaptionsFile

Q_DECLARE_METATYPE(CaptionsFile::Captions)
