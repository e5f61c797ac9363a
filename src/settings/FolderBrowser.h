// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "settings/SettingsRules.h"

#include <QComboBox>
#include <QFutureWatcher>
#include <QListView>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The settings dialog's folder browser: a drive list of mounted file systems and a folder tree
// list. Folders and mounts are read on a worker thread, so a folder of thousands of subfolders or
// a network share that does not answer never holds the dialog up; the newest request wins.

// The subfolders of a folder in natural order (hidden ones only when asked); nothing when the
// folder cannot be read.
[[nodiscard]] std::optional<QStringList> ReadSubfolders(const QString &folder, bool includeHidden);

// The mounted file systems the drive list offers, "/" first.
[[nodiscard]] std::vector<MountInfo> ReadPictureMounts();

// The drive list: each mount shown by its mount point (and label).
class DriveListBox : public QComboBox
{
    Q_OBJECT
public:
    explicit DriveListBox(QWidget *parent = nullptr);

    // Reads the mounts again in the background; DrivesRead follows.
    void refreshDrives();
    [[nodiscard]] QStringList mountPoints() const;
    // The mount point of the chosen entry.
    [[nodiscard]] QString Drive() const;
    // Shows the drive that holds `path`, without a Change.
    void showDriveOf(const QString &path);

signals:
    // The user chose another drive.
    void Change();
    void DrivesRead();

private:
    QFutureWatcher<std::vector<MountInfo>> m_reader;
    QString m_wanted; // the folder whose drive is to be shown once the mounts are known
};

// The folder tree list: the chain of folders from the drive's root down to the current folder,
// then the current folder's subfolders. A double-click opens a folder.
class DirListBox : public QListView
{
    Q_OBJECT
public:
    explicit DirListBox(QWidget *parent = nullptr);
    ~DirListBox() override;

    // The folder shown; it changes only once the new folder has been read.
    [[nodiscard]] QString Path() const { return m_path; }
    // Asks for a folder; when it cannot be read, `fallback` (if given) is tried, and when neither
    // can, the tree stays as it was and PathFailed follows.
    void setPath(const QString &path, const QString &fallback = QString());
    // The folder highlighted in the list (a single click is enough), else the folder shown.
    [[nodiscard]] QString highlightedPath() const;
    // Reads the current folder again (a folder was created in it).
    void Refresh();
    // The root the chain starts from (the drive's mount point).
    void setMountPoints(const QStringList &mountPoints);
    // True from a request until its folder is shown (or has failed).
    [[nodiscard]] bool isReading() const { return m_done != m_generation; }
    // The entries shown: how many, the full path each stands for, and the row of a path (-1).
    [[nodiscard]] int count() const;
    [[nodiscard]] QString entryPath(int row) const;
    [[nodiscard]] int rowOf(const QString &path) const;

signals:
    void PathChange();
    void PathFailed(const QString &path);

private:
    struct Reading
    {
        quint64 generation = 0;
        QString asked;
        QString path; // the folder read, empty when none could be
        QStringList subfolders;
    };
    class Entries;
    void showReading(const Reading &result);

    Entries *m_entries;
    QFutureWatcher<Reading> m_reader;
    quint64 m_generation = 0;
    quint64 m_done = 0;
    QString m_path;
    Reading m_shown;
    QStringList m_mountPoints{QStringLiteral("/")};
};
