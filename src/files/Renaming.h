// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <vector>

// Renaming files inside one folder without ever replacing a file, one at a time or as a batch
// whose new names may be each other's old names (a chain a -> b -> c, or a swap).

// Whether `newName` in `folder` is taken by a file other than `oldName` itself (a change of
// letter case only is the same file on a file system that ignores case).
[[nodiscard]] bool NameTaken(const QString &folder, const QString &oldName, const QString &newName);

// Renames; 0, or -errno (-EEXIST: the new name was taken, even by a file that appeared a moment
// before).
[[nodiscard]] int RenameNoReplace(const QString &folder, const QString &oldName, const QString &newName);

// The rename of one path to another that never replaces; 0 or -errno. Tests inject failures.
using Renamer = std::function<int(const QByteArray &from, const QByteArray &to)>;

struct BatchRename
{
    enum class Outcome { Renamed, Unchanged, Exists, Invalid, Failed };
    QString oldName;
    QString newName;
    Outcome outcome = Outcome::Unchanged;
    QString problem; // for Invalid: what is wrong with the new name
};

// The plan alone: each name that would be renamed is marked Renamed, the others with why not.
[[nodiscard]] std::vector<BatchRename> PlanRenameBatch(const QString &folder, const std::vector<BatchRename> &plan);

// Plans every new name first, refuses those that collide with each other or with a file that
// stays, then renames in an order (through a temporary name only to break a cycle) that cannot
// lose a file. Results in the order given.
[[nodiscard]] std::vector<BatchRename> RenameBatch(const QString &folder, const std::vector<BatchRename> &plan,
                                                   const Renamer &renamer = {});
