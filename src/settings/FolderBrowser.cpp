// SPDX-License-Identifier: GPL-2.0-or-later
#include "settings/FolderBrowser.h"
#include "common/FileNames.h"

#include "common/NaturalOrder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QStyle>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace {
constexpr int kPathRole = Qt::UserRole;

// Reads of folders and mounts run in a pool of their own: a network share that never answers
// holds one of these threads, never the pictures decoded in the program's common pool. The pool
// is never destroyed, so quitting does not wait for such a read either.
QThreadPool *BrowserPool()
{
    static QThreadPool *pool = [] {
        auto *p = new QThreadPool();
        p->setMaxThreadCount(4);
        return p;
    }();
    return pool;
}
} // namespace

std::optional<QStringList> ReadSubfolders(const QString &folder, bool includeHidden)
{
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    const QByteArray native = EncodeName(folder);
    DIR *dir = ::opendir(native.constData());
    if (dir == nullptr) {
        return std::nullopt;
    }
    const int fd = ::dirfd(dir);
    QStringList names;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0 || (name[0] == '.' && !includeHidden)) {
            continue;
        }
        // A link to a folder is a folder to browse into.
        if (S_ISDIR(EntryTypeFollowed(fd, *entry))) {
            names.append(DecodeName(name));
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

std::vector<MountInfo> ReadPictureMounts()
{
    const QString home = QDir::homePath();
    std::vector<MountInfo> mounts;
    bool haveRoot = false;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        MountInfo m;
        m.rootPath = volume.rootPath();
        m.fsType = QString::fromLatin1(volume.fileSystemType());
        m.device = QString::fromLocal8Bit(volume.device());
        m.label = volume.name();
        m.readOnly = volume.isReadOnly();
        const bool seen = std::any_of(mounts.begin(), mounts.end(),
                                      [&](const MountInfo &other) { return other.rootPath == m.rootPath; });
        if (seen || !IsPictureMount(m, home)) {
            continue;
        }
        haveRoot = haveRoot || m.rootPath == QLatin1String("/");
        mounts.push_back(m);
    }
    if (!haveRoot) {
        MountInfo root;
        root.rootPath = QStringLiteral("/");
        mounts.push_back(root);
    }
    std::stable_sort(mounts.begin(), mounts.end(), [](const MountInfo &a, const MountInfo &b) {
        if ((a.rootPath == QLatin1String("/")) != (b.rootPath == QLatin1String("/"))) {
            return a.rootPath == QLatin1String("/");
        }
        return NaturalLess(a.rootPath, b.rootPath);
    });
    return mounts;
}

DriveListBox::DriveListBox(QWidget *parent)
    : QComboBox(parent)
{
    addItem(QStringLiteral("/"), QStringLiteral("/"));
    connect(this, &QComboBox::activated, this, [this] { emit Change(); });
    connect(&m_reader, &QFutureWatcher<std::vector<MountInfo>>::finished, this, [this] {
        const std::vector<MountInfo> mounts = m_reader.result();
        {
            const QSignalBlocker quiet(this);
            clear();
            for (const MountInfo &m : mounts) {
                addItem(MountCaption(m), m.rootPath);
            }
        }
        showDriveOf(m_wanted);
        emit DrivesRead();
    });
}

void DriveListBox::refreshDrives()
{
    if (!m_reader.isRunning()) {
        m_reader.setFuture(QtConcurrent::run(BrowserPool(), ReadPictureMounts));
    }
}

QStringList DriveListBox::mountPoints() const
{
    QStringList points;
    for (int i = 0; i < count(); ++i) {
        points.append(itemData(i).toString());
    }
    return points;
}

QString DriveListBox::Drive() const
{
    return currentData().toString();
}

void DriveListBox::showDriveOf(const QString &path)
{
    m_wanted = path;
    const int index = findData(MountOf(path, mountPoints()));
    const QSignalBlocker quiet(this);
    setCurrentIndex(std::max(index, 0));
}

// The entries of the folder tree list as one model: a folder of thousands of subfolders is
// shown in one reset rather than row by row.
class DirListBox::Entries : public QAbstractListModel
{
public:
    using QAbstractListModel::QAbstractListModel;

    struct Entry
    {
        QString text; // indented by depth
        QString path;
        bool open = false; // a folder of the chain (shown open) or a subfolder
    };

    void reset(std::vector<Entry> entries, QIcon open, QIcon closed)
    {
        beginResetModel();
        m_entries = std::move(entries);
        m_open = std::move(open);
        m_closed = std::move(closed);
        endResetModel();
    }
    [[nodiscard]] const std::vector<Entry> &entries() const { return m_entries; }

