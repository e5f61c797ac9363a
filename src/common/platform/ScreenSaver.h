// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Holding off the desktop's own screen saver while a slide show runs.
class ScreenSaverControl
{
public:
    virtual ~ScreenSaverControl() = default;
    // Asks the desktop not to start its screen saver; false when there is no desktop to ask.
    virtual bool inhibit() = 0;
    // Lets it start again.
    virtual void release() = 0;
};

// The one in use: org.freedesktop.ScreenSaver on the session bus, unless a test installed another.
[[nodiscard]] ScreenSaverControl &ScreenSaver();
void SetScreenSaverControl(ScreenSaverControl *control);

// A random number in [0, 1) from a generator seeded from the clock.
[[nodiscard]] float RandomUnit();
