// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/ThumbnailSource.h"

#include "common/FileNames.h"
#include "viewer/ThumbnailRules.h"

#include <QCache>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QMutex>
#include <QSaveFile>
#include <QThreadPool>
#include <QUrl>
#include <QtConcurrent>

#include <algorithm>
#include <vector>

namespace {

struct Stamp
{
    qint64 size = -1;
    qint64 mtimeSeconds = 0;
    qint64 mtimeMs = 0;
};

std::optional<Stamp> StampOf(const QString &path)
{
    const auto st = StatPath(path);
    if (!st || !S_ISREG(st->st_mode)) {
        return std::nullopt;
    }
    return Stamp{static_cast<qint64>(st->st_size), static_cast<qint64>(st->st_mtim.tv_sec),
                 qint64(st->st_mtim.tv_sec) * 1000 + st->st_mtim.tv_nsec / 1000000};
}

// The picture's natural size reduced (never enlarged) to fit a square of `side`.
QSize BoxFit(QSize natural, int side)
{
    if (natural.width() <= side && natural.height() <= side) {
        return natural;
    }
    return natural.scaled(side, side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

QImage Reduced(const QImage &image, QSize size)
{
    if (image.size() == size || image.isNull()) {
        return image;
    }
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

struct CacheEntry
{
    PictureInfo info;
    QImage image; // the shared cache's size, or the shown size when the cell is larger
};

struct PendingWrite
{
    QString target;
    QByteArray uri;
    Stamp stamp;
    PictureInfo info;
    QImage image;
};

} // namespace

struct ThumbnailSource::Shared
{
    QString root;
    QMutex mutex;
    QCache<QString, CacheEntry> memory{64 * 1024}; // cost in KiB: 64 MB of thumbnails
    QString folder;
    std::vector<PendingWrite> pending;
    QThreadPool writers;

    QString keyFor(const QString &path, const Stamp &stamp, int base, float tx, float ty) const
    {
        return QStringLiteral("%1\n%2\n%3\n%4\n%5x%6")
            .arg(path)
            .arg(stamp.size)
            .arg(stamp.mtimeMs)
            .arg(base)
            .arg(tx)
            .arg(ty);
    }

    std::optional<CacheEntry> fromMemory(const QString &key)
    {
        QMutexLocker lock(&mutex);
        if (const CacheEntry *e = memory.object(key)) {
            return *e;
        }
        return std::nullopt;
    }

    void remember(const QString &key, const CacheEntry &entry)
    {
        const auto cost = std::max<qsizetype>(1, entry.image.sizeInBytes() / 1024);
        QMutexLocker lock(&mutex);
        memory.insert(key, new CacheEntry(entry), cost);
    }

    // A thumbnail that a file manager or an earlier run left, if it still describes the file.
    std::optional<QImage> fromSharedCache(const QString &path, const Stamp &stamp, int size) const
    {
        if (root.isEmpty()) {
            return std::nullopt;
        }
        const QByteArray uri = FileUri(path);
        for (const int s : {128, 256, 512, 1024}) {
            if (s < size) {
                continue;
            }
            QImageReader reader(SharedThumbnailPath(root, s, path), "png");
            if (!reader.canRead()) {
                continue;
            }
            // A cache file is no more trusted than any other file: no larger than its size says.
            const QSize declared = reader.size();
            if (declared.width() > s || declared.height() > s || declared.isEmpty()) {
                continue;
            }
            // The keys are read from the image: the reader's header texts split "Thumb::URI" at its colons.
            QImage image = reader.read();
            if (!image.isNull() && image.text(QStringLiteral("Thumb::URI")).toUtf8() == uri &&
                image.text(QStringLiteral("Thumb::MTime")).toLongLong() == stamp.mtimeSeconds) {
                return image;
            }
        }
        return std::nullopt;
    }

    bool usesSharedCache(const QString &path) const
    {
        // Pictures inside the cache are never thumbnailed into it.
        return !root.isEmpty() && !AbsolutePath(path).startsWith(root + QLatin1Char('/'));
    }
};

ThumbnailSource::ThumbnailSource(QString sharedCacheRoot)
    : m_shared(std::make_shared<Shared>())
{
    m_shared->root = QDir::cleanPath(sharedCacheRoot); // stays empty when there is no cache
    m_shared->writers.setMaxThreadCount(1);
}

ThumbnailSource::~ThumbnailSource()
{
    writePending();
    waitForWrites();
}

QString ThumbnailSource::DefaultSharedCacheRoot()
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache)) {
        cache = QDir::homePath() + QStringLiteral("/.cache");
    }
    return cache + QStringLiteral("/thumbnails");
}

QByteArray ThumbnailSource::FileUri(const QString &file)
{
    const QString absolute = AbsolutePath(file);
    if (HasRawBytes(absolute)) {
        // Qt's URLs hold text only: the name's own bytes, percent-encoded, keep two names that
        // look alike apart.
        return QByteArrayLiteral("file://") + EncodeName(absolute).toPercentEncoding("/!$&'()*+,=:@~");
    }
    return QUrl::fromLocalFile(absolute).toEncoded(QUrl::FullyEncoded);
}

