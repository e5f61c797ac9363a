// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

class frmLoading;
class frmPictureViewer;
class frmSplash;

// Start-up creates the windows and connects them: no window creates or calls another; what one
// asks of another goes out as a signal and is delivered here, or through the file list's and the
// picture view's operations.

// The viewer, loaded once: its load reads the stored settings, then the panel (owned by it, above
// it) and the file menu are loaded with it.
frmPictureViewer &LoadViewer();
// The splash of a normal start: its time up, the viewer loads and shows, and the splash goes.
frmSplash &LoadSplash();
// The window shown while a screen-saver run starts.
frmLoading &LoadLoadingWindow();

// Quit: every window unloads, in the one order that saves what the viewer's unload saves, and the
// program ends.
void QuitProgram();
