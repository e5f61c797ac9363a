// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QObject;

// The program a file opens with, as the desktop's file associations say.

// The desktop entry that opens files of this file's type, or "" when there is none.
[[nodiscard]] QString AssociatedProgram(const QString &path);
// Asks for the program in the background and calls `answer` with it on this thread (at most ten
// seconds later; "" when there is none or the question went unanswered). `context` going away
// drops the answer.
void AskAssociatedProgram(const QString &path, QObject *context, std::function<void(const QString &)> answer);
// Opens the file with that program; false when it could not be started.
bool OpenWithAssociatedProgram(const QString &path);

// A program that opens files of a type, as its desktop entry describes it.
struct DesktopProgram
{
    QString entry; // "gimp.desktop"
    QString name;  // "GNU Image Manipulation Program"
    QString exec;  // the command line, with its field codes (%f, %u, ...)
    QStringList types;
};

// The programs other than this one (`ownEntry`) that the desktop associates with the file's type:
// the user's added associations first, then every installed entry that names the type, the
// user's own entries before the system's. Empty when there is none.
[[nodiscard]] QList<DesktopProgram> OtherAssociatedPrograms(const QString &path, const QString &ownEntry);
// The command of a desktop entry's Exec line for one file, its field codes replaced; empty when it
// names no program.
[[nodiscard]] QStringList ExecCommand(const QString &exec, const QString &path);
// Starts that program on the file; false when it could not be started.
bool OpenWithProgram(const DesktopProgram &program, const QString &path);
