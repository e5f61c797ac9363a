// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "common/picture/Picture.h"
#include "viewer/ViewerRules.h"

#include <QDateTime>
#include <QFuture>
#include <QList>

#include <functional>

#include <sys/stat.h>

// A picture loaded for the fitted view: its header, where it goes, and the decode no larger than
// it is drawn. `picture` is empty when the file could not be read as a picture.
struct FittedLoad
{
    std::optional<PictureInfo> info;
    FittedPicture fit;
    std::optional<Picture> picture;
};

struct ScreenForFit
{
    float widthPx = 1024;
    float heightPx = 768;
    float twipsPerPixelX = 15;
    float twipsPerPixelY = 15;
    bool slideShow = false;
};

[[nodiscard]] FittedLoad LoadFitted(const QString &path, const ScreenForFit &screen);

// The screen as the fitted view uses it now (the measured metrics and whether a show runs).
[[nodiscard]] ScreenForFit CurrentScreenForFit();

// A file as it was when its load began: the same inode, size and time.
struct FileStamp
{
    dev_t device = 0;
    ino_t inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = 0;
};
[[nodiscard]] std::optional<FileStamp> StampOf(const QString &path);

// Loads the pictures next to the one shown in the background, so that stepping through a folder
// keeps up with the keys. A prefetched picture is handed out only for the same file, unchanged
// (size and time) since the load began, on the same screen; anything else is loaded afresh.
class FittedPrefetch
{
public:
    // The pictures wanted next, most wanted first (at most three): those not held yet start
    // loading, and whatever else is held is let go, so that work for a place the user has left
    // does not queue before the work for where the user is now. A load let go that has not begun
    // never runs; one under way finishes for nobody.
    void prefetch(const QStringList &paths, const ScreenForFit &screen);
    // A picture already loaded (the one the viewer shows as it moves on), kept so that stepping
    // back is not a second decode.
    void keep(const QString &path, const ScreenForFit &screen, const FittedLoad &load, const FileStamp &stamp);
    // The prefetched load of `path`, waiting for it if it is under way; nothing when there is
    // none or it no longer fits the file. `stamp` receives the file as the load found it.
    [[nodiscard]] std::optional<FittedLoad> take(const QString &path, const ScreenForFit &screen,
                                                 FileStamp *stamp = nullptr);
    void clear();
    // The load of `path` while it is still under way.
    [[nodiscard]] std::optional<QFuture<FittedLoad>> pending(const QString &path, const ScreenForFit &screen) const;
    // The files held for that screen, loaded or loading, oldest first.
    [[nodiscard]] QStringList held(const ScreenForFit &screen) const;

private:
    struct Entry
    {
        QString path;
        ScreenForFit screen;
        FileStamp stamp;
        QFuture<FittedLoad> future;
        bool wanted = false; // named by the last prefetch, not only kept
    };
    void add(Entry entry);
    void drop(qsizetype index);
    static bool sameFile(const FileStamp &stamp, const struct stat &now);
    static bool sameScreen(const ScreenForFit &a, const ScreenForFit &b);
    QList<Entry> m_entries;
};

// A start decodes its first picture while the program is still connecting to the display and
// making its windows; the viewer's first showing of that picture takes the result from here.
void LoadAheadOfStart(const QString &path, const ScreenForFit &screen);
// The same when the picture is still to be chosen (the first of a folder): `choose` names it on
// the worker thread (empty for none); `knownPath` is the file when it is known already. The
// future finishes with the load.
QFuture<void> LoadAheadOfStart(const QString &knownPath, std::function<QString()> choose, const ScreenForFit &screen);
// Whether a load ahead of start for that screen was begun and not yet taken.
[[nodiscard]] bool LoadAheadOfStartFor(const ScreenForFit &screen);
// The result, only for that very file as the load found it and only when it is a picture; whatever
// is not handed out is dropped.
[[nodiscard]] std::optional<FittedLoad> TakeLoadAheadOfStart(const QString &path, const ScreenForFit &screen,
                                                             FileStamp *stamp = nullptr);
// That load while it is still under way (or still choosing its file), for the viewer to show its
// windows meanwhile.
[[nodiscard]] std::optional<QFuture<FittedLoad>> PendingLoadAheadOfStart(const QString &path,
                                                                         const ScreenForFit &screen);
// Drops a load ahead of start that nothing took, once it has finished (a program run ends).
void ForgetLoadAheadOfStart();
