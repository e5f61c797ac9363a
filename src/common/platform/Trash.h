#pragma once

#include <QString>

// Moves one file (or link) to the user's freedesktop.org trash, from where file managers restore
// it; true only when the file has left its place. A name whose bytes are not UTF-8 goes to the
// trash of the user's data folder by its own bytes (Qt's trash would reach another name).
[[nodiscard]] bool MoveToTrash(const QString &path);
