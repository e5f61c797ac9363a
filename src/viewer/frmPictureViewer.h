// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "files/CommandTargets.h"
#include "show/SlideShow.h"
#include "viewer/FittedLoader.h"
#include "viewer/ThumbnailPage.h"
#include "viewer/ThumbnailSource.h"
#include "viewer/ViewerRules.h"

#include <QImage>
#include <QPointF>
#include <QPointer>
#include <QSize>

#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>

#include <memory>
#include <vector>

class AnimationPlayer;
class ARButton;
class PictureImage;
class QLabel;
class QTimer;
class QScrollBar;

// The main window: borderless, covering the whole screen, behind the browser panel. It shows the
// current picture fitted right of the panel, or at full size with scroll bars after a click on a
// reduced picture. Its load reads the stored settings into the shared state and shows the panel;
// its unload saves the current folder and the six folder-button captions.
class frmPictureViewer : public QWidget
{
    Q_OBJECT
public:
    explicit frmPictureViewer(QWidget *parent = nullptr);
    ~frmPictureViewer() override;

    void Form_Load();
    void Form_Unload();

    // Shown maximised, raised and active (a second start of the program asks for this). The panel
    // comes back only with a viewer that comes back from the taskbar: never over a slide show.
    void showActivated();
    // Makes the viewer visible, then the panel above it with the keyboard in its file list.
    void showWithPanel();

    // The fitted view of CurrentFile. False when it cannot be loaded; the caller decides what
    // that means (not a picture, or gone).
    bool showCurrentPicture(QSize *naturalSize = nullptr);
    // The picture a start was given may still be decoding when it is selected: the windows show
    // and paint meanwhile, and `then` runs once it is ready (if it is still CurrentFile). False
    // when there is nothing to wait for.
    bool waitForStartPicture(std::function<void()> then);
    // Loads these in the background for the next showCurrentPicture, once the picture just shown
    // has been painted: decoders started at once would take the processor from that picture's way
    // to the screen (on two cores, from the painting and from the display server).
    void prefetch(const QStringList &paths);
    // The files decoded or being decoded ahead, and the one shown before (kept for a step back).
    [[nodiscard]] QStringList picturesAhead() const;
    // Drops every picture decoded or kept ahead, so the next selection decodes its file afresh.
    void clearPrefetch();
    // The notice that the file at CurrentFile is not a picture, named as the list shows it.
    void showUnreadable(const QString &displayName);
    void hideError();
    void hidePicture();
    // The file whose picture the fitted or full-size view shows; empty when neither shows one.
    [[nodiscard]] QString pictureFile() const;

    // The viewer's keys (the panel passes its keys here too). KeyCode is a virtual-key code,
    // Shift the modifier mask. What is not the viewer's own goes out as keyCommand.
    void Form_KeyDown(int KeyCode, int Shift);
    // The show whose timer waits while a screen-saver run asks for its password.
    void setSlideShow(SlideShow *show) { m_slideShow = show; }
    // What a close from the window manager does; true when the program ended.
    void setCloseHandler(std::function<bool()> handler) { m_closeHandler = std::move(handler); }

    // The background behind the pictures: a gradient painted once and kept, or one colour.
    void setGradientBackground(std::int32_t colour1, std::int32_t colour2, int angle);
    void setPlainBackground(std::int32_t colour);
    [[nodiscard]] const QImage &background() const { return m_background; }
    // Above every other window while a show runs; the window stays the same X window throughout.
    void setTopmost(bool topmost);
    [[nodiscard]] bool isTopmost() const { return m_topmost; }
    // The screen saver's display when it has no pictures to show, and its end.
    void startDriftingLogo();
    void EndScreenSaver();

    void Form_MouseDown(int Button, int Shift, float X, float Y);
    void Form_MouseMove(int Button, int Shift, float X, float Y);
    void Image1_MouseMove(int Button, int Shift, float X, float Y);
    void Image1_Click();
    void Image1_MouseDown(int Button, int Shift, float X, float Y);
    void Picture1_Click();
    void Picture1_MouseDown(int Button, int Shift, float X, float Y);
    void Picture1_MouseMove(int Button, int Shift, float X, float Y);
    void HScroll1_Change();
    void VScroll1_Change();

    [[nodiscard]] const MagnifiedPicture &magnified() const { return m_magnified; }

    // One zoom step in (direction > 0) or out of the full-size view, keeping the picture point
    // under `anchor` (viewer pixels) where it is, or the middle of the free area.
    void zoomBy(int direction, std::optional<QPointF> anchor = std::nullopt);
    // The full-size view's scale: 1 is the natural size.
    [[nodiscard]] double zoom() const { return m_zoom; }
    // The picture information of `file` in a small window at the bottom-right corner of the
    // screen, clear of the panel; hidden again when it shows already or there is no file. It
    // follows the picture shown until it is closed (Ctrl+I again, or a click on it).
    void toggleInformation(const QString &file);

