// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Names a rename may give a file, and the new names of a batch rename.

// What is wrong with a name typed for a file, or nothing: a name is one path component, so it
// has no "/" and no NUL, is not "." or "..", and is more than spaces.
[[nodiscard]] std::optional<QString> NameProblem(const QString &name);

// The extension of a file name without its point ("" when there is none); a leading point is
// no extension (".hidden").
[[nodiscard]] QString ExtensionName(const QString &fileName);

enum class BulkRule { Replace, AddFront, AddEnd, Complete };

struct BulkTexts
{
    QString oldString;   // Replace: what to find (case-sensitive)
    QString newString;   // Replace: what to put instead
    QString append;      // AddFront, AddEnd
    QString complete;    // Complete: the new base name
    QString numberStyle; // Complete: "1", "01", "001", "0001"; anything else: no leading zeros
};

// The running number k in a number style.
[[nodiscard]] QString NumberInStyle(int k, const QString &style);

// The new name of the k-th selected file (k from 1). A name without an extension keeps having
// none: AddEnd appends to the whole name, Complete gives no trailing point.
[[nodiscard]] QString BulkNewName(BulkRule rule, const QString &oldName, const BulkTexts &texts, int k);
