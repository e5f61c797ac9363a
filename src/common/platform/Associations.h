#pragma once

#include <QString>

// The program a file opens with, as the desktop's file associations say.

// The desktop entry that opens files of this file's type, or "" when there is none.
[[nodiscard]] QString AssociatedProgram(const QString &path);
// Opens the file with that program; false when it could not be started.
bool OpenWithAssociatedProgram(const QString &path);
