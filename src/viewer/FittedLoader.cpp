// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/FittedLoader.h"

#include "common/FileNames.h"
#include "common/ScreenMetrics.h"
#include "common/SharedState.h"
#include "common/picture/Picture.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QPointer>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <memory>

#include <unistd.h>

namespace {
// What is wanted next (three pictures) and the picture shown before, kept for a step back while
// the list of what is wanted is not yet renewed: a load still wanted is never pushed out. At a
// 4K screen a fitted picture is 33 MB.
constexpr int kWantedAtOnce = 3;
constexpr int kKept = kWantedAtOnce + 1;

// The pictures ahead have a thread of their own: at a start the shared pool's threads may all be
// held by work that waits for the start's picture. One at a time, most wanted first: the slow
// decoders (HEIC, JPEG XL) use every core themselves, so the next picture alone is ready sooner
// than the next two side by side. The pool belongs to the application, whose end waits for a
// load under way.
QThreadPool *AheadPool()
{
    static QPointer<QThreadPool> pool;
    if (QCoreApplication::instance() == nullptr) {
        return QThreadPool::globalInstance();
    }
    if (pool.isNull()) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setMaxThreadCount(1);
    }
    return pool;
}
} // namespace

FittedLoad LoadFitted(const QString &path, const ScreenForFit &screen)
{
    FittedLoad load;
    PictureRequest request;
    request.drawSizeFor = [&screen](QSize natural) {
        return FitPicture(natural, screen.widthPx, screen.heightPx, screen.slideShow).rect.size();
    };
    request.twipsPerPixelX = screen.twipsPerPixelX;
    request.twipsPerPixelY = screen.twipsPerPixelY;
    PictureError error = PictureError::None;
    load.picture = LoadPicture(path, request, &error);
    if (load.picture) {
        load.info = load.picture->info;
    } else if (error == PictureError::Damaged || error == PictureError::TooLarge) {
        // The header was fine: the caller still learns what kind of picture it was.
        load.info = ReadPictureInfo(path, screen.twipsPerPixelX, screen.twipsPerPixelY);
    }
    if (load.info) {
        load.fit = FitPicture(load.info->pixelSize, screen.widthPx, screen.heightPx, screen.slideShow);
    }
    // Scaled once, here (often on a worker thread), to exactly the size it is drawn at: every
    // paint of the fitted view is then a plain copy.
    if (load.picture && !load.picture->image.isNull() && load.picture->image.size() != load.fit.rect.size() &&
        !load.fit.rect.isEmpty()) {
        load.picture->image =
            load.picture->image.scaled(load.fit.rect.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return load;
}

std::optional<FileStamp> StampOf(const QString &path)
{
    const auto file = StatPath(path);
    if (!file || !S_ISREG(file->st_mode)) {
        return std::nullopt;
    }
    FileStamp stamp;
    stamp.device = file->st_dev;
    stamp.inode = file->st_ino;
    stamp.size = file->st_size;
    stamp.modifiedNs = qint64(file->st_mtim.tv_sec) * 1000000000 + file->st_mtim.tv_nsec;
    return stamp;
}

namespace {
bool SameFileStamp(const FileStamp &stamp, const struct stat &now)
{
    return S_ISREG(now.st_mode) && now.st_dev == stamp.device && now.st_ino == stamp.inode &&
           now.st_size == stamp.size &&
           qint64(now.st_mtim.tv_sec) * 1000000000 + now.st_mtim.tv_nsec == stamp.modifiedNs;
}

bool SameScreenForFit(const ScreenForFit &a, const ScreenForFit &b)
{
    return a.widthPx == b.widthPx && a.heightPx == b.heightPx && a.twipsPerPixelX == b.twipsPerPixelX &&
           a.twipsPerPixelY == b.twipsPerPixelY && a.slideShow == b.slideShow;
}
} // namespace

bool FittedPrefetch::sameFile(const FileStamp &stamp, const struct stat &now)
{
    return SameFileStamp(stamp, now);
}

bool FittedPrefetch::sameScreen(const ScreenForFit &a, const ScreenForFit &b)
{
    return SameScreenForFit(a, b);
}

void FittedPrefetch::prefetch(const QStringList &paths, const ScreenForFit &screen)
{
    const QStringList wanted = paths.first(std::min<qsizetype>(paths.size(), kWantedAtOnce));
    for (qsizetype i = m_entries.size() - 1; i >= 0; --i) {
        if (!wanted.contains(m_entries.at(i).path) || !sameScreen(m_entries.at(i).screen, screen)) {
            drop(i);
        } else {
            m_entries[i].wanted = true;
        }
    }
    for (const QString &path : wanted) {
        const bool held =
            std::any_of(m_entries.cbegin(), m_entries.cend(), [&path](const Entry &e) { return e.path == path; });
        const auto stamp = held ? std::nullopt : StampOf(path);
        if (stamp) {
            add({path, screen, *stamp, QtConcurrent::run(AheadPool(), LoadFitted, path, screen), true});
        }
    }
}

void FittedPrefetch::drop(qsizetype index)
{
    // A load still queued is skipped by the pool once cancelled; a ready one is unaffected.
    m_entries[index].future.cancel();
    m_entries.removeAt(index);
}

void FittedPrefetch::keep(const QString &path, const ScreenForFit &screen, const FittedLoad &load,
                          const FileStamp &stamp)
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries.at(i).path == path && sameScreen(m_entries.at(i).screen, screen)) {
            m_entries.removeAt(i);
            break;
        }
    }
    add({path, screen, stamp, QtFuture::makeReadyFuture(load)});
}

