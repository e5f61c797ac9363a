// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QCursor>
#include <QPixmap>
#include <QString>

// The program's own cursors: "NORMAL", "WAIT", "MAGNIFIER", "MOVE", "COPY" (32 x 32 pixels, each
// with its own hot spot). An unknown name gives the ordinary arrow.
[[nodiscard]] QCursor LoadResCursor(const QString &name);

// The program's own bitmaps: "HANDUP", "HANDDOWN", "101", and the artwork "LOGO", "SPLASH",
// "LOADING". A null pixmap for an unknown name.
[[nodiscard]] QPixmap LoadResPicture(const QString &name);

// Makes the named cursor the pointer over every window of the program.
void SetMouseCursor(const QString &name);

// Back to the ordinary pointer of each window.
void SetDefaultMouseCursor();

// Hides or shows the pointer; calls nest like the system's ShowCursor, so they stay balanced.
void ShowMouseCursor(bool show);

// No custom cursor and no hidden pointer any more (the end of the program).
void ResetMouseCursor();

// The custom pointer image that the start-up chose for the program (Screen.MouseIcon).
void SetProgramMouseIcon(const QString &name);
[[nodiscard]] QString ProgramMouseIcon();

// True when a file or folder of exactly this name exists (case-sensitive; a dangling symbolic
// link counts, since a rename onto its name would replace it).
[[nodiscard]] bool FileExistsExact(const QString &path);
