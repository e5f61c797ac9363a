// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

class QWidget;

// A screen-saver run drawn into another program's window: xscreensaver creates the window, owns
// the keyboard and the pointer, does the locking, and ends the run with SIGTERM. The launcher
// names the window to the viewer in an environment variable.

inline constexpr char SaverWindowVariable[] = "VANTREL_SAVER_WINDOW";

struct SaverWindowTarget
{
    std::uint32_t window = 0; // 0: the whole screen (no window to draw into)
};

// A window id as xscreensaver writes it: decimal or "0x" hexadecimal, blanks around allowed;
// nothing for anything else or 0.
[[nodiscard]] std::optional<std::uint32_t> ParseWindowId(const QString &text);

// The variable's text: "0x..." (or decimal) for a window, "root" for the whole screen. Nothing for
// anything else.
[[nodiscard]] std::optional<SaverWindowTarget> ParseSaverWindow(const QString &text);
[[nodiscard]] QString SaverWindowText(const SaverWindowTarget &target);

// The target this run was started for; nothing for an ordinary run. Read once at start.
[[nodiscard]] std::optional<SaverWindowTarget> SaverWindowOfThisRun();

// True while this run draws into another program's window: the run then asks no password and
// takes no keyboard or pointer of its own.
[[nodiscard]] bool InForeignSaverWindow();

// Makes the widget (a top-level window not yet shown) a child of the run's foreign window,
// covering it. False when this run has no such window or it is gone; the widget is then left as
// it was.
bool EmbedInSaverWindow(QWidget &widget);

// ---- A full-screen run with a password: nothing behind it may take input ----------------------

// Makes a top-level window not yet shown one the window manager leaves alone (override-redirect):
// no frame, and nothing to minimise, move, close or stack under another window. Nothing happens
// where the program does not run on X11.
void MakeUnmanaged(QWidget &window);

// Takes the keyboard and the pointer for the window (both or neither) and gives it the keyboard
// focus. False when another program holds either, or the window is not on screen.
bool GrabInput(QWidget &window);
// Lets go of both at once; the X server hears of it before this returns.
void ReleaseInput();

// Puts a run's window back where it belongs: mapped again when something unmapped it, and raised
// when another window (one not of this program) lies over it. True when it had to act (the X
// server drops a grab whose window was unmapped, so the caller grabs again).
bool KeepOnTop(QWidget &window);
