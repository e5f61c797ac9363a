// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <optional>

class QSocketNotifier;

// What changed in a watched folder since the last report: the names (as read, see
// common/FileNames.h) that were added, removed, renamed or rewritten.
struct FolderChanges
{
    QSet<QString> names;
    bool everything = false; // the kernel lost count (a queue overflow): read the whole folder again
    bool folderGone = false; // the folder itself was removed or moved away

    [[nodiscard]] bool isEmpty() const { return names.isEmpty() && !everything && !folderGone; }
};

// Gathers the changes of a burst into one report: due once the folder has been quiet for a
// moment, and at the latest a while after the first change, so a copy of thousands of files
// shows progress without reading the folder for each file. Times are milliseconds on any
// steady clock.
class ChangeBatch
{
public:
    static constexpr qint64 kQuietMs = 150;
    static constexpr qint64 kLatestMs = 600;
    // A batch this large is reported as "everything": the list is read once instead of name by name.
    static constexpr qsizetype kMostNames = 2000;

    void add(const QString &name, qint64 nowMs);
    void addEverything(qint64 nowMs);
    void addFolderGone(qint64 nowMs);
    // When the batch is due, or nothing when it is empty.
    [[nodiscard]] std::optional<qint64> dueAtMs() const;
    [[nodiscard]] bool isEmpty() const { return m_changes.isEmpty(); }
    FolderChanges take();

private:
    void touched(qint64 nowMs);
    FolderChanges m_changes;
    qint64 m_firstMs = 0;
    qint64 m_lastMs = 0;
};

// Watches one folder through inotify and reports its changes in batches. A folder that cannot
// be watched (some network file systems, the system's limit of watches reached) is simply not
// watched: the list is then read again only when the user asks, as without a watcher.
class FolderWatcher : public QObject
{
    Q_OBJECT
public:
    explicit FolderWatcher(QObject *parent = nullptr);
    ~FolderWatcher() override;

    // Watches `folder` instead of the one before; false when it cannot be watched.
    bool watch(const QString &folder);
    void stop();
    [[nodiscard]] bool isWatching() const { return m_watch >= 0; }
    [[nodiscard]] QString folder() const { return m_folder; }

signals:
    void changed(const FolderChanges &changes);

private:
    void readEvents();
    void schedule();
    void flush();

    int m_fd = -1;
    int m_watch = -1;
    QString m_folder;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_timer;
    QElapsedTimer m_clock;
    ChangeBatch m_batch;
};
