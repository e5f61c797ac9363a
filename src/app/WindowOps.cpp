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
        if (frmSide *p = panel()) {
            p->CountSelected();
        }
    }
    void refreshList() override
    {
        if (frmSide *p = panel()) {
            p->refreshList();
        }
    }
    void selectEntry(int index) override
    {
        if (frmSide *p = panel()) {
            p->selectEntry(index);
        }
    }
    void openEntryNamed(const QString &name) override
    {
        if (frmSide *p = panel()) {
            p->openEntryNamed(name);
        }
    }
    void selectNamesQuietly(const QStringList &names) override
    {
        if (frmSide *p = panel()) {
            p->selectNamesQuietly(names);
        }
    }
    void showAfterRemoval(const CommandTargets &targets, const QList<bool> &gone) override
    {
        if (frmSide *p = panel()) {
            p->showAfterRemoval(targets, gone);
        }
    }
    void showRestored(const QStringList &paths) override
    {
        if (frmSide *p = panel()) {
            p->showRestored(paths);
        }
    }
    void focusList() override
    {
        if (frmSide *p = panel()) {
            p->focusList();
        }
    }
    QString currentFolderName() const override { return panel() != nullptr ? panel()->currentFolderName() : QString(); }
    void insertFolderName(int index, const QString &name) override
    {
        if (frmSide *p = panel()) {
            p->insertFolderName(index, name);
        }
    }
    void removeFolderName(int index) override
    {
        if (frmSide *p = panel()) {
            p->removeFolderName(index);
        }
    }
    void selectFolder(int index) override
    {
        if (frmSide *p = panel()) {
            p->selectFolder(index);
        }
    }
    void showNoFolder() override
    {
        if (frmSide *p = panel()) {
            p->showNoFolder();
        }
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
        if (frmPictureViewer *v = viewer()) {
            v->prefetch(paths);
        }
    }
    void showUnreadable(const QString &displayName) override
    {
        if (frmPictureViewer *v = viewer()) {
            v->showUnreadable(displayName);
        }
    }
    void hideError() override
    {
        if (frmPictureViewer *v = viewer()) {
            v->hideError();
        }
    }
    void hidePicture() override
    {
        if (frmPictureViewer *v = viewer()) {
            v->hidePicture();
        }
    }
    QString pictureFile() const override { return viewer() != nullptr ? viewer()->pictureFile() : QString(); }
    void setGradientBackground(std::int32_t colour1, std::int32_t colour2, int angle) override
    {
        if (frmPictureViewer *v = viewer()) {
            v->setGradientBackground(colour1, colour2, angle);
        }
    }
    void setPlainBackground(std::int32_t colour) override
    {
        if (frmPictureViewer *v = viewer()) {
            v->setPlainBackground(colour);
        }
    }
    void setBorderColour(const QColor &colour) override
    {
        if (frmPictureViewer *v = viewer()) {
            v->setBorderColour(colour);
        }
    }
    void setTopmost(bool topmost) override
    {
        if (frmPictureViewer *v = viewer()) {
            v->setTopmost(topmost);
        }
    }
    void startDriftingLogo() override
    {
        if (frmPictureViewer *v = viewer()) {
            v->startDriftingLogo();
        }
    }
    void minimise() override
    {
        if (frmPictureViewer *v = viewer()) {
            v->showMinimized();
        }
    }
    void takeKeyboard() override
    {
        if (frmPictureViewer *v = viewer()) {
            v->activateWindow();
        }
    }
    void setInputEnabled(bool enabled) override
    {
        if (frmPictureViewer *v = viewer()) {
            v->setEnabled(enabled);
        }
    }
    void toggleInformation(const QString &file) override
    {
        if (frmPictureViewer *v = viewer()) {
            v->toggleInformation(file);
        }
    }
    void showThumbnailPage(const PagePlan &plan, std::function<void()> done) override
    {
        if (frmPictureViewer *v = viewer()) {
            v->showThumbnailPage(plan, std::move(done));
        }
    }
    void storeThumbnails() override
    {
        if (frmPictureViewer *v = viewer()) {
            v->storeThumbnails();
        }
    }
    void leaveThumbnailPage() override
    {
        if (frmPictureViewer *v = viewer()) {
            v->leaveThumbnailPage();
        }
    }
    bool thumbnailPageShown() const override { return viewer() != nullptr && viewer()->thumbnailPageShown(); }
    PageSnapshot pageSnapshot() const override
    {
        return viewer() != nullptr ? viewer()->pageSnapshot() : PageSnapshot();
    }
    void markThumbnails(const QList<int> &indexes, const QList<bool> &gone, const QString &text) override
    {
        if (frmPictureViewer *v = viewer()) {
            v->markThumbnails(indexes, gone, text);
        }
    }
    void renameThumbnail(int index, const QString &name) override
    {
        if (frmPictureViewer *v = viewer()) {
            v->renameThumbnail(index, name);
        }
    }
    void ThumbBordersClose() override
    {
        if (frmPictureViewer *v = viewer()) {
            v->ThumbBordersClose();
        }
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
