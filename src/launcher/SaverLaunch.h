// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

// Starting the viewer's screen-saver run: the launcher marks the run in the store ("ScreenSaver"
// "Mode" = "On") and starts the viewer, which reads the mark at its start.

// The viewer's executable in the folder the viewer stores as "Application"/"Path".
inline constexpr char ViewerProgramName[] = "vantrel-viewer";

// What the launcher asks of a run it did not start itself. Tests replace them.
struct SaverRunHooks
{
    // A screen-saver run is on screen now.
    std::function<bool()> runAlive;
    // Called before "On" is written: clears what a run that died left behind; false when a run
    // is alive after all.
    std::function<bool()> prepareStart;
    // The viewer program to start; empty: none to be found.
    std::function<QString()> viewerProgram;
    // How long a start waits for the run it started to show itself before it lets another start
    // look (milliseconds).
    int settleMs = 10000;
};

// The hooks that ask the run's own lock beside the settings file.
[[nodiscard]] SaverRunHooks DefaultRunHooks();

enum class SaverRunOutcome {
    Started,     // the viewer was started for a run
    AlreadyOn,   // a run is alive: nothing was done
    CannotStart, // "Path" missing or wrong, or the program would not start: "Mode" is "Off" again
};

// "/S". Two launchers at the same moment start one run between them: each holds a lock beside
// the settings file from reading "Mode" until its run is alive (or has ended, or settleMs passed).
// CannotStart shows its message through the dialog seam.
SaverRunOutcome RunScreenSaver(const SaverRunHooks &hooks);

// Where the viewer is looked for, in this order: beside the launcher itself (the folder of the
// running program, links resolved), the folder the programs were installed to, each folder of
// PATH, and last the folder a viewer start stored as "Path" of section "Application".
[[nodiscard]] QStringList ViewerFolders();
// The first folder of the list that holds the viewer program; empty when none does.
[[nodiscard]] QString FirstViewerProgram(const QStringList &folders);
// The viewer program a start would run (no start of the viewer is needed first).
[[nodiscard]] QString ViewerProgram();

// xscreensaver's road: marks the run and replaces this process by the viewer drawing into the
// window (0: the root window), so xscreensaver's signals reach the run itself; the run also ends
// when the process that started it dies. Each window (or X screen) has a run of its own, so
// xscreensaver's program on every screen and the one in its settings' preview all run. Returns
// only when that failed ("Mode" is as before); the reason has gone to standard error.
void EmbedScreenSaver(std::uint32_t window);
