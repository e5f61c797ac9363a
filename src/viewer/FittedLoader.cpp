#include "viewer/FittedLoader.h"

#include "common/ScreenMetrics.h"
#include "common/SharedState.h"

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

namespace {
constexpr int kKept = 4;
}

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

bool FittedPrefetch::sameScreen(const ScreenForFit &a, const ScreenForFit &b)
{
    return a.widthPx == b.widthPx && a.heightPx == b.heightPx && a.twipsPerPixelX == b.twipsPerPixelX &&
           a.twipsPerPixelY == b.twipsPerPixelY && a.slideShow == b.slideShow;
}

void FittedPrefetch::prefetch(const QString &path, const ScreenForFit &screen)
{
    for (const Entry &e : std::as_const(m_entries)) {
        if (e.path == path && sameScreen(e.screen, screen)) {
            return;
        }
    }
    const QFileInfo file(path);
    if (!file.isFile()) {
        return;
    }
    Entry entry;
    entry.path = path;
    entry.screen = screen;
    entry.size = file.size();
    entry.modified = file.lastModified();
    entry.future = QtConcurrent::run(LoadFitted, path, screen);
    m_entries.append(entry);
    while (m_entries.size() > kKept) {
        m_entries.removeFirst(); // a running load finishes on its own; its result is dropped
    }
}

std::optional<FittedLoad> FittedPrefetch::take(const QString &path, const ScreenForFit &screen)
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        Entry entry = m_entries.at(i);
        if (entry.path != path || !sameScreen(entry.screen, screen)) {
            continue;
        }
        m_entries.removeAt(i);
        FittedLoad load = entry.future.result();
        const QFileInfo now(path);
        // Never a wrong picture: the file must be the one that was loaded.
        if (!now.isFile() || now.size() != entry.size || now.lastModified() != entry.modified) {
            return std::nullopt;
        }
        return load;
    }
    return std::nullopt;
}

void FittedPrefetch::clear()
{
    m_entries.clear();
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
// Holds at most the one picture of a start, from the entry procedure to the viewer's load.
FittedPrefetch &AheadOfStart()
{
    static FittedPrefetch ahead;
    return ahead;
}
} // namespace

void LoadAheadOfStart(const QString &path, const ScreenForFit &screen)
{
    AheadOfStart().clear();
    AheadOfStart().prefetch(path, screen);
}

std::optional<FittedLoad> TakeLoadAheadOfStart(const QString &path, const ScreenForFit &screen)
{
    auto load = AheadOfStart().take(path, screen);
    // Whatever was not taken is not kept: the first picture shown settles it.
    AheadOfStart().clear();
    return load;
}
