// SPDX-License-Identifier: GPL-2.0-or-later
#include "settings/ScreenSaverInstall.h"

#include "common/platform/AppPaths.h"
#include "common/platform/Dialogs.h"
#include "settings/XScreenSaverPrefs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace {
bool IsProgram(const QString &path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.isExecutable();
}
} // namespace

QString FindLauncher()
{
    const QString name = QString::fromLatin1(LauncherProgramName);
    const QString beside = JoinPath(AppPath(), name);
    if (IsProgram(beside)) {
        return QFileInfo(beside).absoluteFilePath();
    }
    return QStandardPaths::findExecutable(name);
}

QString XScreenSaverPrefsPath()
{
    return JoinPath(QDir::homePath(), QStringLiteral(".xscreensaver"));
}

SaverInstallResult InstallSaverPrefs(const QString &prefsPath, const QString &launcherPath, bool xscreensaverPresent)
{
    if (!IsProgram(launcherPath)) {
        return SaverInstallResult::LauncherMissing;
    }
    if (!xscreensaverPresent) {
        return SaverInstallResult::XScreenSaverMissing;
    }
    // A link to the file is kept: the file it points to gets the new text.
    const QFileInfo link(prefsPath);
    const QString target = link.isSymLink() ? link.symLinkTarget() : prefsPath;
    const QFileInfo info(target);
    const bool exists = info.exists();
    QByteArray old;
    if (exists) {
        QFile in(target);
        if (!info.isFile() || !in.open(QIODevice::ReadOnly)) {
            return SaverInstallResult::Unreadable;
        }
        old = in.readAll();
        if (in.error() != QFileDevice::NoError) {
            return SaverInstallResult::Unreadable;
        }
    }
    struct stat links
    {};
    if (exists && ::stat(QFile::encodeName(target).constData(), &links) == 0 && links.st_nlink > 1) {
        // A new file put in its place would leave the other names with the old text.
        return SaverInstallResult::HardLinked;
    }
    const XScreenSaverPrefsEdit edit = RegisterSaverInPrefs(old, exists, SaverCommand(launcherPath));
    // Read back as xscreensaver reads it: a file it would not take our choice from is not written
    // (and never confirmed).
    if (!PrefsRunOurLauncher(edit.text)) {
        return SaverInstallResult::Unparsable;
    }
    if (exists && edit.text == old) {
        return SaverInstallResult::Done;
    }
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(edit.text) != edit.text.size() || !out.flush() ||
        ::fsync(out.handle()) != 0) {
        out.cancelWriting();
        return SaverInstallResult::Unwritable;
    }
    return out.commit() ? SaverInstallResult::Done : SaverInstallResult::Unwritable;
}

RunningSaver DetectRunningSaver()
{
    QProcess ask;
    ask.start(QStringLiteral("xscreensaver-command"), {QStringLiteral("-version")});
    if (!ask.waitForStarted(2000)) {
        return RunningSaver::Other;
    }
    if (!ask.waitForFinished(3000)) {
        ask.kill();
        ask.waitForFinished(1000);
        return RunningSaver::Other;
    }
    return ask.exitStatus() == QProcess::NormalExit && ask.exitCode() == 0 ? RunningSaver::XScreenSaver
                                                                           : RunningSaver::Other;
}

SaverInstallReport DescribeSaverInstall(SaverInstallResult result, RunningSaver running, const QString &prefsPath,
                                        const QString &desktop)
{
    const QString where = QDir::toNativeSeparators(prefsPath);
    switch (result) {
    case SaverInstallResult::Done:
        if (running == RunningSaver::XScreenSaver) {
            return {
                QStringLiteral("'Vantrel Viewer' is now set as the Screen Saver. If you want to undo this change go "
                               "into the screen saver settings and choose another one."),
                vbInformation};
        }
        return {QStringLiteral("'Vantrel Viewer' was written into xscreensaver's settings in '%1', but xscreensaver "
                               "is not running on this desktop%2, so it will not take effect here. Start xscreensaver "
                               "(and turn off the desktop's own screen saver) to use it.")
                    .arg(where, desktop.isEmpty() ? QString() : QStringLiteral(" (%1 runs its own)").arg(desktop)),
                vbExclamation};
    case SaverInstallResult::LauncherMissing:
        return {QStringLiteral("The screen saver program '%1' is not installed, so 'Vantrel Viewer' cannot be set as "
                               "the Screen Saver. Install Vantrel Viewer (make install) and try again.")
                    .arg(QString::fromLatin1(LauncherProgramName)),
                vbExclamation};
    case SaverInstallResult::XScreenSaverMissing:
        return {QStringLiteral("'Vantrel Viewer' runs as the Screen Saver of xscreensaver, which is not installed. "
                               "Install the xscreensaver package and try again."),
                vbExclamation};
    case SaverInstallResult::Unreadable:
        return {QStringLiteral("Cannot read the screen saver settings in '%1', so nothing was changed.").arg(where),
                vbCritical};
    case SaverInstallResult::Unwritable:
        return {
            QStringLiteral("Cannot write the screen saver settings in '%1'. They were left as they were.").arg(where),
            vbCritical};
    case SaverInstallResult::HardLinked:
        return {QStringLiteral("The screen saver settings in '%1' are one file under several names (hard links); "
                               "a new file would part them, so nothing was changed. Choose 'Vantrel Viewer' in "
                               "xscreensaver's settings instead.")
                    .arg(where),
                vbExclamation};
    case SaverInstallResult::Unparsable:
        return {QStringLiteral("xscreensaver would not read the choice of 'Vantrel Viewer' from its settings in '%1' "
                               "(lines ending in carriage returns, or a comment that runs on into the next line), so "
                               "nothing was changed. Choose 'Vantrel Viewer' in xscreensaver's settings instead.")
                    .arg(where),
                vbExclamation};
    }
    return {};
}

void SetAsScreenSaver()
{
    const QString prefs = XScreenSaverPrefsPath();
    const SaverInstallResult result = InstallSaverPrefs(
        prefs, FindLauncher(), !QStandardPaths::findExecutable(QStringLiteral("xscreensaver")).isEmpty());
    const RunningSaver running = result == SaverInstallResult::Done ? DetectRunningSaver() : RunningSaver::Other;
    const SaverInstallReport report =
        DescribeSaverInstall(result, running, prefs, qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
    MsgBox(report.text, report.style);
}
