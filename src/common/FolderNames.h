#pragma once

#include "common/SettingsStore.h"

#include <QString>
#include <QStringList>

// Display names of the registered picture folders (the keys of section "Directories"), in the
// one order every list of folders uses, so that position k of one list is position k of another.
[[nodiscard]] QStringList FolderNames();

// Folder-name order: case-insensitive, digit runs compared as numbers ("Trip 2" before
// "Trip 10"); names equal but for case fall back to code-point order so the order is total.
[[nodiscard]] bool FolderNameLess(const QString &a, const QString &b);

// Appends every registered folder name to a list box or combo box (anything with addItem(QString)).
// It only appends: it neither clears the list nor selects an entry.
template<class List> void LoadFolderNames(List &list)
{
    const QStringList names = FolderNames();
    for (const QString &name : names) {
        list.addItem(name);
    }
}
