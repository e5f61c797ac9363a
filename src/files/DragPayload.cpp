// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/DragPayload.h"

#include "common/FileNames.h"

QByteArray FileUri(const QString &path)
{
    return QByteArrayLiteral("file://") + EncodeName(path).toPercentEncoding("/");
}

QByteArray UriList(const QStringList &paths)
{
    QByteArray list;
    for (const QString &path : paths) {
        list += FileUri(path) + "\r\n";
    }
    return list;
}

QStringList PathsOfUriList(const QByteArray &list)
{
    QStringList paths;
    for (QByteArray line : list.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        QByteArray rest;
        if (line.startsWith("file:///")) {
            rest = line.mid(7);
        } else if (line.startsWith("file://localhost/")) {
            rest = line.mid(16);
        } else {
            continue;
        }
        paths << DecodeName(QByteArray::fromPercentEncoding(rest));
    }
    return paths;
}
