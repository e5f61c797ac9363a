// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

// The folder of the running executable (what the launcher needs to start the viewer).
[[nodiscard]] QString AppPath();

// A file that ships beside the program: first beside the executable, then in the installed data
// folder. Empty when neither has it.
[[nodiscard]] QString ShippedFile(const QString &name);

// A path in a folder: the folder, "/" unless it already ends with one, then the name.
[[nodiscard]] QString JoinPath(const QString &folder, const QString &name);
