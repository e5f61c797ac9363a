// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "viewer/ThumbnailRules.h"
#include "viewer/ThumbnailSource.h"

#include <QFutureWatcher>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QStringList>

#include <functional>
#include <vector>

class PictureImage;
class QWidget;

// The thumbnail controls of the viewer (`Thumb1`) and their selection borders (`linTop`,
// `linRight`, `linBottom`, `linLeft`), created on the viewer and placed there. A page is built
// from decode results as they arrive: each thumbnail is placed as soon as it and every one before
// it is ready, while the event loop goes on.
class ThumbnailPage : public QObject
{
    Q_OBJECT
public:
    explicit ThumbnailPage(QWidget *surface);
    ~ThumbnailPage() override;

    // Element `index`, created (enabled, untagged, hidden) if it does not exist yet.
    PictureImage *loadThumb(int index);
    [[nodiscard]] PictureImage *thumb(int index) const;
    [[nodiscard]] int count() const { return static_cast<int>(m_thumbs.size()); }
    // Element 0 hidden, the others released.
    void unloadThumbs();
    // A thumbnail turned into the disabled 36 x 36 placeholder of a file that is not there.
    void makePlaceholder(int index);
    // The placeholder, centred where the thumbnail was, with `text` as its tip.
    void markGone(int index, const QString &text);
    void setBitmapSize(int index, QSize size);
    [[nodiscard]] QSize bitmapSize(int index) const;

    // Border sets: 0 always exists; the others are loaded as the selection grows.
    void loadBorderSet(int index);
    void placeBorderSet(int index, const QRect &around);
    // Every border set but 0 released, set 0 hidden.
    void closeBorders();
    void setBorderColour(const QColor &colour);
    [[nodiscard]] int borderSetCount() const { return static_cast<int>(m_top.size()); }
    [[nodiscard]] QWidget *borderLine(int set, int side) const;

    // Builds the page of `plan` from `loads` (results in page order); `done` runs once every
    // thumbnail is placed. A page under way is abandoned by the next build or by unloadThumbs:
    // `done` is then dropped without running, so whatever it holds is let go.
    void build(const PagePlan &plan, const QFuture<Thumbnail> &loads, std::function<void()> done);
    [[nodiscard]] bool building() const { return m_building; }
    // Drops a page under way: its decodes are cancelled (none is waited for) and `done` let go.
    void abandon();

signals:
    void thumbMouseDown(int index, int Button, int Shift, float X, float Y);
    void thumbMouseMove(int index, int Button, int Shift, float X, float Y);
    void thumbMouseUp(int index, int Button, int Shift, float X, float Y);
    void thumbDblClick(int index);

private:
    void placeReady();
    void placeOne(int i, const Thumbnail &result);
    void finish();

    QWidget *m_surface;
    std::vector<PictureImage *> m_thumbs;
    std::vector<QSize> m_bitmap;
    std::vector<QWidget *> m_top;
    std::vector<QWidget *> m_right;
    std::vector<QWidget *> m_bottom;
    std::vector<QWidget *> m_left;

    PagePlan m_plan;
    QFutureWatcher<Thumbnail> m_watcher;
    int m_placed = 0;
    bool m_building = false;
    std::function<void()> m_done;
};