void FittedPrefetch::add(Entry entry)
{
    m_entries.append(std::move(entry));
    while (m_entries.size() > kKept) {
        // Pictures only kept as the viewer moved on go first, oldest first: what the last prefetch
        // named stays (what it did not name was let go then).
        const auto kept = std::find_if(m_entries.cbegin(), m_entries.cend(), [](const Entry &e) { return !e.wanted; });
        drop(kept == m_entries.cend() ? 0 : std::distance(m_entries.cbegin(), kept));
    }
}

QStringList FittedPrefetch::held(const ScreenForFit &screen) const
{
    QStringList paths;
    for (const Entry &e : m_entries) {
        if (sameScreen(e.screen, screen)) {
            paths.append(e.path);
        }
    }
    return paths;
}

std::optional<QFuture<FittedLoad>> FittedPrefetch::pending(const QString &path, const ScreenForFit &screen) const
{
    for (const Entry &e : m_entries) {
        if (e.path == path && sameScreen(e.screen, screen) && !e.future.isFinished()) {
            return e.future;
        }
    }
    return std::nullopt;
}

std::optional<FittedLoad> FittedPrefetch::take(const QString &path, const ScreenForFit &screen, FileStamp *stamp)
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        Entry entry = m_entries.at(i);
        if (entry.path != path || !sameScreen(entry.screen, screen)) {
            continue;
        }
        m_entries.removeAt(i);
        FittedLoad load = entry.future.result();
        const auto now = StatPath(path);
        // Never a wrong picture: the file must be the one that was loaded.
        if (!now || !sameFile(entry.stamp, *now)) {
            return std::nullopt;
        }
        if (stamp != nullptr) {
            *stamp = entry.stamp;
        }
        return load;
    }
    return std::nullopt;
}

void FittedPrefetch::clear()
{
    while (!m_entries.isEmpty()) {
        drop(m_entries.size() - 1);
    }
}

ScreenForFit CurrentScreenForFit()
{
    const SharedState &s = State();
    ScreenForFit screen;
    screen.widthPx = s.ScreenWidthPx;
    screen.heightPx = s.ScreenHeightPx;
    screen.twipsPerPixelX = ScreenTwipsPerPixelX();
    screen.twipsPerPixelY = ScreenTwipsPerPixelY();
    screen.slideShow = s.SlideShowOn;
    return screen;
}