QString ThumbnailSource::SharedThumbnailPath(const QString &root, int size, const QString &file)
{
    const QByteArray md5 = QCryptographicHash::hash(FileUri(file), QCryptographicHash::Md5).toHex();
    return root + QLatin1Char('/') + SharedThumbnailFolder(size) + QLatin1Char('/') + QString::fromLatin1(md5) +
           QStringLiteral(".png");
}

QFuture<Thumbnail> ThumbnailSource::load(const QStringList &paths, int cell, float twipsPerPixelX, float twipsPerPixelY)
{
    std::shared_ptr<Shared> shared = m_shared;
    if (!paths.isEmpty()) {
        const QString folder = FolderOf(AbsolutePath(paths.first()));
        QMutexLocker lock(&shared->mutex);
        if (folder != shared->folder) {
            // Thumbnails are kept for the folder being looked at only.
            shared->memory.clear();
            shared->folder = folder;
        }
    }
    const int sharedSize = SharedThumbnailSize(cell);
    auto one = [shared, cell, sharedSize, twipsPerPixelX, twipsPerPixelY](const QString &path) -> Thumbnail {
        Thumbnail result;
        const auto stamp = StampOf(path);
        if (!stamp) {
            return result;
        }
        const int base = sharedSize > 0 ? sharedSize : cell;
        const QString key = shared->keyFor(path, *stamp, base, twipsPerPixelX, twipsPerPixelY);
        std::optional<CacheEntry> entry = shared->fromMemory(key);
        if (!entry && sharedSize > 0) {
            if (auto image = shared->fromSharedCache(path, *stamp, sharedSize)) {
                // The header still decides whether this is a picture, and its size.
                if (auto info = ReadPictureInfo(path, twipsPerPixelX, twipsPerPixelY)) {
                    entry = CacheEntry{*info, std::move(*image)};
                    shared->remember(key, *entry);
                }
            }
        }
        if (!entry) {
            PictureRequest request;
            request.twipsPerPixelX = twipsPerPixelX;
            request.twipsPerPixelY = twipsPerPixelY;
            request.drawSizeFor = [base, sharedSize, cell](QSize natural) {
                return sharedSize > 0 ? BoxFit(natural, base) : ThumbScaledSize(natural, cell);
            };
            auto picture = LoadPicture(path, request);
            if (!picture) {
                return result;
            }
            const QSize baseSize =
                sharedSize > 0 ? BoxFit(picture->info.pixelSize, base) : ThumbScaledSize(picture->info.pixelSize, cell);
            entry = CacheEntry{picture->info, Reduced(picture->image, baseSize)};
            shared->remember(key, *entry);
            if (sharedSize > 0 && shared->usesSharedCache(path)) {
                PendingWrite write{SharedThumbnailPath(shared->root, sharedSize, path), FileUri(path), *stamp,
                                   picture->info, entry->image};
                QMutexLocker lock(&shared->mutex);
                shared->pending.push_back(std::move(write));
            }
        }
        result.info = entry->info;
        result.image = Reduced(entry->image, ThumbScaledSize(entry->info.pixelSize, cell));
        return result;
    };
    return QtConcurrent::mapped(QStringList(paths), std::function<Thumbnail(const QString &)>(one));
}

void ThumbnailSource::writePending()
{
    std::vector<PendingWrite> writes;
    {
        QMutexLocker lock(&m_shared->mutex);
        writes.swap(m_shared->pending);
    }
    if (writes.empty()) {
        return;
    }
    m_shared->writers.start([writes = std::move(writes)] {
        for (const PendingWrite &w : writes) {
            const QString folder = QFileInfo(w.target).absolutePath();
            if (!QDir().mkpath(folder)) {
                continue;
            }
            // Other users must not see which pictures this one looks at.
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QImage image = w.image;
            image.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(w.uri));
            image.setText(QStringLiteral("Thumb::MTime"), QString::number(w.stamp.mtimeSeconds));
            image.setText(QStringLiteral("Thumb::Size"), QString::number(w.stamp.size));
            image.setText(QStringLiteral("Thumb::Image::Width"), QString::number(w.info.pixelSize.width()));
            image.setText(QStringLiteral("Thumb::Image::Height"), QString::number(w.info.pixelSize.height()));
            image.setText(QStringLiteral("Software"), QStringLiteral("Vantrel Viewer"));
            QSaveFile file(w.target);
            if (!file.open(QIODevice::WriteOnly)) {
                continue;
            }
            QImageWriter writer(&file, "png");
            writer.setQuality(80); // light compression: quick to write, quick to read
            if (!writer.write(image)) {
                file.cancelWriting();
                continue;
            }
            if (file.commit()) {
                QFile::setPermissions(w.target, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            }
        }
    });
}

void ThumbnailSource::waitForWrites()
{
    m_shared->writers.waitForDone();
}

void ThumbnailSource::clearMemory()
{
    QMutexLocker lock(&m_shared->mutex);
    m_shared->memory.clear();
}
