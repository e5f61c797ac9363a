#pragma once

#include <QString>

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
