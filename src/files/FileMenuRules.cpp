// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/FileMenuRules.h"

FileMenuState MenuForPicture()
{
    return FileMenuState{};
}

bool MenuKeepsLastState(const FileListMenuContext &context)
{
    return !context.listEmpty && context.selectedCount < 1;
}

FileMenuState MenuForFileList(const FileListMenuContext &context)
{
    const bool several = !context.listEmpty && context.selectedCount > 1;
    const bool onFile = !context.listEmpty && (context.pointerOnFocused || context.pointerOnSelected);
    FileMenuState s;
    s.editEnabled = onFile;
    s.renameVisible = !several;
    s.renameEnabled = onFile && !several;
    s.bulkRenameVisible = several;
    s.bulkRenameEnabled = true;
    s.wallpaperEnabled = onFile;
    s.refreshEnabled = true;
    s.printEnabled = onFile;
    s.deleteEnabled = onFile;
    return s;
}
