#pragma once

#include <QString>

// An exclusive lock on a file (flock), held until the object goes or the process dies, whichever
// comes first: a crashed holder never leaves a lock behind.
class FileLock
{
public:
    explicit FileLock(const QString &path);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // Takes the lock, waiting at most waitMs milliseconds (0: only a try).
    bool lock(int waitMs);
    [[nodiscard]] bool held() const { return m_held; }

private:
    int m_fd = -1;
    bool m_held = false;
};

// The lock files of the launcher live beside the settings file, so each store has its own.
[[nodiscard]] QString LauncherLockPath(const QString &name);
