// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "common/ScreenMetrics.h"

// The primary screen as the program sees it: VANTREL_SCREEN when it holds a valid "WxH[@T]",
// else the primary QScreen (twips per pixel from its logical resolution). A screen-saver run drawn
// into another program's window measures that window instead.
[[nodiscard]] ScreenSpec MeasureScreen();
