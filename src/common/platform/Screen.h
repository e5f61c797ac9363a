// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "common/ScreenMetrics.h"

#include <optional>

// The primary screen as the program sees it: VANTREL_SCREEN when it holds a valid "WxH[@T]",
// else the primary QScreen (twips per pixel from its logical resolution). A screen-saver run drawn
// into another program's window measures that window instead.
[[nodiscard]] ScreenSpec MeasureScreen();

// The same primary screen read straight from the X server, before the toolkit connects (the
// start's first picture is fitted to it while the toolkit starts): VANTREL_SCREEN when valid, else
// the RandR primary monitor (the first when none is primary), else the root window. Nothing when
// there is no display, or when the toolkit would scale the screen (a resolution other than 96 dpi
// set through Xft.dpi, or a scale factor in the environment) and so could see it otherwise.
[[nodiscard]] std::optional<ScreenSpec> ScreenBeforeToolkit();
