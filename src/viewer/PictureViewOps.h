// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "files/CommandTargets.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

class QColor;
class QSize;
class QWidget;
struct PagePlan;

// What the panel and the file commands ask of the picture view. When the viewer is not there (its
// program is ending) the questions have empty answers and the orders do nothing.
class PictureViewOps
{
public:
    [[nodiscard]] virtual bool viewPresent() const = 0;
    // The viewer's window, for what needs a window (holding input, the screen saver's cover).
    [[nodiscard]] virtual QWidget *viewWindow() const = 0;

    // The fitted view of CurrentFile (see frmPictureViewer for these).
    virtual bool showCurrentPicture(QSize *naturalSize) = 0;
    virtual bool waitForStartPicture(std::function<void()> then) = 0;
    virtual void prefetch(const QStringList &paths) = 0;
    virtual void showUnreadable(const QString &displayName) = 0;
    virtual void hideError() = 0;
    virtual void hidePicture() = 0;
    [[nodiscard]] virtual QString pictureFile() const = 0;

    virtual void setGradientBackground(std::int32_t colour1, std::int32_t colour2, int angle) = 0;
    virtual void setPlainBackground(std::int32_t colour) = 0;
    virtual void setBorderColour(const QColor &colour) = 0;
    virtual void setTopmost(bool topmost) = 0;
    virtual void startDriftingLogo() = 0;
    virtual void minimise() = 0;
    virtual void takeKeyboard() = 0;
    virtual void setInputEnabled(bool enabled) = 0;
    virtual void toggleInformation(const QString &file) = 0;

    // The thumbnail page.
    virtual void showThumbnailPage(const PagePlan &plan, std::function<void()> done) = 0;
    virtual void storeThumbnails() = 0;
    virtual void leaveThumbnailPage() = 0;
    [[nodiscard]] virtual bool thumbnailPageShown() const = 0;
    [[nodiscard]] virtual PageSnapshot pageSnapshot() const = 0;
    virtual void markThumbnails(const QList<int> &indexes, const QList<bool> &gone, const QString &text) = 0;
    virtual void renameThumbnail(int index, const QString &name) = 0;
    virtual void ThumbBordersClose() = 0;

protected:
    PictureViewOps() = default;
    ~PictureViewOps() = default;
    PictureViewOps(const PictureViewOps &) = default;
    PictureViewOps &operator=(const PictureViewOps &) = default;
};
