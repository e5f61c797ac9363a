// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// How this start of the viewer runs.
enum class Road { ScreenSaver, SecondInstance, Normal };

// A screen-saver run is decided by the stored mode alone, compared exactly ("on" is not "On").
[[nodiscard]] bool IsScreenSaverMode(const QString &mode);

// The entry procedure: measures the screen, reads the mode and takes one of the three roads. A
// second instance has asked the running one to come forward (and to show `path`, a picture or
// folder, when given) and must end without showing anything. A normal run with a path shows the
// viewer with that picture at once, without the splash.
Road EntryProcedure(const QByteArray &path = {});

// Shows a picture or folder that another start was given (the viewer may still be starting).
void OpenFromOutside(const QByteArray &path);

// Shows the viewer maximised and in front (what a second start asks of the first).
void ActivateViewer();

// A window closed from outside (the window manager's close: Alt+F4, the title bar, a task bar; or
// the desktop's session ending): the run ends as the Quit button ends it, unloading every window so
// that what the unload saves is saved. A screen-saver run ends as a run ends, its password first.
// True when the program ended (a refused password keeps the run going).
bool CloseRequested();

// Ends the run once every window is unloaded: gives up the single-instance socket and leaves the
// event loop.
void EndProgram();

// Everything the program keeps for its whole run back as at its start: the shared state, the
// pointer, what the store knows of its file, the decode buffer kept for reuse, the help window,
// the drag and screen-saver seams, a screen-saver run and its password count (tests run many
// programs in one process).
void ResetProcessState();

// The first thing main does: the picture a start will show first (the file given, the first
// picture of the folder given, or with nothing given the first of the registered folder shown
// last) is chosen and decoded on a worker thread, fitted to the screen read from the X server,
// while the toolkit starts. Not for a screen-saver run or while a first instance runs.
void StartFirstPictureEarly(const QByteArray &path);

// main(): the whole program.
int RunViewer(int argc, char **argv);
