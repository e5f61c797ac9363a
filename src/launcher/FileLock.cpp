#include "launcher/FileLock.h"
#include "common/FileNames.h"

#include "common/SettingsStore.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

FileLock::FileLock(const QString &path)
{
    m_fd = ::open(EncodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
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
            QThread::msleep(20);
        }
    }
    return m_held;
}

QString LauncherLockPath(const QString &name)
{
    return SettingsFilePath(AppName) + QLatin1Char('.') + name;
}
