// SPDX-License-Identifier: GPL-2.0-or-later
#include "panel/FolderWatch.h"

#include "common/FileNames.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

void ChangeBatch::touched(qint64 nowMs)
{
    if (m_changes.isEmpty()) {
        m_firstMs = nowMs;
    }
    m_lastMs = nowMs;
}

void ChangeBatch::add(const QString &name, qint64 nowMs)
{
    touched(nowMs);
    if (m_changes.everything) {
        return;
    }
    m_changes.names.insert(name);
    if (m_changes.names.size() > kMostNames) {
        m_changes.names.clear();
        m_changes.everything = true;
    }
}

void ChangeBatch::addEverything(qint64 nowMs)
{
    touched(nowMs);
    m_changes.names.clear();
    m_changes.everything = true;
}

void ChangeBatch::addFolderGone(qint64 nowMs)
{
    touched(nowMs);
    m_changes.folderGone = true;
}

std::optional<qint64> ChangeBatch::dueAtMs() const
{
    if (m_changes.isEmpty()) {
        return std::nullopt;
    }
    return std::min(m_lastMs + kQuietMs, m_firstMs + kLatestMs);
}

FolderChanges ChangeBatch::take()
{
    FolderChanges out = std::move(m_changes);
    m_changes = FolderChanges();
    return out;
}

FolderWatcher::FolderWatcher(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &FolderWatcher::flush);
    m_clock.start();
}

FolderWatcher::~FolderWatcher()
{
    stop();
}

void FolderWatcher::stop()
{
    delete m_notifier; // owned here, not by a parent: it goes with its descriptor
    m_notifier = nullptr;
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = -1;
    m_watch = -1;
    m_folder.clear();
    m_timer.stop();
    (void)m_batch.take();
}

bool FolderWatcher::watch(const QString &folder)
{
    stop();
    if (folder.isEmpty()) {
        return false;
    }
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        return false;
    }
    // Whole files only: a file being written shows once it is closed, not at every write.
    const std::uint32_t mask = IN_CREATE | IN_CLOSE_WRITE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                               IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    m_watch = ::inotify_add_watch(m_fd, EncodeName(folder).constData(), mask);
    if (m_watch < 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    m_folder = folder;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &FolderWatcher::readEvents);
    return true;
}

void FolderWatcher::readEvents()
{
    alignas(inotify_event) char buffer[64 * (sizeof(inotify_event) + NAME_MAX + 1)];
    const qint64 now = m_clock.elapsed();
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto *e = reinterpret_cast<const inotify_event *>(buffer + at);
            if (e->mask & IN_Q_OVERFLOW) {
                m_batch.addEverything(now);
            } else if (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                m_batch.addFolderGone(now);
            } else if (e->len > 0) {
                m_batch.add(DecodeName(e->name, ::strnlen(e->name, e->len)), now);
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    schedule();
}

void FolderWatcher::schedule()
{
    const auto due = m_batch.dueAtMs();
    if (!due) {
        return;
    }
    // The batch's due time is never later than its latest moment: a steady stream still reports.
    m_timer.start(static_cast<int>(std::max<qint64>(0, *due - m_clock.elapsed())));
}

void FolderWatcher::flush()
{
    const auto due = m_batch.dueAtMs();
    if (!due) {
        return;
    }
    if (*due > m_clock.elapsed()) {
        schedule();
        return;
    }
    FolderChanges changes = m_batch.take();
    const bool gone = changes.folderGone;
    emit changed(changes);
    if (gone) {
        // The watch went with the folder; the owner decides what to show now.
        stop();
    }
}
