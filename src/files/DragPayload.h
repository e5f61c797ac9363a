// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What a drag of files carries for other programs: a freedesktop `text/uri-list`, which file
// managers, mail composers and image editors read.

// "file:///path": the path's bytes as the file system has them, each byte other than an
// unreserved character or "/" percent-encoded, so a name that is not UTF-8 names exactly its file.
[[nodiscard]] QByteArray FileUri(const QString &path);

// One URI per line, each line ended by CR LF.
[[nodiscard]] QByteArray UriList(const QStringList &paths);

// The paths of a URI list as the file system names them (decoded back to the program's names);
// lines that are comments or no local file are passed over.
[[nodiscard]] QStringList PathsOfUriList(const QByteArray &list);
