#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The program's moves, copies and deletions of picture files. Sources are one path, or paths
// each followed by one NUL and the last by two.

// To the freedesktop.org trash, restorable from any file manager, with no question asked. A
// file that cannot go to the trash is not deleted, and the user is told. True when every file
// went.
// Each file that went is added to `trashed` with the path it has inside the trash.
bool SendToRecycleBin(const QString &path, QList<QPair<QString, QString>> *trashed = nullptr);

// Into a folder, with a progress window for long lists and a question before a file of the same
// name is replaced. Returns 0 on success; 117 (destination folder missing) and 5 (access denied)
// on a move, and 117 on a copy, are reported to the user and set FileOperationFailed.
int MoveFiles(const QString &sources, const QString &destination);
int CopyFiles(const QString &sources, const QString &destination);
