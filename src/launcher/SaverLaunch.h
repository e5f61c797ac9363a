#pragma once

#include <QString>

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

// The viewer program a start would run: "Path" of section "Application" joined with its name.
// Empty when "Path" is missing or no program is there.
[[nodiscard]] QString ViewerProgram();

// xscreensaver's road: marks the run and replaces this process by the viewer drawing into the
// window (0: the root window), so xscreensaver's signals reach the run itself. Returns only when
// that failed ("Mode" is "Off" again); the reason has gone to standard error.
void EmbedScreenSaver(std::uint32_t window);
