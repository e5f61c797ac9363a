// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/SaverRunLock.h"

#include "common/FileNames.h"
#include "common/platform/PrivateFolder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

constexpr char kMarkerPrefix[] = "run-";

QString markerName(const QString &key)
{
    return QString::fromLatin1(kMarkerPrefix) +
           QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(24));
}

QString effectiveKey(const QString &key)
{
    return key.isEmpty() ? ThisScreenRunKey() : key;
}

SaverRunState markerState(const QByteArray &native)
{
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return errno == ENOENT ? SaverRunState::NoRun : SaverRunState::DeadRun;
    }
    SaverRunState state = SaverRunState::DeadRun;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        state = SaverRunState::Alive;
    } else {
        struct stat info
        {};
        // A marker not yet written (its run is between creating and locking it) is not a dead run.
        if (::fstat(fd, &info) == 0 && info.st_size == 0) {
            state = SaverRunState::NoRun;
        }
        ::flock(fd, LOCK_UN);
    }
    ::close(fd);
    return state;
}

// The markers in the store's folder, as paths for the system.
QList<QByteArray> markers(const QString &settingsFile)
{
    QList<QByteArray> found;
    const QString folder = SaverRunLock::runsFolder(settingsFile);
    if (folder.isEmpty()) {
        return found;
    }
    const QByteArray native = EncodeName(folder);
    DIR *dir = ::opendir(native.constData());
    if (dir == nullptr) {
        return found;
    }
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, kMarkerPrefix, sizeof(kMarkerPrefix) - 1) == 0) {
            found << native + '/' + QByteArray(entry->d_name);
        }
    }
    ::closedir(dir);
    return found;
}

} // namespace

QString SaverRunKey(const QString &display, std::uint32_t window)
{
    QString screen = display.isEmpty() ? QStringLiteral("local") : display;
    // ":1" and ":1.0" are one screen; the screen number follows the last colon.
    const qsizetype colon = screen.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0 && !screen.mid(colon).contains(QLatin1Char('.'))) {
        screen += QLatin1String(".0");
    }
    return window == 0 ? screen : screen + QLatin1String("/0x") + QString::number(window, 16);
}

QString ThisScreenRunKey()
{
    return SaverRunKey(qEnvironmentVariable("DISPLAY"), 0);
}

SaverRunLock::SaverRunLock(const QString &settingsFile, const QString &key)
    : m_path(markerPath(settingsFile, key))
    , m_key(effectiveKey(key))
{}

SaverRunLock::~SaverRunLock()
{
    if (m_fd >= 0) {
        // Not released on purpose: the process is going away without a clean end; the kernel
        // drops the lock and the marker stays to say so.
        ::close(m_fd);
    }
}

QString SaverRunLock::runsFolder(const QString &settingsFile)
{
    return PrivateFileFor(settingsFile, QStringLiteral(".runs"));
}

QString SaverRunLock::markerPath(const QString &settingsFile, const QString &key)
{
    const QString folder = runsFolder(settingsFile);
    return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + markerName(effectiveKey(key));
}

bool SaverRunLock::acquire()
{
    if (m_fd >= 0) {
        return true;
    }
    if (m_path.isEmpty()) {
        return false;
    }
    // Inside the private folder already: nobody else can enter it to make or hold a marker.
    const QByteArray folder = EncodeName(m_path.left(m_path.lastIndexOf(QLatin1Char('/'))));
    if (::mkdir(folder.constData(), S_IRWXU) != 0 && errno != EEXIST) {
        return false;
    }
    const QByteArray native = EncodeName(m_path);
    // O_CLOEXEC: programs this run starts must not carry the lock on after it ends.
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    const std::string text = std::to_string(::getpid()) + "\n" + m_key.toStdString() + "\n";
    if (::ftruncate(fd, 0) != 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void SaverRunLock::release()
{
    if (m_fd < 0) {
        return;
    }
    // Removed while still locked, so no other start can take the marker for a dead run's.
    ::unlink(EncodeName(m_path).constData());
    ::close(m_fd);
    m_fd = -1;
}

SaverRunState QuerySaverRun(const QString &settingsFile, const QString &key)
{
    const QString path = SaverRunLock::markerPath(settingsFile, key);
    return path.isEmpty() ? SaverRunState::NoRun : markerState(EncodeName(path));
}

SaverRunState QuerySaverRun(const QString &settingsFile)
{
    SaverRunState state = SaverRunState::NoRun;
    for (const QByteArray &marker : markers(settingsFile)) {
        switch (markerState(marker)) {
        case SaverRunState::Alive:
            return SaverRunState::Alive;
        case SaverRunState::DeadRun:
            state = SaverRunState::DeadRun;
            break;
        case SaverRunState::NoRun:
            break;
        }
    }
    return state;
}

bool PrepareSaverRunStart(const QString &settingsFile)
{
    const QList<QByteArray> found = markers(settingsFile);
    for (const QByteArray &marker : found) {
        if (markerState(marker) == SaverRunState::Alive) {
            return false;
        }
    }
    for (const QByteArray &marker : found) {
        if (markerState(marker) == SaverRunState::DeadRun) {
            ::unlink(marker.constData());
        }
    }
    return true;
}

bool PrepareSaverRunStart(const QString &settingsFile, const QString &key)
{
    switch (QuerySaverRun(settingsFile, key)) {
    case SaverRunState::Alive:
        return false;
    case SaverRunState::DeadRun:
        ::unlink(EncodeName(SaverRunLock::markerPath(settingsFile, key)).constData());
        return true;
    case SaverRunState::NoRun:
        return true;
    }
    return true;
}

SaverStart ClassifySaverStart(const QString &settingsFile, const QString &key, bool askedByLauncher)
{
    if (askedByLauncher) {
        return QuerySaverRun(settingsFile, key) == SaverRunState::Alive ? SaverStart::AlreadyRunning : SaverStart::Run;
    }
    switch (QuerySaverRun(settingsFile)) {
    case SaverRunState::Alive:
        return SaverStart::AlreadyRunning;
    case SaverRunState::DeadRun:
        return SaverStart::StaleMark;
    case SaverRunState::NoRun:
        return SaverStart::Run;
    }
    return SaverStart::Run;
}
