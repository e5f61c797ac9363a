// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "files/CommandTargets.h"

#include <QString>
#include <QStringList>

// What the file commands and the dialogs ask of the file list and the folder box. When the panel
// is not there (its program is ending) the questions have empty answers and the orders do nothing.
class FileListOps
{
public:
    [[nodiscard]] virtual bool listPresent() const = 0;

    // What the list holds now, for the commands that act on its files.
    [[nodiscard]] virtual ListSnapshot listSnapshot() const = 0;
    [[nodiscard]] virtual QString currentFolder() const = 0;
    // The name of the focused entry; empty when there is none.
    [[nodiscard]] virtual QString focusedName() const = 0;
    [[nodiscard]] virtual int focusedIndex() const = 0;
    [[nodiscard]] virtual int listCount() const = 0;
    // The number of selected entries into the shared state.
    virtual void CountSelected() = 0;
    // Reads the folder again and shows the new count.
    virtual void refreshList() = 0;
    // Makes `index` the focused and only selected entry, which shows its picture.
    virtual void selectEntry(int index) = 0;
    // Reads the folder again and opens the entry of this name (leaving a thumbnail page).
    virtual void openEntryNamed(const QString &name) = 0;
    // Adds these entries to the selection without showing them.
    virtual void selectNamesQuietly(const QStringList &names) = 0;
    // After a command removed some of `targets`: the list read again and the follower selected.
    virtual void showAfterRemoval(const CommandTargets &targets, const QList<bool> &gone) = 0;
    // After an undo or a turn: the list read again with these files selected, the first shown.
    virtual void showRestored(const QStringList &paths) = 0;
    // The keyboard to the file list.
    virtual void focusList() = 0;

    // The folder box, kept in the one order of the settings dialog's folder list.
    [[nodiscard]] virtual QString currentFolderName() const = 0;
    virtual void insertFolderName(int index, const QString &name) = 0;
    virtual void removeFolderName(int index) = 0;
    virtual void selectFolder(int index) = 0;
    // No folder registered any more: the list shows nothing and the picture goes.
    virtual void showNoFolder() = 0;

protected:
    FileListOps() = default;
    ~FileListOps() = default;
    FileListOps(const FileListOps &) = default;
    FileListOps &operator=(const FileListOps &) = default;
};
