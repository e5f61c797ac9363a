// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

class FileListOps;
class PictureViewOps;

// The file list's and the picture view's operations as the other windows reach them: each goes to
// the window loaded now, and to nothing once it has been unloaded (a command still running while
// the program ends finds empty answers, never a window being destroyed).
FileListOps &PanelListOps();
PictureViewOps &ViewerViewOps();