    int rowCount(const QModelIndex &parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= static_cast<int>(m_entries.size())) {
            return {};
        }
        const Entry &e = m_entries[static_cast<std::size_t>(index.row())];
        switch (role) {
        case Qt::DisplayRole:
            return DisplayName(e.text); // bytes that are not UTF-8 as "\xE9", as the file list shows them
        case Qt::DecorationRole:
            return e.open ? m_open : m_closed;
        case kPathRole:
            return e.path;
        default:
            return {};
        }
    }

private:
    std::vector<Entry> m_entries;
    QIcon m_open;
    QIcon m_closed;
};

DirListBox::DirListBox(QWidget *parent)
    : QListView(parent)
    , m_entries(new Entries(this))
{
    setModel(m_entries);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(&m_reader, &QFutureWatcher<Reading>::finished, this, [this] {
        const Reading result = m_reader.result();
        showReading(result);
        m_done = std::max(m_done, result.generation);
    });
    connect(this, &QListView::doubleClicked, this,
            [this](const QModelIndex &index) { setPath(entryPath(index.row())); });
}

DirListBox::~DirListBox() = default;

int DirListBox::count() const
{
    return static_cast<int>(m_entries->entries().size());
}

QString DirListBox::entryPath(int row) const
{
    const auto &entries = m_entries->entries();
    return row >= 0 && row < count() ? entries[static_cast<std::size_t>(row)].path : QString();
}

QString DirListBox::highlightedPath() const
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isSelected(current)) {
        return entryPath(current.row());
    }
    return m_path;
}

int DirListBox::rowOf(const QString &path) const
{
    const auto &entries = m_entries->entries();
    const auto found =
        std::find_if(entries.begin(), entries.end(), [&](const Entries::Entry &e) { return e.path == path; });
    return found == entries.end() ? -1 : static_cast<int>(found - entries.begin());
}

void DirListBox::setMountPoints(const QStringList &mountPoints)
{
    m_mountPoints = mountPoints;
    // The chain of the folder shown may now start at another mount; a read under way will use
    // the new mounts when it arrives.
    if (!isReading() && !m_shown.path.isEmpty()) {
        m_shown.generation = m_generation;
        showReading(m_shown);
    }
}

void DirListBox::setPath(const QString &path, const QString &fallback)
{
    const quint64 generation = ++m_generation;
    // Only the newest request is shown; an older one still reading is simply not waited for.
    m_reader.setFuture(QtConcurrent::run(BrowserPool(), [generation, path, fallback] {
        Reading r;
        r.generation = generation;
        r.asked = path;
        for (const QString &candidate : {path, fallback}) {
            if (candidate.isEmpty()) {
                continue;
            }
            const QString clean = QDir::cleanPath(candidate);
            if (auto subfolders = ReadSubfolders(clean, InsideHiddenFolder(clean))) {
                r.path = clean;
                r.subfolders = std::move(*subfolders);
                break;
            }
        }
        return r;
    }));
}

void DirListBox::Refresh()
{
    setPath(m_path);
}

void DirListBox::showReading(const Reading &result)
{
    if (result.generation != m_generation) {
        return;
    }
    if (result.path.isEmpty()) {
        emit PathFailed(result.asked);
        return;
    }
    const QStringList chain = FolderChain(MountOf(result.path, m_mountPoints), result.path);
    std::vector<Entries::Entry> entries;
    entries.reserve(static_cast<std::size_t>(chain.size() + result.subfolders.size()));
    int level = 0;
    for (const QString &folder : chain) {
        const QString name = level == 0 ? folder : folder.mid(folder.lastIndexOf(QLatin1Char('/')) + 1);
        entries.push_back({QString(level * 2, QLatin1Char(' ')) + name, folder, true});
        ++level;
    }
    const QString indent(level * 2, QLatin1Char(' '));
    const QString prefix = result.path.endsWith(QLatin1Char('/')) ? result.path : result.path + QLatin1Char('/');
    for (const QString &name : result.subfolders) {
        entries.push_back({indent + name, prefix + name, false});
    }
    m_entries->reset(std::move(entries), style()->standardIcon(QStyle::SP_DirOpenIcon),
                     style()->standardIcon(QStyle::SP_DirClosedIcon));
    const QModelIndex current = m_entries->index(static_cast<int>(chain.size()) - 1);
    setCurrentIndex(current);
    scrollTo(current);
    m_shown = result;
    const bool changed = m_path != result.path;
    m_path = result.path;
    if (changed) {
        emit PathChange();
    }
}
