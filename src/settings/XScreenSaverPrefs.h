// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Making our launcher xscreensaver's one screen saver by editing its preferences file
// (~/.xscreensaver). The file belongs to the user and to xscreensaver: every line we do not own
// stays exactly as it was, bytes, comments, blank lines and order. Ours are the "mode:" and
// "selected:" settings and our own entry of the "programs:" list.

// The name of the launcher's executable; an entry of "programs:" that runs a file of this name
// (in any folder) is ours.
inline constexpr char LauncherProgramName[] = "vantrel-viewer-screensaver";
// The label xscreensaver's settings show for our entry.
inline constexpr char SaverLabel[] = "Vantrel Viewer";

struct XScreenSaverPrefsEdit
{
    QByteArray text;   // the whole new file
    int selected = -1; // index of our entry in the "programs:" list
};

// The command line of our entry: the launcher (quoted for the shell when it needs it) drawing
// into xscreensaver's window.
[[nodiscard]] QByteArray SaverCommand(const QString &launcherPath);

// The file with our entry in "programs:" (added once; an existing one is kept and enabled),
// "mode: one" and "selected:" its index. exists = false: there is no file yet, and the new one
// holds just these three settings.
[[nodiscard]] XScreenSaverPrefsEdit RegisterSaverInPrefs(const QByteArray &existing, bool exists,
                                                         const QByteArray &command);

// What xscreensaver itself reads from such a file, as its own reader does: a line ending in a
// backslash goes on in the next line (also a comment's, which then swallows it; a line ending in
// backslash and carriage return does not go on), comments start with "#", "!" or ";", a line
// without a colon is skipped, and the last of a key wins.
struct XScreenSaverChoice
{
    QByteArray mode;
    int selected = -1;
    QList<QByteArray> commands; // the "programs:" entries, as xscreensaver numbers them
    QList<bool> disabled;
    bool garbled = false; // the list holds carriage returns: nobody can tell what xscreensaver runs
};
[[nodiscard]] XScreenSaverChoice ReadXScreenSaverPrefs(const QByteArray &text);

// True when xscreensaver, reading the file, runs our launcher as its one screen saver.
[[nodiscard]] bool PrefsRunOurLauncher(const QByteArray &text);
