#pragma once

#include "common/NaturalOrder.h"
#include "common/SettingsStore.h"

#include <QString>
#include <QStringList>

// Display names of the registered picture folders (the keys of section "Directories"), in the
// one order every list of folders uses, so that position k of one list is position k of another.
[[nodiscard]] QStringList FolderNames();

// Appends every registered folder name to a list box or combo box (anything with addItem(QString)).
// It only appends: it neither clears the list nor selects an entry.
template<class List> void LoadFolderNames(List &list)
{
    const QStringList names = FolderNames();
    for (const QString &name : names) {
        list.addItem(name);
    }
}
