#include "launcher/SaverLaunch.h"
#include "common/FileNames.h"

#include "common/SettingsStore.h"
#include "common/platform/AppPaths.h"
#include "common/platform/Dialogs.h"
#include "common/platform/SaverRunLock.h"
#include "common/platform/SaverWindow.h"
#include "launcher/FileLock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>
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
    return hooks;
}

QString ViewerProgram()
{
    const QString folder = GetSetting(AppName, QStringLiteral("Application"), QStringLiteral("Path"));
    if (folder.isEmpty()) {
        return QString();
    }
    const QString program = JoinPath(folder, QString::fromLatin1(ViewerProgramName));
    return IsProgram(program) ? program : QString();
}

SaverRunOutcome RunScreenSaver(const SaverRunHooks &hooks)
{
    // Held until the run shows itself: a second start waits here, then finds it alive.
    FileLock lock(LauncherLockPath(QStringLiteral("start-lock")));
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
        const QString program = ViewerProgram();
        started = !program.isEmpty() && QProcess::startDetached(program, {}, QFileInfo(program).absolutePath(), &pid);
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
        std::fputs("vantrel-viewer-screensaver: run 'Vantrel Viewer' once first, so the screen saver can find it\n",
                   stderr);
        return;
    }
    if (!PrepareSaverRunStart(SettingsFilePath(AppName))) {
        std::fputs("vantrel-viewer-screensaver: a screen-saver run is already on screen\n", stderr);
        return;
    }
    if (!SaveSetting(AppName, kSaver, kMode, QStringLiteral("On"))) {
        std::fputs("vantrel-viewer-screensaver: cannot write the settings file\n", stderr);
        return;
    }
    ::setenv(SaverWindowVariable, SaverWindowText(SaverWindowTarget{window}).toLatin1().constData(), 1);
    const QByteArray file = EncodeName(program);
    char *const argv[] = {const_cast<char *>(file.constData()), nullptr};
    ::execv(file.constData(), argv);
    std::perror("vantrel-viewer-screensaver: cannot start the viewer");
    SaveSetting(AppName, kSaver, kMode, QStringLiteral("Off"));
}
