// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Which items of the file pop-up menu are shown and enabled, by the view that opens it.
struct FileMenuState
{
    bool editEnabled = true;
    bool renameVisible = true;
    bool renameEnabled = true;
    bool bulkRenameVisible = false;
    bool bulkRenameEnabled = true;
    bool wallpaperEnabled = true;
    bool refreshEnabled = true;
    bool printEnabled = true;
    bool deleteEnabled = true;
};

// The picture and a thumbnail: everything for the one file.
[[nodiscard]] FileMenuState MenuForPicture();

// The file list: the pointer on the focused entry or elsewhere, and how many entries are
// selected. Nothing when the items keep their last states (entries, but none selected).
struct FileListMenuContext
{
    bool listEmpty = false;
    bool pointerOnFocused = false;
    int selectedCount = 0;
    bool pointerOnSelected = false; // on a selected entry, focused or not: the commands are for the selection
};
[[nodiscard]] bool MenuKeepsLastState(const FileListMenuContext &context);
[[nodiscard]] FileMenuState MenuForFileList(const FileListMenuContext &context);
