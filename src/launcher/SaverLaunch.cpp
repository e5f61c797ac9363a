// SPDX-License-Identifier: GPL-2.0-or-later
#include "launcher/SaverLaunch.h"
#include "common/FileNames.h"

#include "common/SettingsStore.h"
#include "common/platform/AppPaths.h"
#include "common/platform/Dialogs.h"
#include "common/platform/FileLock.h"
#include "common/platform/SaverRunLock.h"
#include "common/platform/SaverWindow.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <limits.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {
const QString kSaver = QStringLiteral("ScreenSaver");
const QString kMode = QStringLiteral("Mode");

bool ProcessGone(qint64 pid)
{
    return pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
}

bool IsProgram(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}
} // namespace

SaverRunHooks DefaultRunHooks()
{
    SaverRunHooks hooks;
    hooks.runAlive = [] { return SaverRunAlive(SettingsFilePath(AppName)); };
    hooks.prepareStart = [] { return PrepareSaverRunStart(SettingsFilePath(AppName)); };
    hooks.viewerProgram = &ViewerProgram;
    return hooks;
}

QStringList ViewerFolders()
{
    QStringList folders;
    // The running program's folder from the kernel: this works before any Qt object exists, and
    // through the link xscreensaver's folder of programs holds.
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length > 0) {
        const QString program = DecodeName(QByteArray(self, length));
        folders << program.left(program.lastIndexOf(QLatin1Char('/')));
    }
    folders << QStringLiteral(VANTREL_BINDIR);
    for (const QString &folder : qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        folders << folder;
    }
    const QString stored = GetSetting(AppName, QStringLiteral("Application"), QStringLiteral("Path"));
    if (!stored.isEmpty()) {
        folders << stored;
    }
    return folders;
}

QString FirstViewerProgram(const QStringList &folders)
{
    for (const QString &folder : folders) {
        const QString program = JoinPath(folder, QString::fromLatin1(ViewerProgramName));
        if (!folder.isEmpty() && IsProgram(program)) {
            return program;
        }
    }
    return {};
}

QString ViewerProgram()
{
    return FirstViewerProgram(ViewerFolders());
}

SaverRunOutcome RunScreenSaver(const SaverRunHooks &hooks)
{
    // Held until the run shows itself: a second start waits here, then finds it alive.
    FileLock lock(StoreLockPath(SettingsFilePath(AppName), QStringLiteral("start-lock")));
    // Waited for, but not forever: a start that hangs must not keep the screen saver off for good.
    lock.lock(hooks.settleMs + 5000);

    if (GetSetting(AppName, kSaver, kMode) == QLatin1String("On") && hooks.runAlive()) {
        return SaverRunOutcome::AlreadyOn;
    }
    if (!hooks.prepareStart()) {
        return SaverRunOutcome::AlreadyOn;
    }
    qint64 pid = 0;
    bool started = SaveSetting(AppName, kSaver, kMode, QStringLiteral("On"));
    if (started) {
        const QString program = hooks.viewerProgram ? hooks.viewerProgram() : ViewerProgram();
        // The viewer is told that this start is the run asked for, so a run ending elsewhere in
        // the meantime (which writes "Off") cannot turn it into a normal start.
        QProcess viewer;
        viewer.setProgram(program);
        viewer.setWorkingDirectory(QFileInfo(program).absolutePath());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(SaverWindowVariable), SaverWindowText(SaverWindowTarget{}));
        viewer.setProcessEnvironment(environment);
        started = !program.isEmpty() && viewer.startDetached(&pid);
    }
    if (!started) {
        SaveSetting(AppName, kSaver, kMode, QStringLiteral("Off"));
        MsgBox(QStringLiteral("You must run 'Vantrel Viewer' at least once after installation before the Screen "
                              "Saver can operate."),
               vbCritical, QStringLiteral("Cannot Run Screen Saver"));
        return SaverRunOutcome::CannotStart;
    }
    const QDeadlineTimer deadline(hooks.settleMs);
    while (!deadline.hasExpired() && !ProcessGone(pid) && !hooks.runAlive()) {
        QThread::msleep(20);
    }
    return SaverRunOutcome::Started;
}

void EmbedScreenSaver(std::uint32_t window)
{
    const QString program = ViewerProgram();
    if (program.isEmpty()) {
        std::fputs("vantrel-viewer-screensaver: cannot find the viewer (vantrel-viewer) beside this program, in "
                   "its install folder or on the PATH\n",
                   stderr);
        return;
    }
    const QString file = SettingsFilePath(AppName);
    const QString key = SaverRunKey(qEnvironmentVariable("DISPLAY"), window);
    if (!PrepareSaverRunStart(file, key)) {
        std::fputs("vantrel-viewer-screensaver: a screen-saver run is already drawn there\n", stderr);
        return;
    }
    const QString before = GetSetting(AppName, kSaver, kMode);
    if (!SaveSetting(AppName, kSaver, kMode, QStringLiteral("On"))) {
        std::fputs("vantrel-viewer-screensaver: cannot write the settings file\n", stderr);
        return;
    }
    ::setenv(SaverWindowVariable, SaverWindowText(SaverWindowTarget{window}).toLatin1().constData(), 1);
    // The run ends with the program that asked for it (xscreensaver, or its settings' preview),
    // even when that one is killed outright and cannot tell it to stop. Kept across exec.
    const pid_t parent = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) {
        // It died before the request took hold.
        return;
    }
    const QByteArray native = EncodeName(program);
    char *const argv[] = {const_cast<char *>(native.constData()), nullptr};
    ::execv(native.constData(), argv);
    std::perror("vantrel-viewer-screensaver: cannot start the viewer");
    if (before != QLatin1String("On") && !SaverRunAlive(file)) {
        SaveSetting(AppName, kSaver, kMode, QStringLiteral("Off"));
    }
}
