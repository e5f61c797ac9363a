// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/Modules.h"

#include "common/FileNames.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QMutex>

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QMutex g_mutex;
QHash<QByteArray, const void *> g_loaded;
QStringList g_folders;

QStringList folders()
{
    if (!g_folders.isEmpty()) {
        return g_folders;
    }
    return {QCoreApplication::applicationDirPath(), QFile::decodeName(VANTREL_MODULEDIR)};
}

QString JoinFolder(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// Owned by this user or the system, and writable by nobody else: whoever can write there could
// put their own code in the program.
bool onlyOursToWrite(const struct stat &st)
{
    return (st.st_uid == geteuid() || st.st_uid == 0) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

struct Found
{
    int fd = -1;
    QString why; // set when a folder has the file but it may not be loaded
};

Found openInFolder(const QString &folder, const char *fileName)
{
    Found found;
    const QByteArray path = QFile::encodeName(folder);
    const int dir = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        return found;
    }
    const int fd = ::openat(dir, fileName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    struct stat folderStat = {};
    const bool folderSafe = ::fstat(dir, &folderStat) == 0 && onlyOursToWrite(folderStat);
    ::close(dir);
    if (fd < 0) {
        if (errno != ENOENT) {
            found.why = QStringLiteral("%1 cannot be opened in %2 (%3)")
                            .arg(QLatin1String(fileName), DisplayName(folder), QString::fromLocal8Bit(strerror(errno)));
        }
        return found;
    }
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        found.why = QStringLiteral("%1 in %2 is not a regular file").arg(QLatin1String(fileName), DisplayName(folder));
    } else if (!folderSafe || !onlyOursToWrite(st)) {
        found.why = QStringLiteral("%1 in %2 is not loaded, since another user can change it")
                        .arg(QLatin1String(fileName), DisplayName(folder));
    } else {
        found.fd = fd;
        return found;
    }
    ::close(fd);
    return found;
}

} // namespace

const void *LoadModule(const char *fileName, const char *symbol, int version, QString *error)
{
    const QMutexLocker lock(&g_mutex);
    const QByteArray key(fileName);
    if (const auto at = g_loaded.constFind(key); at != g_loaded.cend()) {
        return at.value();
    }
    QString why;
    for (const QString &folder : folders()) {
        Found found = openInFolder(folder, fileName);
        if (found.fd < 0) {
            if (why.isEmpty()) {
                why = found.why;
            }
            continue;
        }
        // By its path: the folder checked is one nobody else can change. (Not by the descriptor's
        // name in /proc, which the loader would take for an earlier module loaded by that number.)
        const QByteArray path = QFile::encodeName(JoinFolder(folder)) + fileName;
        void *handle = ::dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        ::close(found.fd);
        if (handle == nullptr) {
            const char *reason = ::dlerror();
            why = QStringLiteral("%1 in %2 cannot be loaded (%3)")
                      .arg(QLatin1String(fileName), DisplayName(folder),
                           QString::fromLocal8Bit(reason != nullptr ? reason : "unknown error"));
            break;
        }
        const auto *table = static_cast<const int *>(::dlsym(handle, symbol));
        if (table == nullptr || *table != version) {
            // Another build's module: its functions may not be what this program calls.
            ::dlclose(handle);
            why = QStringLiteral("%1 in %2 belongs to another version of the program")
                      .arg(QLatin1String(fileName), DisplayName(folder));
            break;
        }
        g_loaded.insert(key, table);
        return table;
    }
    if (error != nullptr) {
        *error = why.isEmpty() ? QStringLiteral("%1 is not installed").arg(QLatin1String(fileName)) : why;
    }
    return nullptr;
}

void SetModuleFolders(const QStringList &newFolders)
{
    const QMutexLocker lock(&g_mutex);
    g_folders = newFolders;
}
