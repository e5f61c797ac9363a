// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "common/picture/Picture.h"

#include <QFuture>
#include <QImage>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// A thumbnail ready to be shown: the picture's header (empty when the file is no picture that
// can be shown) and the picture reduced to the size it is shown at in its cell.
struct Thumbnail
{
    std::optional<PictureInfo> info;
    QImage image;
};

// Where thumbnails come from, fastest first: pictures already reduced for this folder in
// memory; the freedesktop.org thumbnail cache that file managers share; a scaled decode of the
// file, whose result goes back into both caches. The cache's files are written atomically (a
// temporary file renamed into place) and only after the page that needed them is complete, so
// they never slow a page down.
class ThumbnailSource
{
public:
    // `sharedCacheRoot` is the folder holding "normal", "large" and so on; empty: none.
    explicit ThumbnailSource(QString sharedCacheRoot = DefaultSharedCacheRoot());
    ~ThumbnailSource();
    ThumbnailSource(const ThumbnailSource &) = delete;
    ThumbnailSource &operator=(const ThumbnailSource &) = delete;

    // The thumbnails of `paths` for cells of `cell` pixels, decoded on all cores; results come
    // in the order of the paths.
    [[nodiscard]] QFuture<Thumbnail> load(const QStringList &paths, int cell, float twipsPerPixelX,
                                          float twipsPerPixelY);
    // Writes the cache files the last loads produced, in the background.
    void writePending();
    // Waits until every cache file under way is written.
    void waitForWrites();
    // Forgets the thumbnails kept in memory.
    void clearMemory();

    // $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails.
    [[nodiscard]] static QString DefaultSharedCacheRoot();
    // The cache file of a picture file at one of the shared sizes, and the URI it records.
    [[nodiscard]] static QString SharedThumbnailPath(const QString &root, int size, const QString &file);
    [[nodiscard]] static QByteArray FileUri(const QString &file);

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};
