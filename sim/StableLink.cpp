#include "sim/StableLink.h"

#include <QFile>

#include <cstdio>

#include <unistd.h>

StableLink::StableLink(QString path)
    : linkPath(std::move(path))
{
}

StableLink::~StableLink()
{
    remove();
}

bool StableLink::pointAt(const QString &device)
{
    // A new link renamed over the old one, so the name never points nowhere
    // while it moves.
    const QByteArray temporary = QFile::encodeName(linkPath + QStringLiteral(".new"));
    ::unlink(temporary.constData());
    if (::symlink(QFile::encodeName(device).constData(), temporary.constData()) < 0)
        return false;
    return std::rename(temporary.constData(), QFile::encodeName(linkPath).constData()) == 0;
}

void StableLink::remove()
{
    ::unlink(QFile::encodeName(linkPath).constData());
}
