// SPDX-License-Identifier: GPL-2.0-or-later
// Registers the launcher beside this program with xscreensaver, as the settings dialog's button
// does, answering its message on standard output (for the end-to-end check under a real X server).
#include "settings/ScreenSaverInstall.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const SaverInstallResult result =
        InstallSaverPrefs(XScreenSaverPrefsPath(), FindLauncher(),
                          !QStandardPaths::findExecutable(QStringLiteral("xscreensaver")).isEmpty());
    std::printf("%d\n", static_cast<int>(result));
    return result == SaverInstallResult::Done ? 0 : 1;
}
