// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <functional>

// How the screen saver's logo drifts: one pixel a tick on each axis, bouncing where it touches a
// screen edge exactly, and now and then passing through an edge to come back in at a random side.
// Positions and sizes are pixels. Random numbers come from `rnd`, each in [0, 1).

struct LogoGeometry
{
    int width = 0; // the logo
    int height = 0;
    int screenWidth = 0;
    int screenHeight = 0;
};

struct LogoState
{
    int left = 0;
    int top = 0;
    int dirX = 1; // +1 or -1 pixels per tick
    int dirY = 1;
    bool turn = false; // pass through the next edge instead of bouncing
};

using RandomDraw = std::function<float()>;

// Where the logo starts: anywhere from just off the left (top) edge to just inside the right
// (bottom) one, moving right and down. Draws two numbers: left, then top.
[[nodiscard]] LogoState StartLogo(const LogoGeometry &g, const RandomDraw &rnd);

// One draw: pass through the next edge, one time in ten.
[[nodiscard]] bool RandomTurn(float r);

// One tick. Draws one number for each edge touched while bouncing (two at a corner), or two for
// a re-entry after passing through (the side, then the position along it).
[[nodiscard]] LogoState LogoTick(LogoState s, const LogoGeometry &g, const RandomDraw &rnd);