    // The thumbnail page. Element 0 always exists; a page loads the others.
    void Thumb1_MouseDown(int Index, int Button, int Shift, float X, float Y);
    void Thumb1_MouseMove(int Index, int Button, int Shift, float X, float Y);
    void Thumb1_MouseUp(int Index, int Button, int Shift, float X, float Y);
    void Thumb1_DblClick(int Index);
    void ThumbBordersClose();
    // Replaces whatever is shown by a page of thumbnails of `plan`, placed as they are decoded;
    // `done` runs once the page is complete.
    void showThumbnailPage(const PagePlan &plan, std::function<void()> done);
    // The page's thumbnails go to the shared cache (after a page is complete).
    void storeThumbnails();
    // Leaves a thumbnail page (a page of one thumbnail too) for the picture.
    void leaveThumbnailPage();
    [[nodiscard]] bool thumbnailPageShown() const;
    [[nodiscard]] int thumbnailCount() const;
    // What the page holds now, for the commands that act on its files.
    [[nodiscard]] PageSnapshot pageSnapshot() const;
    // After a command: thumbnails whose file went become placeholders tipped `text`; the others
    // stay, unselected.
    void markThumbnails(const QList<int> &indexes, const QList<bool> &gone, const QString &text);
    // A renamed file's thumbnail, selected again under its new name.
    void renameThumbnail(int index, const QString &name);
    // The colour of every selection border (the text colour).
    void setBorderColour(const QColor &colour);

signals:
    // The viewer calls no other window: what it asks of the panel and the file menu goes out here.
    // Its load has read the stored settings: the panel takes its part and shows above the viewer.
    void settingsRead();
    // A key that runs a command of another window.
    void keyCommand(ViewerKey key, int argument);
    // The file menu for the picture or the thumbnail just clicked (PopupSource says which).
    void pictureMenuRequested(QPoint globalPos);
    // A click on the full-size view, or on a picture shown at its natural size: back to the fitted
    // view of the list's picture.
    void fittedViewRequested();
    // A thumbnail was selected (`added`: to the earlier selection); its bitmap is `size`.
    void thumbnailClicked(const QString &name, QSize size, bool added);
    // A thumbnail double-clicked: its entry opens.
    void thumbnailActivated(const QString &name);
    // The pointer moved over the viewer: the panel's pop-ups go.
    void pointerMoved();
    // The keyboard back to the file list, so the arrow keys keep moving through it.
    void listFocusWanted();
    // The panel goes off screen (the drifting logo), or comes above the viewer with the keyboard.
    void panelLeaves();
    void panelWanted();
    // The viewer was minimised, or came back from it.
    void minimised();
    void restored();

protected:
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    PictureImage *Image1;
    PictureImage *Picture1;
    QScrollBar *HScroll1;
    QScrollBar *VScroll1;
    ARButton *cmdScrollButt;
    QLabel *lblError;

    [[nodiscard]] ScreenForFit screenForFit() const;
    void hideFullSize();
    void stopAnimation();
    void startAnimation(QSize shownSize);
    void openFileMenuForPicture();
    // The full-size picture, its scroll bars and their corner as m_magnified says.
    void applyMagnified();
    void showInformation(const QString &file);

    void startPendingPrefetch();

    FittedPrefetch m_prefetch;
    // The picture on show, as it was loaded: kept for a step back once another replaces it.
    struct Shown
    {
        QString path;
        ScreenForFit screen;
        FittedLoad load;
        FileStamp stamp;
    };
    std::optional<Shown> m_shown;
    std::optional<QStringList> m_pendingPrefetch; // an empty list lets go of all held ahead
    QTimer *m_prefetchFallback;                   // a window that is not painted (covered, minimised) still prefetches
    ThumbnailSource m_thumbnails;
    ThumbnailPage *m_page;
    // A plain press on a thumbnail already selected among several: the selection stays for a drag
    // of them all, and becomes that one thumbnail only if the button comes up without a drag.
    int m_pressedSelected = -1;
    void selectThumb(int Index, int Button, int Shift);
    std::unique_ptr<AnimationPlayer> m_animation;
    QSize m_natural;
    QString m_pictureFile;
    QSize m_fitted;
    MagnifiedPicture m_magnified;
    double m_zoom = 1;
    QLabel *m_info;
    Picture m_fullPicture;
    QImage m_background;
    struct GradientSpec
    {
        std::int32_t colour1 = 0;
        std::int32_t colour2 = 0;
        int angle = 0;
    };
    std::optional<GradientSpec> m_gradient;
    bool m_topmost = false;
    // A move seen while a screen-saver run records the pointer first, then ends the run.
    bool screenSaverMoveEnds(float X, float Y);
    bool m_askingPassword = false;
    QPointer<SlideShow> m_slideShow;
    std::function<bool()> m_closeHandler;
};
