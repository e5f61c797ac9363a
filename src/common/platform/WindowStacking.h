// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

class QWidget;

// Stacking requests for top-level windows that are on screen, made of the window manager without
// re-creating the windows: a re-created window loses the windows it owns, which then fall behind
// it. Nothing happens where the program does not run on X11 (the offscreen tests).
namespace WindowStacking {

// Keeps the window above all others (_NET_WM_STATE_ABOVE), or lets it go back among them. With no
// window manager to honour the request the window is raised instead.
void setKeepAbove(QWidget *window, bool above);

// False only where the program runs on an X server without a window manager, where nothing can
// minimise a window or give it back.
[[nodiscard]] bool windowManagerRuns();

} // namespace WindowStacking
