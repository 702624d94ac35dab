#include "panel/AntennaLabels.h"

#include <QFile>
#include <QFileInfo>
#include <QTextCodec>
#include <QTextStream>

AntennaLabels::Captions AntennaLabels::read(const QString &path)
{
    // A named pipe or a device would hold the start up waiting for data.
    if (QFileInfo(path).exists() && !QFileInfo(path).isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return parse(file.read(maxFileBytes));
}

AntennaLabels::Captions AntennaLabels::parse(const QByteArray &content)
{
    Captions captions;
    QTextStream stream(content);
    // The Station menu writes the file as UTF-8 without a byte order mark:
    // bytes that are UTF-8 are read so. Anything else is read in the
    // locale's encoding, a byte order mark still telling its own.
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(content.constData(), content.size(), &state);
    if (state.invalidChars == 0)
        stream.setCodec("UTF-8");
    while (!stream.atEnd()) {
        const QString line = stream.readLine();
        if (line.startsWith(QLatin1Char(';'), Qt::CaseSensitive))
            continue;
        for (int key = 1; key <= positionCount; ++key) {
            if (line.startsWith(QStringLiteral("#K%1").arg(key), Qt::CaseSensitive)) {
                // A short line gives the characters it has.
                QString caption = line.mid(captionStart, captionLength);
                captions[static_cast<size_t>(key - 1)] = caption.isNull() ? QString(QLatin1String("")) : caption;
                break;
            }
        }
    }
    return captions;
}
