// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/PrivateFolder.h"

#include "common/FileNames.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

bool IsPrivateFolder(const QByteArray &path)
{
    struct stat info
    {};
    if (path.isEmpty() || ::lstat(path.constData(), &info) != 0) {
        return false;
    }
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

QString ChoosePrivateFolder(const QList<QByteArray> &existing, const QList<QByteArray> &made)
{
    for (const QByteArray &path : existing) {
        if (IsPrivateFolder(path)) {
            return DecodeName(path);
        }
    }
    for (const QByteArray &path : made) {
        if (path.isEmpty()) {
            continue;
        }
        // Made with no access for anyone else from the first moment; an existing one is taken only
        // as it is (a folder another user made in our place is never used, nor opened up).
        if (::mkdir(path.constData(), S_IRWXU) != 0 && errno != EEXIST) {
            continue;
        }
        if (IsPrivateFolder(path)) {
            return DecodeName(path);
        }
    }
    return {};
}

QString PrivateRuntimeFolder()
{
    const QByteArray uid = QByteArray::number(::geteuid());
    QList<QByteArray> existing;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        existing << runtime;
    }
    existing << QByteArrayLiteral("/run/user/") + uid;
    const QByteArray temporary = EncodeName(QDir::tempPath()) + "/vantrel-viewer-" + uid;
    const QString chosen = ChoosePrivateFolder(existing, {temporary});
    if (!chosen.isEmpty()) {
        return chosen;
    }
    // The temporary folder's name is taken by someone else: one under the user's own cache.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty() || !QDir().mkpath(cache)) {
        return {};
    }
    return ChoosePrivateFolder({}, {EncodeName(cache) + "/vantrel-viewer-runtime-" + uid});
}

QString PrivateFileFor(const QString &settingsFile, const QString &suffix)
{
    const QString folder = PrivateRuntimeFolder();
    if (folder.isEmpty()) {
        return {};
    }
    // The same file reached by another path (a linked home folder) is the same store.
    const QFileInfo info(settingsFile);
    const QString dir = QFileInfo(info.absolutePath()).canonicalFilePath();
    const QString key = (dir.isEmpty() ? info.absolutePath() : dir) + QLatin1Char('/') + info.fileName();
    const QByteArray id = QCryptographicHash::hash(EncodeName(key), QCryptographicHash::Sha256).toHex().left(16);
    return folder + QStringLiteral("/vantrel-viewer-%1-%2").arg(::geteuid()).arg(QString::fromLatin1(id)) + suffix;
}
