// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/WindowOps.h"

#include "app/Forms.h"
#include "files/FileListOps.h"
#include "panel/frmSide.h"
#include "viewer/PictureViewOps.h"
#include "viewer/frmPictureViewer.h"

namespace {

frmSide *panel()
{
    return static_cast<frmSide *>(Forms::Loaded(Forms::Form::Side));
}

frmPictureViewer *viewer()
{
    return static_cast<frmPictureViewer *>(Forms::Loaded(Forms::Form::PictureViewer));
}

// What a window asks of another goes to it while it is loaded, and nowhere once it is gone (during
// Quit's unload).
template<typename Act> void onPanel(Act act)
{
    if (frmSide *p = panel()) {
        act(*p);
    }
}

template<typename Act> void onViewer(Act act)
{
    if (frmPictureViewer *v = viewer()) {
        act(*v);
    }
}

class PanelOps final : public FileListOps
{
public:
    bool listPresent() const override { return panel() != nullptr; }
    ListSnapshot listSnapshot() const override { return panel() != nullptr ? panel()->listSnapshot() : ListSnapshot(); }
    QString currentFolder() const override { return panel() != nullptr ? panel()->currentFolder() : QString(); }
    QString focusedName() const override { return panel() != nullptr ? panel()->focusedName() : QString(); }
    int focusedIndex() const override { return panel() != nullptr ? panel()->focusedIndex() : -1; }
    int listCount() const override { return panel() != nullptr ? panel()->listCount() : 0; }
    void CountSelected() override
    {
        onPanel([&](frmSide &p) { p.CountSelected(); });
    }
    void refreshList() override
    {
        onPanel([&](frmSide &p) { p.refreshList(); });
    }
    void selectEntry(int index) override
    {
        onPanel([&](frmSide &p) { p.selectEntry(index); });
    }
    void openEntryNamed(const QString &name) override
    {
        onPanel([&](frmSide &p) { p.openEntryNamed(name); });
    }
    void selectNamesQuietly(const QStringList &names) override
    {
        onPanel([&](frmSide &p) { p.selectNamesQuietly(names); });
    }
    void showAfterRemoval(const CommandTargets &targets, const QList<bool> &gone) override
    {
        onPanel([&](frmSide &p) { p.showAfterRemoval(targets, gone); });
    }
    void showRestored(const QStringList &paths) override
    {
        onPanel([&](frmSide &p) { p.showRestored(paths); });
    }
    void focusList() override
    {
        onPanel([&](frmSide &p) { p.focusList(); });
    }
    QString currentFolderName() const override { return panel() != nullptr ? panel()->currentFolderName() : QString(); }
    void insertFolderName(int index, const QString &name) override
    {
        onPanel([&](frmSide &p) { p.insertFolderName(index, name); });
    }
    void removeFolderName(int index) override
    {
        onPanel([&](frmSide &p) { p.removeFolderName(index); });
    }
    void selectFolder(int index) override
    {
        onPanel([&](frmSide &p) { p.selectFolder(index); });
    }
    void showNoFolder() override
    {
        onPanel([&](frmSide &p) { p.showNoFolder(); });
    }
};

class ViewerOps final : public PictureViewOps
{
public:
    bool viewPresent() const override { return viewer() != nullptr; }
    QWidget *viewWindow() const override { return viewer(); }
    bool showCurrentPicture(QSize *naturalSize) override
    {
        return viewer() != nullptr && viewer()->showCurrentPicture(naturalSize);
    }
    bool waitForStartPicture(std::function<void()> then) override
    {
        return viewer() != nullptr && viewer()->waitForStartPicture(std::move(then));
    }
    void prefetch(const QStringList &paths) override
    {
        onViewer([&](frmPictureViewer &v) { v.prefetch(paths); });
    }
    void showUnreadable(const QString &displayName) override
    {
        onViewer([&](frmPictureViewer &v) { v.showUnreadable(displayName); });
    }
    void hideError() override
    {
        onViewer([&](frmPictureViewer &v) { v.hideError(); });
    }
    void hidePicture() override
    {
        onViewer([&](frmPictureViewer &v) { v.hidePicture(); });
    }
    QString pictureFile() const override { return viewer() != nullptr ? viewer()->pictureFile() : QString(); }
    void setGradientBackground(std::int32_t colour1, std::int32_t colour2, int angle) override
    {
        onViewer([&](frmPictureViewer &v) { v.setGradientBackground(colour1, colour2, angle); });
    }
    void setPlainBackground(std::int32_t colour) override
    {
        onViewer([&](frmPictureViewer &v) { v.setPlainBackground(colour); });
    }
    void setBorderColour(const QColor &colour) override
    {
        onViewer([&](frmPictureViewer &v) { v.setBorderColour(colour); });
    }
    void setTopmost(bool topmost) override
    {
        onViewer([&](frmPictureViewer &v) { v.setTopmost(topmost); });
    }
    void startDriftingLogo() override
    {
        onViewer([&](frmPictureViewer &v) { v.startDriftingLogo(); });
    }
    void minimise() override
    {
        onViewer([&](frmPictureViewer &v) { v.showMinimized(); });
    }
    void takeKeyboard() override
    {
        onViewer([&](frmPictureViewer &v) { v.activateWindow(); });
    }
    void setInputEnabled(bool enabled) override
    {
        onViewer([&](frmPictureViewer &v) { v.setEnabled(enabled); });
    }
    void toggleInformation(const QString &file) override
    {
        onViewer([&](frmPictureViewer &v) { v.toggleInformation(file); });
    }
    void showThumbnailPage(const PagePlan &plan, std::function<void()> done) override
    {
        if (frmPictureViewer *v = viewer()) {
            v->showThumbnailPage(plan, std::move(done));
        }
    }
    void storeThumbnails() override
    {
        onViewer([&](frmPictureViewer &v) { v.storeThumbnails(); });
    }
    void leaveThumbnailPage() override
    {
        onViewer([&](frmPictureViewer &v) { v.leaveThumbnailPage(); });
    }
    bool thumbnailPageShown() const override { return viewer() != nullptr && viewer()->thumbnailPageShown(); }
    PageSnapshot pageSnapshot() const override
    {
        return viewer() != nullptr ? viewer()->pageSnapshot() : PageSnapshot();
    }
    void markThumbnails(const QList<int> &indexes, const QList<bool> &gone, const QString &text) override
    {
        onViewer([&](frmPictureViewer &v) { v.markThumbnails(indexes, gone, text); });
    }
    void renameThumbnail(int index, const QString &name) override
    {
        onViewer([&](frmPictureViewer &v) { v.renameThumbnail(index, name); });
    }
    void ThumbBordersClose() override
    {
        onViewer([&](frmPictureViewer &v) { v.ThumbBordersClose(); });
    }
};

} // namespace

FileListOps &PanelListOps()
{
    static PanelOps ops;
    return ops;
}

PictureViewOps &ViewerViewOps()
{
    static ViewerOps ops;
    return ops;
}
