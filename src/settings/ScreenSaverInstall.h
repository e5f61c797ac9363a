// SPDX-License-Identifier: GPL-2.0-or-later
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
    HardLinked,          // the file has other names (hard links) a new file would part from: untouched
    Unparsable,          // xscreensaver would not find our choice in the edited file: untouched
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

// Which screen saver runs on this desktop now, as far as the program can tell.
enum class RunningSaver {
    XScreenSaver, // xscreensaver answers
    Other,        // xscreensaver does not answer: the desktop's own, or none
};
// xscreensaver answers "xscreensaver-command -version" when it runs for this display.
[[nodiscard]] RunningSaver DetectRunningSaver();

// What Set as Screen Saver tells the user: the confirmation only when the file was written and
// xscreensaver runs to read it.
struct SaverInstallReport
{
    QString text;
    int style = 0; // the message box's icon (vbInformation, vbExclamation, vbCritical)
};
[[nodiscard]] SaverInstallReport DescribeSaverInstall(SaverInstallResult result, RunningSaver running,
                                                      const QString &prefsPath, const QString &desktop);

// The settings dialog's Set as Screen Saver: installs and tells the user what happened.
void SetAsScreenSaver();
