// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>

// Shows a bitmap as the desktop's wallpaper, centred and not tiled, through the desktop's own
// tool. Every tool runs without a shell, with a time limit, and its exit status is checked.

enum class Desktop { Gnome, Cinnamon, Mate, Xfce, Kde, Lxqt, BareX, None };

// The desktop that sets the wallpaper: from XDG_CURRENT_DESKTOP (a colon-separated list, first
// known name wins), else a bare X session when feh or xwallpaper is installed. `installed`
// answers whether a program of that name is on the PATH.
[[nodiscard]] Desktop DetectDesktop(const QString &currentDesktop,
                                    const std::function<bool(const QString &)> &installed);

// A tool's name, to tell the user what was missing or what failed.
[[nodiscard]] QString WallpaperToolName(Desktop desktop);

struct WallpaperOutcome
{
    bool applied = false;
    Desktop desktop = Desktop::None;
    // What went wrong, for the user: a missing tool or the command that failed.
    QString problem;
};

// Applies the bitmap at `bitmapPath` with the tools found on `environment`'s PATH; the tools run
// with that environment. Blocks for at most `timeLimitMs` per tool, so call it off the
// interface thread.
[[nodiscard]] WallpaperOutcome
ApplyWallpaper(const QString &bitmapPath,
               const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
               int timeLimitMs = 10000);
