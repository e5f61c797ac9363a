// SPDX-License-Identifier: GPL-2.0-or-later
#include "panel/OpenTarget.h"
#include "common/FileNames.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>

OpenTarget ResolveOpenTarget(const QByteArray &path)
{
    OpenTarget target;
    struct stat st
    {};
    if (path.isEmpty() || ::stat(path.constData(), &st) != 0 || S_ISDIR(st.st_mode)) {
        target.folder = DecodeName(path);
        return target;
    }
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash <= 0 ? QByteArray("/") : path.left(slash);
    target.folder = DecodeName(folder);
    target.name = DecodeName(path.mid(slash + 1));
    return target;
}

QString TemporaryEntryText(const QString &folder)
{
    const QString clean = QDir::cleanPath(folder);
    const qsizetype slash = clean.lastIndexOf(QLatin1Char('/'));
    const QString last = slash < 0 || clean == QLatin1String("/") ? clean : clean.mid(slash + 1);
    return QLatin1Char('[') + last + QLatin1Char(']');
}

bool SameFolder(const QString &a, const QString &b)
{
    if (a.isEmpty() || b.isEmpty()) {
        return false;
    }
    if (QDir::cleanPath(a) == QDir::cleanPath(b)) {
        return true;
    }
    struct stat sa
    {};
    struct stat sb
    {};
    return ::stat(EncodeName(a).constData(), &sa) == 0 && ::stat(EncodeName(b).constData(), &sb) == 0 &&
           S_ISDIR(sa.st_mode) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
