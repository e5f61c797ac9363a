// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

// An exclusive lock on a file of the user's own (flock), held until the object goes or the
// process dies, whichever comes first: a crashed holder never leaves a lock behind. The file is
// made readable by the user only and is refused when it is a link or belongs to someone else, so
// no other user can hold the lock.
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

// A lock of the programs that use this settings file, in the user's private folder ("name" tells
// which). Empty when the user has no private folder.
[[nodiscard]] QString StoreLockPath(const QString &settingsFile, const QString &name);
