// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <functional>

class QObject;

// The program's moves, copies and deletions of picture files. Sources are one path, or paths
// each followed by one NUL and the last by two.

// To the freedesktop.org trash, restorable from any file manager, with no question asked. A
// file that cannot go to the trash is not deleted, and the user is told. True when every file
// went.
// Each file that went is added to `trashed` with the path it has inside the trash.
bool SendToRecycleBin(const QString &path, QList<QPair<QString, QString>> *trashed = nullptr);

// Into a folder, with a progress window for long lists and a question before a file of the same
// name is replaced. The files move on a worker while the program goes back to its event loop: the
// call returns at once, and `done` gets the result once the transfer has ended and every failure
// but a cancel has been reported to the user, naming the files not filed and why (0 on success,
// else the first failure's result; not called when `context` is gone by then). 117 (destination
// folder missing) and 5 (access denied) set FileOperationFailed. Until then the program's command
// queue is busy: what arrives from outside waits for the end.
// While files move, a window closed or a press of a button whose property "endsProgram" is true
// cancels the transfer (every file whole on one side or the other) and is then made again.
inline constexpr char kEndsProgram[] = "endsProgram";
void MoveFiles(const QString &sources, const QString &destination, QObject *context, std::function<void(int)> done);
void CopyFiles(const QString &sources, const QString &destination, QObject *context, std::function<void(int)> done);
