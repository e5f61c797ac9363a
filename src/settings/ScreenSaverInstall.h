#pragma once

#include <QString>

// Making the launcher the desktop's screen saver: xscreensaver runs the programs of its
// preferences file (~/.xscreensaver), so ours goes into that list and is chosen as the only one.

enum class SaverInstallResult {
    Done,
    LauncherMissing,     // no launcher beside the viewer or on the PATH
    XScreenSaverMissing, // xscreensaver is not installed
    Unreadable,          // the preferences file exists but cannot be read (or is not a file)
    Unwritable,          // writing the new file failed; the old one is untouched
};

// Writes the preferences file at prefsPath with our entry, "mode: one" and "selected:" (whole or
// not at all). Nothing is written unless launcherPath is a program and xscreensaver is present.
[[nodiscard]] SaverInstallResult InstallSaverPrefs(const QString &prefsPath, const QString &launcherPath,
                                                   bool xscreensaverPresent);

// The launcher this viewer ships with: beside the running program first, then on the PATH.
// Empty when there is none.
[[nodiscard]] QString FindLauncher();

// ~/.xscreensaver.
[[nodiscard]] QString XScreenSaverPrefsPath();

// The settings dialog's Set as Screen Saver: installs and tells the user what happened.
void SetAsScreenSaver();
