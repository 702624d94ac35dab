#include "panel/AntennaLabels.h"

#include <QFile>
#include <QFileInfo>
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
