// SPDX-License-Identifier: GPL-2.0-or-later
#include "launcher/Module1.h"

int main(int argc, char **argv)
{
    return LauncherMain(argc, argv);
}
