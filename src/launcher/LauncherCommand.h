// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// What one start of the screen-saver launcher is asked to do.
enum class LauncherRequest {
    Run,       // "/S": start the viewer's screen-saver run and end
    Preview,   // "/P n": the preview picture inside window n
    Configure, // "/C" or nothing: the configuration dialog
    Password,  // "/A n": the change-password dialog, owned by window n (0: no owner)
    Embed,     // xscreensaver's --root / --window-id: the run drawn into that window
    Help,      // --help or -h: the usage on standard output
    Nothing,   // anything else: end at once
};

struct LauncherCommand
{
    LauncherRequest request = LauncherRequest::Nothing;
    // X11 window id: the preview's parent, the password dialog's owner, or the window an embedded
    // run draws into (0 with root set: the root window).
    std::uint32_t window = 0;
    bool root = false;
};

// The whole command line as one text: the arguments joined by single spaces, the way a single
// command line reads "/p 1234".
[[nodiscard]] QString WholeCommandLine(const QStringList &arguments);

// Decides the request. arguments: argv without the program name. xscreensaverWindow: the value
// of $XSCREENSAVER_WINDOW (empty when unset), which names the window when no --window-id is given.
[[nodiscard]] LauncherCommand ParseLauncherCommand(const QStringList &arguments, const QString &xscreensaverWindow);

// What --help prints.
[[nodiscard]] QString LauncherUsage();

// The old numeric conversion: leading blanks skipped, then as many decimal digits as follow;
// no digits give 0. Values beyond 32 bits give 0 rather than another window's id.
[[nodiscard]] std::uint32_t LeadingNumber(const QString &text);
