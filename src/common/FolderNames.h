// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "common/NaturalOrder.h"
#include "common/SettingsStore.h"

#include <QString>
#include <QStringList>

// Display names of the registered picture folders (the keys of section "Directories"), in the
// one order every list of folders uses, so that position k of one list is position k of another.
[[nodiscard]] QStringList FolderNames();

// Appends every registered folder name to a list box or combo box (anything with addItem(QString)).
// It only appends: it neither clears the list nor changes its selection. (A combo box selects the
// first entry it is given and says so; that is no choice of the user's, so it is undone quietly.)
template<class List> void LoadFolderNames(List &list)
{
    const QStringList names = FolderNames();
    if constexpr (requires {
                      list.currentIndex();
                      list.setCurrentIndex(0);
                      list.blockSignals(true);
                  }) {
        const int selected = list.currentIndex();
        const bool wasBlocked = list.blockSignals(true);
        for (const QString &name : names) {
            list.addItem(name);
        }
        list.setCurrentIndex(selected);
        list.blockSignals(wasBlocked);
    } else {
        for (const QString &name : names) {
            list.addItem(name);
        }
    }
}
