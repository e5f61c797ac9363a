#include "settings/ScreenSaverInstall.h"

#include "common/platform/AppPaths.h"
#include "common/platform/Dialogs.h"
#include "settings/XScreenSaverPrefs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

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
    const XScreenSaverPrefsEdit edit = RegisterSaverInPrefs(old, exists, SaverCommand(launcherPath));
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

void SetAsScreenSaver()
{
    const QString prefs = XScreenSaverPrefsPath();
    const SaverInstallResult result = InstallSaverPrefs(
        prefs, FindLauncher(), !QStandardPaths::findExecutable(QStringLiteral("xscreensaver")).isEmpty());
    switch (result) {
    case SaverInstallResult::Done:
        MsgBox(QStringLiteral("'Vantrel Viewer' is now set as the Screen Saver. If you want to undo this change go "
                              "into the screen saver settings and choose another one."),
               vbInformation);
        break;
    case SaverInstallResult::LauncherMissing:
        MsgBox(QStringLiteral("The screen saver program '%1' is not installed, so 'Vantrel Viewer' cannot be set as "
                              "the Screen Saver. Install Vantrel Viewer (make install) and try again.")
                   .arg(QString::fromLatin1(LauncherProgramName)),
               vbExclamation);
        break;
    case SaverInstallResult::XScreenSaverMissing:
        MsgBox(QStringLiteral("'Vantrel Viewer' runs as the Screen Saver of xscreensaver, which is not installed. "
                              "Install the xscreensaver package and try again."),
               vbExclamation);
        break;
    case SaverInstallResult::Unreadable:
        MsgBox(QStringLiteral("Cannot read the screen saver settings in '%1', so nothing was changed.")
                   .arg(QDir::toNativeSeparators(prefs)),
               vbCritical);
        break;
    case SaverInstallResult::Unwritable:
        MsgBox(QStringLiteral("Cannot write the screen saver settings in '%1'. They were left as they were.")
                   .arg(QDir::toNativeSeparators(prefs)),
               vbCritical);
        break;
    }
}
