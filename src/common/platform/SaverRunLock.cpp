#include "common/platform/SaverRunLock.h"
#include "common/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

QByteArray nativePath(const QString &path)
{
    return EncodeName(path);
}

} // namespace

SaverRunLock::SaverRunLock(QString settingsFile)
    : m_path(markerPath(settingsFile))
{}

SaverRunLock::~SaverRunLock()
{
    if (m_fd >= 0) {
        // Not released on purpose: the process is going away without a clean end; the kernel
        // drops the lock and the marker stays to say so.
        ::close(m_fd);
    }
}

QString SaverRunLock::markerPath(const QString &settingsFile)
{
    return settingsFile + QLatin1String(".saver-run");
}

bool SaverRunLock::acquire()
{
    if (m_fd >= 0) {
        return true;
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    const QByteArray native = nativePath(m_path);
    // O_CLOEXEC: programs this run starts must not carry the lock on after it ends.
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) != 0 || ::write(fd, pid.data(), pid.size()) != static_cast<ssize_t>(pid.size())) {
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
    ::unlink(nativePath(m_path).constData());
    ::close(m_fd);
    m_fd = -1;
}

SaverRunState QuerySaverRun(const QString &settingsFile)
{
    const QByteArray native = nativePath(SaverRunLock::markerPath(settingsFile));
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

bool PrepareSaverRunStart(const QString &settingsFile)
{
    switch (QuerySaverRun(settingsFile)) {
    case SaverRunState::Alive:
        return false;
    case SaverRunState::DeadRun:
        ::unlink(nativePath(SaverRunLock::markerPath(settingsFile)).constData());
        return true;
    case SaverRunState::NoRun:
        return true;
    }
    return true;
}

SaverStart ClassifySaverStart(const QString &settingsFile)
{
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
