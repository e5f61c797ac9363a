// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/platform/FileLock.h"

#include "common/FileNames.h"
#include "common/platform/PrivateFolder.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

FileLock::FileLock(const QString &path)
{
    if (path.isEmpty()) {
        return;
    }
    m_fd = ::open(EncodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR);
    struct stat info
    {};
    if (m_fd >= 0 && (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())) {
        ::close(m_fd);
        m_fd = -1;
    }
}

FileLock::~FileLock()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool FileLock::lock(int waitMs)
{
    if (m_fd < 0) {
        return false;
    }
    const QDeadlineTimer deadline(waitMs);
    while (!m_held) {
        if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
            m_held = true;
        } else if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) {
            break;
        } else {
            QThread::msleep(10);
        }
    }
    return m_held;
}

QString StoreLockPath(const QString &settingsFile, const QString &name)
{
    return PrivateFileFor(settingsFile, QLatin1Char('.') + name);
}
