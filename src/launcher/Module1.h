// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// The launcher's start-up procedure: reads the command line and does what it asks. Returns the
// process's exit code.
int LauncherMain(int argc, char **argv);
