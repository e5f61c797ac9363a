// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

// Moves one file (or link) to the freedesktop.org trash, from where file managers restore it:
// the user's own trash for files on its file system, the mount's ".Trash-UID" for others. True
// only when the file has left its place; on any failure it stays where it was. The file goes by
// its own bytes, and a trash that cannot be made is a failure (Qt's own trash then reports
// success and moves the file into the working folder).
[[nodiscard]] bool MoveToTrashByBytes(const QString &path, QString *pathInTrash = nullptr);