namespace {
// The one picture of a start, from before the toolkit starts to the viewer's first showing.
struct AheadFile
{
    QString path;
    FileStamp stamp;
};
struct Ahead
{
    ScreenForFit screen;
    QString knownPath;               // empty while the file is still being chosen
    std::shared_ptr<AheadFile> file; // written by the load before its result is ready
    QFuture<FittedLoad> future;
};
// Before the toolkit has started, only what decodes here on its own: a metafile draws text, which
// needs the fonts of the application object, and the helper process that decodes the other
// formats is found through it (an early decode of a metafile crashed the start).
bool DecodableBeforeToolkit(const QString &path)
{
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
        return false;
    }
    QByteArray head(256, '\0');
    const ssize_t n = ::read(fd, head.data(), static_cast<std::size_t>(head.size()));
    ::close(fd);
    if (n <= 0) {
        return false;
    }
    head.truncate(n);
    PictureInfo info;
    info.kind = SniffPictureKind(head);
    return info.kind != PictureKind::Unknown && !info.isMetafile() && !info.isHelperDecoded();
}

std::optional<Ahead> &AheadOfStart()
{
    static std::optional<Ahead> ahead;
    return ahead;
}
} // namespace

void LoadAheadOfStart(const QString &path, const ScreenForFit &screen)
{
    (void)LoadAheadOfStart(
        path, [path] { return path; }, screen);
}

QFuture<void> LoadAheadOfStart(const QString &knownPath, std::function<QString()> choose, const ScreenForFit &screen)
{
    const bool beforeToolkit = QCoreApplication::instance() == nullptr;
    if (beforeToolkit) {
        // The image plugins are looked up here, on this thread, before the worker decodes: the
        // lookup reads the library paths, which the application object resets without a lock
        // while it is made (a worker looking them up meanwhile crashed). A reader of a format
        // built into the toolkit looks them up without loading any; asking for the formats
        // supported would load every plugin and the libraries they need, Svg and TIFF among them.
        QBuffer nothing;
        QImageReader reader(&nothing, QByteArrayLiteral("bmp"));
        reader.setAutoDetectImageFormat(false);
        (void)reader.canRead();
    }
    auto file = std::make_shared<AheadFile>();
    QFuture<FittedLoad> future = QtConcurrent::run([choose = std::move(choose), screen, file, beforeToolkit] {
        const QString path = choose();
        const auto stamp = path.isEmpty() ? std::nullopt : StampOf(path);
        if (!stamp || (beforeToolkit && !DecodableBeforeToolkit(path))) {
            return FittedLoad();
        }
        // Stamped before the load: a file changed while it loads is never taken for it.
        file->path = path;
        file->stamp = *stamp;
        return LoadFitted(path, screen);
    });
    AheadOfStart() = Ahead{screen, knownPath, std::move(file), future};
    return QFuture<void>(future);
}

bool LoadAheadOfStartFor(const ScreenForFit &screen)
{
    return AheadOfStart() && SameScreenForFit(AheadOfStart()->screen, screen);
}

std::optional<FittedLoad> TakeLoadAheadOfStart(const QString &path, const ScreenForFit &screen, FileStamp *stamp)
{
    // Whatever is not taken now is not kept: the first picture shown settles it.
    const std::optional<Ahead> ahead = std::exchange(AheadOfStart(), std::nullopt);
    if (!ahead || !SameScreenForFit(ahead->screen, screen) ||
        (!ahead->knownPath.isEmpty() && ahead->knownPath != path)) {
        return std::nullopt;
    }
    FittedLoad load = ahead->future.result();
    const auto now = StatPath(path);
    // Never a wrong picture: the file the list chose, as it was loaded. A load that failed is done
    // again by the viewer itself, which reports what is wrong with the file.
    if (ahead->file->path != path || !now || !SameFileStamp(ahead->file->stamp, *now) || !load.picture) {
        return std::nullopt;
    }
    if (stamp != nullptr) {
        *stamp = ahead->file->stamp;
    }
    return load;
}

std::optional<QFuture<FittedLoad>> PendingLoadAheadOfStart(const QString &path, const ScreenForFit &screen)
{
    const std::optional<Ahead> &ahead = AheadOfStart();
    // A file still being chosen is most likely the one asked for: the start waits for it.
    if (!ahead || ahead->future.isFinished() || !SameScreenForFit(ahead->screen, screen) ||
        (!ahead->knownPath.isEmpty() && ahead->knownPath != path)) {
        return std::nullopt;
    }
    return ahead->future;
}

void ForgetLoadAheadOfStart()
{
    if (AheadOfStart()) {
        AheadOfStart()->future.waitForFinished();
        AheadOfStart().reset();
    }
}
