// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/frmPictureViewer.h"

#include "common/FileNames.h"
#include "common/FolderNames.h"
#include "common/KeyCodes.h"
#include "common/ScreenMetrics.h"
#include "common/SettingsLoad.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/StoredValues.h"
#include "common/Utilities.h"
#include "common/picture/Picture.h"
#include "common/picture/PictureDetails.h"
#include "common/platform/AppPaths.h"
#include "common/platform/SaverWindow.h"
#include "common/platform/WindowStacking.h"
#include "controls/ARButton.h"
#include "controls/PasswordDialogs.h"
#include "controls/PictureImage.h"
#include "files/FileDrag.h"
#include "files/FileMenuRules.h"
#include "show/Grad.h"
#include "show/ScreenSaverRun.h"
#include "show/SlideShow.h"
#include "viewer/AnimationPlayer.h"
#include "viewer/ThumbnailRules.h"
#include "viewer/ZoomRules.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QEvent>
#include <QFutureWatcher>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {
// Pixels one notch of the mouse wheel pans the full-size picture.
constexpr int kWheelStep = 60;
} // namespace

frmPictureViewer::frmPictureViewer(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , Image1(new PictureImage(this))
    , Picture1(new PictureImage(this))
    , HScroll1(new QScrollBar(Qt::Horizontal, this))
    , VScroll1(new QScrollBar(Qt::Vertical, this))
    , cmdScrollButt(new ARButton(this))
    , lblError(new QLabel(this))
    , m_page(new ThumbnailPage(this))
    , m_info(new QLabel(this, Qt::ToolTip))
{
    setObjectName(QStringLiteral("frmPictureViewer"));
    setWindowTitle(AppName);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ColourFromValue(0xC0C0C0));
    setPalette(pal);
    setAutoFillBackground(true);
    // Design size 12000 x 9000 twips until the load fits it to the screen.
    resize(800, 600);
    Image1->hide();
    Picture1->hide();
    m_info->setObjectName(QStringLiteral("lblInformation"));
    m_info->setContentsMargins(8, 6, 8, 6);
    m_info->setTextFormat(Qt::PlainText);
    m_info->hide();
    m_info->installEventFilter(this);
    for (QScrollBar *bar : {HScroll1, VScroll1}) {
        bar->hide();
        bar->setSingleStep(2);
        // The picture moves when the box is let go, not while it is dragged.
        bar->setTracking(false);
    }
    HScroll1->setFixedHeight(17);
    VScroll1->setFixedWidth(17);
    cmdScrollButt->resize(17, 17);
    cmdScrollButt->hide();
    QFont errorFont(QStringLiteral("Times New Roman"));
    errorFont.setPointSize(18);
    errorFont.setBold(true);
    lblError->setFont(errorFont);
    lblError->setWordWrap(true);
    lblError->setAlignment(Qt::AlignCenter);
    lblError->setAutoFillBackground(true);
    lblError->setGeometry(0, 200, 315, 52);
    lblError->setText(QStringLiteral("This file is not in a recognised picture format. (100 Bytes)"));
    lblError->hide();
    Picture1->installEventFilter(this);
    setMouseTracking(true);

    Image1->setObjectName(QStringLiteral("Image1"));
    Picture1->setObjectName(QStringLiteral("Picture1"));
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    cmdScrollButt->setObjectName(QStringLiteral("cmdScrollButt"));
    lblError->setObjectName(QStringLiteral("lblError"));

    // Thumbnail 0 and border set 0 exist from the start, hidden.
    m_page->loadThumb(0)->setGeometry(8, 8, 120, 120);
    m_page->loadBorderSet(0);
    connect(m_page, &ThumbnailPage::thumbMouseDown, this, &frmPictureViewer::Thumb1_MouseDown);
    connect(m_page, &ThumbnailPage::thumbMouseMove, this, &frmPictureViewer::Thumb1_MouseMove);
    connect(m_page, &ThumbnailPage::thumbMouseUp, this, &frmPictureViewer::Thumb1_MouseUp);
    connect(m_page, &ThumbnailPage::thumbDblClick, this, &frmPictureViewer::Thumb1_DblClick);

    m_prefetchFallback = new QTimer(this);
    m_prefetchFallback->setSingleShot(true);
    m_prefetchFallback->setInterval(100);
    connect(m_prefetchFallback, &QTimer::timeout, this, &frmPictureViewer::startPendingPrefetch);
    // Once painted, the picture is on its way to the screen (the backing store is flushed after
    // the paint): the neighbours start on the next turn of the event loop.
    connect(Image1, &PictureImage::painted, this, [this] {
        if (m_pendingPrefetch) {
            QTimer::singleShot(0, this, &frmPictureViewer::startPendingPrefetch);
        }
    });
    connect(Image1, &PictureImage::Click, this, &frmPictureViewer::Image1_Click);
    connect(Image1, &PictureImage::MouseDown, this, &frmPictureViewer::Image1_MouseDown);
    connect(Image1, &PictureImage::MouseMove, this, &frmPictureViewer::Image1_MouseMove);
    connect(Picture1, &PictureImage::Click, this, &frmPictureViewer::Picture1_Click);
    connect(Picture1, &PictureImage::MouseDown, this, &frmPictureViewer::Picture1_MouseDown);
    connect(Picture1, &PictureImage::MouseMove, this, &frmPictureViewer::Picture1_MouseMove);
    connect(HScroll1, &QScrollBar::valueChanged, this, &frmPictureViewer::HScroll1_Change);
    connect(VScroll1, &QScrollBar::valueChanged, this, &frmPictureViewer::VScroll1_Change);
}

frmPictureViewer::~frmPictureViewer() = default;

void frmPictureViewer::Form_Load()
{
    SharedState &s = State();
    setGeometry(0, 0, static_cast<int>(s.ScreenWidthPx), static_cast<int>(s.ScreenHeightPx));

    ReadStoredSettings(s, StoreReader());

    // Colours first, so the folder that the panel opens shows in them.
    ApplyColourDefaults(s);
    emit settingsRead();

    s.ThumbsLoaded = false;
    s.ThumbControlCount = 1;
    s.LastBorderSet = -1;
    m_page->setBorderColour(ColourOf(s.FontColor, DefaultFontColor));
}

void frmPictureViewer::Form_Unload()
{
    const SharedState &s = State();
    const QString settings = QStringLiteral("Settings");
    // One write of the store for the seven values (none when they are stored already).
    QList<SettingChange> changes{{settings, QStringLiteral("Basename"), s.Basename}};
    for (int i = 0; i < 6; ++i) {
        changes.append({settings, QStringLiteral("Caption%1").arg(i + 1), s.Caption(i)});
    }
    SaveSettings(AppName, changes);
    stopAnimation();
    m_prefetch.clear();
    m_page->abandon();
    if (s.ThumbsLoaded && s.ThumbControlCount > 1) {
        m_page->unloadThumbs();
    }
    // The thumbnails of the last page still go to the shared cache, whole, before the end.
    m_thumbnails.writePending();
    m_thumbnails.waitForWrites();
}

ScreenForFit frmPictureViewer::screenForFit() const
{
    return CurrentScreenForFit();
}

void frmPictureViewer::stopAnimation()
{
    m_animation.reset();
}

void frmPictureViewer::startAnimation(QSize shownSize)
{
    // Opened by its own bytes, a regular file only; the player reads it on its own thread.
    const int fd = OpenRegularFile(State().CurrentFile);
    if (fd < 0) {
        return;
    }
    m_animation = std::make_unique<AnimationPlayer>(fd, shownSize, this);
    connect(m_animation.get(), &AnimationPlayer::frameReady, Image1,
            [this](const QImage &frame) { Image1->setPicture(frame); });
}

void frmPictureViewer::hideFullSize()
{
    Picture1->hide();
    HScroll1->hide();
    VScroll1->hide();
    cmdScrollButt->hide();
    // Let go of the full-size picture first, so its buffer is unshared and can be reused.
    Picture1->setPicture(QImage());
    if (m_animation == nullptr && !m_fullPicture.isNull()) {
        RecyclePicture(std::move(m_fullPicture));
    }
    m_fullPicture = Picture();
}

bool frmPictureViewer::showCurrentPicture(QSize *naturalSize)
{
    SharedState &s = State();
    const ScreenForFit screen = screenForFit();
    std::optional<FileStamp> stamp = FileStamp();
    auto load = m_prefetch.take(s.CurrentFile, screen, &*stamp);
    if (!load) {
        load = TakeLoadAheadOfStart(s.CurrentFile, screen, &*stamp);
    }
    if (!load) {
        // The picture the user waits for has the machine to itself (a HEIC's decoder takes both
        // cores): the pictures ahead are asked for once it is painted.
        stamp = StampOf(s.CurrentFile); // before the load: a file changed meanwhile is never kept
        load = LoadFitted(s.CurrentFile, screen);
    }
    if (!load->info || !load->picture) {
        return false;
    }
    if (m_shown) {
        m_prefetch.keep(m_shown->path, m_shown->screen, m_shown->load, m_shown->stamp);
        m_shown.reset();
    }
    if (stamp) {
        m_shown = Shown{s.CurrentFile, screen, *load, *stamp};
    }
    stopAnimation();
    hideFullSize();
    Image1->hide();
    const FittedPicture &fit = load->fit;
    Image1->setPicture(load->picture->image);
    const QSize canvas = load->info->pixelSize;
    if ((load->info->kind == PictureKind::Gif || load->info->kind == PictureKind::WebP ||
         load->info->kind == PictureKind::Png) &&
        load->info->frameCount > 1 && qint64(canvas.width()) * canvas.height() <= PictureLimits::maxAnimatedPixels) {
        // An animated GIF, WebP or PNG plays, its frames decoded off this thread at the size they are shown.
        startAnimation(fit.rect.size());
    }
    Image1->setGeometry(fit.rect);
    Image1->setCursor(LoadResCursor(fit.cursor));
    Picture1->setCursor(LoadResCursor(QStringLiteral("NORMAL")));
    s.ShownFullSize = fit.shownFullSize;
    m_natural = load->info->pixelSize;
    m_pictureFile = s.CurrentFile;
    m_fitted = fit.rect.size();
    lblError->hide();
    Image1->show();
    // Painted and sent to the screen now, ahead of the panel's own repaint (its list has just
    // moved): the picture is what the key asked for.
    Image1->repaint();
    if (m_info->isVisible()) {
        showInformation(m_pictureFile);
    }
    if (naturalSize != nullptr) {
        *naturalSize = load->info->pixelSize;
    }
    return true;
}

bool frmPictureViewer::waitForStartPicture(std::function<void()> then)
{
    const QString path = State().CurrentFile;
    const auto future = PendingLoadAheadOfStart(path, screenForFit());
    if (!future) {
        return false;
    }
    auto *watcher = new QFutureWatcher<FittedLoad>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [watcher, path, then = std::move(then)] {
        watcher->deleteLater();
        if (State().CurrentFile == path) {
            then();
        }
    });
    watcher->setFuture(*future);
    return true;
}

void frmPictureViewer::prefetch(const QStringList &paths)
{
    // While the start's picture decodes it takes a core, and the windows are still being made and
    // painted on the other: only the next picture starts, once they are (the fallback's moment).
    const bool startPictureDecoding = PendingLoadAheadOfStart(State().CurrentFile, screenForFit()).has_value();
    m_pendingPrefetch = startPictureDecoding ? paths.first(std::min<qsizetype>(paths.size(), 1)) : paths;
    if (Image1->isHidden() && !startPictureDecoding) { // nothing will be painted: a notice, a thumbnail page
        startPendingPrefetch();
        return;
    }
    m_prefetchFallback->start();
}

void frmPictureViewer::startPendingPrefetch()
{
    m_prefetchFallback->stop();
    // Asked once for each picture shown; the paints after the first find nothing to start.
    if (const auto paths = std::exchange(m_pendingPrefetch, std::nullopt)) {
        m_prefetch.prefetch(*paths, screenForFit());
    }
}

QStringList frmPictureViewer::picturesAhead() const
{
    return m_prefetch.held(screenForFit());
}

void frmPictureViewer::clearPrefetch()
{
    m_prefetchFallback->stop();
    m_pendingPrefetch.reset();
    m_prefetch.clear();
    m_shown.reset();
}

void frmPictureViewer::showUnreadable(const QString &displayName)
{
    const SharedState &s = State();
    stopAnimation();
    hideFullSize();
    Image1->hide();
    lblError->setText(UnreadableText(displayName, std::max<qint64>(0, FileSizeOf(s.CurrentFile))));
    lblError->move(UnreadableLeft(lblError->width(), s.ScreenWidthPx, s.SlideShowOn), lblError->y());
    // The caption wraps onto as many lines as it needs (the byte count comes last): the label grows
    // downwards, never below its designed 52 pixels or past the screen's bottom edge.
    const int needed = lblError->heightForWidth(lblError->width());
    const int room = std::max(52, static_cast<int>(s.ScreenHeightPx) - lblError->y());
    lblError->resize(lblError->width(), std::clamp(needed, 52, room));
    QPalette pal = lblError->palette();
    pal.setColor(QPalette::Window, ColourOf(s.SlideColor, DefaultSlideColor));
    pal.setColor(QPalette::WindowText, ColourOf(s.FontColor, DefaultFontColor));
    lblError->setPalette(pal);
    lblError->show();
    lblError->raise();
}

void frmPictureViewer::hideError()
{
    lblError->hide();
}

void frmPictureViewer::hidePicture()
{
    stopAnimation();
    hideFullSize();
    Image1->hide();
}

QString frmPictureViewer::pictureFile() const
{
    return Image1->isHidden() && Picture1->isHidden() ? QString() : m_pictureFile;
}

void frmPictureViewer::Image1_MouseDown(int Button, int, float X, float Y)
{
    SharedState &s = State();
    if (s.ScreenSaverMode == QLatin1String("On")) {
        EndScreenSaver();
        return;
    }
    if (Button == 2) {
        if (!s.SlideShowOn) {
            openFileMenuForPicture();
        }
        return;
    }
    s.PictureClickX = X;
    s.PictureClickY = Y;
}

void frmPictureViewer::Picture1_MouseDown(int Button, int, float X, float Y)
{
    SharedState &s = State();
    if (Button == 2) {
        openFileMenuForPicture();
        return;
    }
    s.PictureClickX = X;
    s.PictureClickY = Y;
}

void frmPictureViewer::Picture1_MouseMove(int Button, int Shift, float, float)
{
    if (Button == 1) {
        StartFileDrag(Picture1, Shift);
    }
}

void frmPictureViewer::openFileMenuForPicture()
{
    State().PopupSource = QStringLiteral("Image");
    emit pictureMenuRequested(QCursor::pos());
}

void frmPictureViewer::Image1_Click()
{
    SharedState &s = State();
    if (s.SlideShowOn) {
        return;
    }
    if (s.ShownFullSize) {
        emit fittedViewRequested();
        return;
    }
    // Magnify: the picture at its natural size, with the clicked point in the middle.
    const ScreenForFit screen = screenForFit();
    PictureRequest natural;
    natural.twipsPerPixelX = screen.twipsPerPixelX;
    natural.twipsPerPixelY = screen.twipsPerPixelY;
    auto full = LoadPicture(s.CurrentFile, natural);
    if (!full) {
        return; // too large to show in full, or gone: the fitted view stays
    }
    const QPointF click(s.PictureClickX / screen.twipsPerPixelX, s.PictureClickY / screen.twipsPerPixelY);
    m_magnified = MagnifyPicture(m_natural, m_fitted, click, s.ScreenWidthPx, s.ScreenHeightPx, VScroll1->width(),
                                 HScroll1->height());
    Image1->hide();
    m_fullPicture = std::move(*full);
    if (m_animation) {
        m_animation->setShownSize(m_natural);
        disconnect(m_animation.get(), &AnimationPlayer::frameReady, Image1, nullptr);
        connect(m_animation.get(), &AnimationPlayer::frameReady, Picture1,
                [this](const QImage &frame) { Picture1->setPicture(frame); });
    }
    Picture1->setPicture(m_fullPicture.image);
    m_zoom = 1;
    applyMagnified();
    // The arrow keys keep moving through the file list.
    emit listFocusWanted();
    s.ShownFullSize = true;
}

void frmPictureViewer::applyMagnified()
{
    const MagnifiedPicture &m = m_magnified;
    Picture1->setGeometry(m.picture);
    for (QScrollBar *bar : {VScroll1, HScroll1}) {
        bar->hide();
    }
    cmdScrollButt->hide();
    {
        const QSignalBlocker quietV(VScroll1);
        const QSignalBlocker quietH(HScroll1);
        if (m.vertical) {
            VScroll1->setGeometry(m.vScroll);
            VScroll1->setRange(0, m.vMax);
            VScroll1->setPageStep(m.vPage);
            VScroll1->setValue(m.vValue);
            VScroll1->show();
        }
        if (m.horizontal) {
            HScroll1->setGeometry(m.hScroll);
            HScroll1->setRange(0, m.hMax);
            HScroll1->setPageStep(m.hPage);
            HScroll1->setValue(m.hValue);
            HScroll1->show();
        }
    }
    if (m.corner) {
        cmdScrollButt->move(m.cornerRect.topLeft());
        cmdScrollButt->show();
        cmdScrollButt->raise();
    }
    Picture1->show();
    VScroll1->raise();
    HScroll1->raise();
}

void frmPictureViewer::zoomBy(int direction, std::optional<QPointF> anchor)
{
    SharedState &s = State();
    if (!s.ShownFullSize || !Picture1->isVisible() || m_natural.isEmpty() || s.SlideShowOn) {
        return;
    }
    const QRectF area(170, 0, s.ScreenWidthPx - 170, s.ScreenHeightPx);
    const double scale = NextZoomStep(m_zoom, direction, FittedScale(QSizeF(m_natural), area.size()));
    if (scale == m_zoom) {
        return;
    }
    const QSize scaled = (QSizeF(m_natural) * scale).toSize().expandedTo(QSize(1, 1));
    if (static_cast<qint64>(scaled.width()) * scaled.height() > PictureLimits::maxPixels * 4 && scale > m_zoom) {
        return; // the widget would be larger than anything it could lay out
    }
    // Below the natural size the picture is decoded at the size drawn, so it stays sharp (a JPEG
    // is decoded scaled by its decoder); above it, the natural pixels are drawn enlarged.
    if (scale < 1 || m_fullPicture.image.size() != m_natural) {
        PictureRequest request;
        request.drawSize = scale < 1 ? scaled : QSize();
        const ScreenForFit screen = screenForFit();
        request.twipsPerPixelX = screen.twipsPerPixelX;
        request.twipsPerPixelY = screen.twipsPerPixelY;
        auto picture = LoadPicture(State().CurrentFile, request);
        if (!picture) {
            return; // gone or changed: the view stays as it is
        }
        m_fullPicture = std::move(*picture);
        if (scale < 1 && m_fullPicture.image.size() != scaled) {
            // The decoder stops at the nearest eighth above: the rest is averaged, not sampled.
            m_fullPicture.image = m_fullPicture.image.scaled(scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        if (m_animation == nullptr) {
            Picture1->setPicture(m_fullPicture.image);
        }
    }
    const QPointF at = anchor.value_or(area.center());
    const QPointF topLeft = ZoomedTopLeft(QPointF(Picture1->pos()), m_zoom, scale, at);
    m_zoom = scale;
    // The scroll bars of a picture of the new size; the point under the anchor stays put.
    m_magnified = MagnifyPicture(scaled, m_fitted, QPointF(), s.ScreenWidthPx, s.ScreenHeightPx, VScroll1->width(),
                                 HScroll1->height());
    MagnifiedPicture &m = m_magnified;
    if (m.horizontal) {
        m.hValue = std::clamp(static_cast<int>(std::lround(170 - topLeft.x())), 0, m.hMax);
        m.picture.moveLeft(170 - m.hValue);
    }
    if (m.vertical) {
        m.vValue = std::clamp(static_cast<int>(std::lround(-topLeft.y())), 0, m.vMax);
        m.picture.moveTop(-m.vValue);
    }
    applyMagnified();
    if (m_animation) {
        m_animation->setShownSize(scaled);
    }
}

void frmPictureViewer::toggleInformation(const QString &file)
{
    if (m_info->isVisible() || file.isEmpty()) {
        m_info->hide();
        return;
    }
    showInformation(file);
}

void frmPictureViewer::showInformation(const QString &file)
{
    PictureDetails details = ReadExifDetails(file);
    // A raster picture's pixels, upright; a metafile has no pixels of its own.
    const ScreenForFit screen = screenForFit();
    if (const auto info = ReadPictureInfo(file, screen.twipsPerPixelX, screen.twipsPerPixelY)) {
        details.dimensions = info->isMetafile() ? QSize() : info->pixelSize;
    }
    m_info->setText(DetailLines(FileNameOf(file), details).join(QLatin1Char('\n')));
    m_info->adjustSize();
    // Bottom-right, 10 pixels in from the corner: the panel keeps the top-left.
    const SharedState &s = State();
    const QPoint corner = mapToGlobal(QPoint(static_cast<int>(s.ScreenWidthPx) - m_info->width() - 10,
                                             static_cast<int>(s.ScreenHeightPx) - m_info->height() - 10));
    m_info->move(std::max(corner.x(), mapToGlobal(QPoint(180, 0)).x()), corner.y());
    m_info->show();
    m_info->raise();
}

void frmPictureViewer::Picture1_Click()
{
    emit fittedViewRequested();
}

void frmPictureViewer::HScroll1_Change()
{
    Picture1->move(PannedPosition(HScroll1->value(), VScroll1->value(), m_magnified));
}

void frmPictureViewer::VScroll1_Change()
{
    Picture1->move(PannedPosition(HScroll1->value(), VScroll1->value(), m_magnified));
}

void frmPictureViewer::wheelEvent(QWheelEvent *event)
{
    if (!Picture1->isVisible()) {
        QWidget::wheelEvent(event);
        return;
    }
    const int notches = event->angleDelta().y() != 0 ? event->angleDelta().y() / 120 : event->angleDelta().x() / 120;
    if (event->modifiers() & Qt::ControlModifier) {
        // Ctrl+wheel zooms around the point under the pointer.
        if (notches != 0) {
            const QPointF at = mapFromGlobal(event->globalPosition());
            zoomBy(notches > 0 ? 1 : -1, at);
        }
        event->accept();
        return;
    }
    const bool sideways = event->modifiers() & Qt::ShiftModifier || event->angleDelta().y() == 0;
    QScrollBar *bar = sideways ? HScroll1 : VScroll1;
    if (bar->isVisible()) {
        bar->setValue(bar->value() - notches * kWheelStep);
    }
    event->accept();
}

bool frmPictureViewer::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_info && event->type() == QEvent::MouseButtonPress) {
        m_info->hide();
        return true;
    }
    if (watched == Picture1 && event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent *>(event));
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void frmPictureViewer::Form_KeyDown(int KeyCode, int Shift)
{
    const SharedState &s = State();
    const ViewerKeyAction action =
        ViewerKeyActionOf(KeyCode, Shift, s.SlideShowOn, s.ManualShow, s.ScreenSaverMode == QLatin1String("On"));
    switch (action.key) {
    case ViewerKey::None:
        return;
    case ViewerKey::ZoomIn:
        zoomBy(1);
        return;
    case ViewerKey::ZoomOut:
        zoomBy(-1);
        return;
    case ViewerKey::EndScreenSaver:
        EndScreenSaver();
        return;
    default:
        emit keyCommand(action.key, action.argument);
        return;
    }
}

void frmPictureViewer::Form_MouseDown(int, int, float, float)
{
    if (State().ScreenSaverMode == QLatin1String("On")) {
        EndScreenSaver();
    }
}

bool frmPictureViewer::screenSaverMoveEnds(float X, float Y)
{
    SharedState &s = State();
    if (s.ScreenSaverMode != QLatin1String("On")) {
        return false;
    }
    const auto x = static_cast<std::int32_t>(std::nearbyint(X));
    const auto y = static_cast<std::int32_t>(std::nearbyint(Y));
    if ((x != s.MouseLastX || y != s.MouseLastY) && s.MouseLastX >= 1 && s.MouseLastY >= 1) {
        EndScreenSaver();
        return true;
    }
    s.MouseLastX = x;
    s.MouseLastY = y;
    return false;
}

void frmPictureViewer::Form_MouseMove(int, int, float X, float Y)
{
    if (screenSaverMoveEnds(X, Y)) {
        return;
    }
    emit pointerMoved();
}

void frmPictureViewer::Image1_MouseMove(int Button, int Shift, float X, float Y)
{
    if (screenSaverMoveEnds(X, Y)) {
        return;
    }
    if (Button != 1) {
        return;
    }
    StartFileDrag(Image1, Shift);
}

void frmPictureViewer::EndScreenSaver()
{
    SharedState &s = State();
    ScreenSaverRun &run = ScreenSaverRun::instance();
    // Inside xscreensaver's window the run takes no input: xscreensaver ends it with SIGTERM.
    if (InForeignSaverWindow() || m_askingPassword || m_slideShow.isNull()) {
        return;
    }
    const bool logo = run.logoRunning();
    if (logo) {
        run.pauseLogo();
    } else {
        m_slideShow->pauseTimer();
        s.SlideShowOn = false;
    }
    SetDefaultMouseCursor();
    ShowMouseCursor(true);
    // The keyboard and the pointer stay held: the password box is inside this window.
    m_askingPassword = true;
    run.setAsking(true);
    s.PasswordResult = static_cast<std::int16_t>(VerifyScreenSavePwd(this));
    run.setAsking(false);
    m_askingPassword = false;
    s.MouseLastX = 0;
    s.MouseLastY = 0;
    if (s.PasswordResult != 0 || run.endRequested()) {
        run.endRun();
        return;
    }
    ShowMouseCursor(false);
    if (logo) {
        run.resumeLogo();
    } else {
        // Also for a show moved by hand: the design restarts the timer either way.
        if (!m_slideShow.isNull()) {
            m_slideShow->resumeTimer();
        }
        s.SlideShowOn = true;
    }
    run.restoreInput();
}

void frmPictureViewer::startDriftingLogo()
{
    State().LogoTurn = false;
    emit panelLeaves();
    hidePicture();
    hideError();
    setPlainBackground(0);
    ScreenSaverRun::instance().startLogo(this);
}

void frmPictureViewer::setGradientBackground(std::int32_t colour1, std::int32_t colour2, int angle)
{
    m_gradient = GradientSpec{colour1, colour2, angle};
    m_background = QImage(size(), QImage::Format_RGB32);
    if (angle < 0 || angle > 360) {
        // Such an angle sweeps nothing but a line or two; under them, the colour the sweep ends in.
        m_background.fill(ColourFromValue(colour2));
    }
    PaintGradient(m_background, colour1, colour2, angle);
    update();
}

void frmPictureViewer::setPlainBackground(std::int32_t colour)
{
    m_gradient.reset();
    m_background = QImage();
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ColourFromValue(colour));
    setPalette(pal);
    update();
}

void frmPictureViewer::paintEvent(QPaintEvent *event)
{
    if (!m_background.isNull()) {
        QPainter p(this);
        p.drawImage(event->rect(), m_background, event->rect());
    }
}

void frmPictureViewer::resizeEvent(QResizeEvent *event)
{
    if (m_gradient && size() != m_background.size()) {
        setGradientBackground(m_gradient->colour1, m_gradient->colour2, m_gradient->angle);
    }
    QWidget::resizeEvent(event);
}

void frmPictureViewer::mousePressEvent(QMouseEvent *event)
{
    Form_MouseDown(ARButton::buttonCode(event->button()), ARButton::shiftCode(event->modifiers()),
                   static_cast<float>(event->position().x()), static_cast<float>(event->position().y()));
    QWidget::mousePressEvent(event);
}

void frmPictureViewer::mouseMoveEvent(QMouseEvent *event)
{
    Form_MouseMove(ARButton::buttonCode(event->buttons()), ARButton::shiftCode(event->modifiers()),
                   static_cast<float>(event->position().x()), static_cast<float>(event->position().y()));
    QWidget::mouseMoveEvent(event);
}

void frmPictureViewer::setTopmost(bool topmost)
{
    // Inside a screen saver's window the saver keeps it on top; new flags would tear it out.
    if (InForeignSaverWindow() || m_topmost == topmost) {
        return;
    }
    m_topmost = topmost;
    // A window flag would re-create the X window, and the panel would lose its owner.
    WindowStacking::setKeepAbove(this, topmost);
}

void frmPictureViewer::keyPressEvent(QKeyEvent *event)
{
    Form_KeyDown(VirtualKeyCode(event->key(), event->modifiers().testFlag(Qt::KeypadModifier)),
                 ARButton::shiftCode(event->modifiers()));
    QWidget::keyPressEvent(event);
}

void frmPictureViewer::closeEvent(QCloseEvent *event)
{
    // Ends the program as Quit does: a viewer merely hidden would run on with no panel, and every
    // later start would be handed to it. Accepted once the program has ended, so a session
    // logging out is not held up.
    event->setAccepted(!m_closeHandler || m_closeHandler());
}

void frmPictureViewer::showActivated()
{
    // The viewer covers the screen already: maximised means no longer minimised. A maximised
    // state proper would make some window managers treat it as a normal window again.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void frmPictureViewer::showWithPanel()
{
    show();
    raise();
    emit panelWanted();
}

void frmPictureViewer::changeEvent(QEvent *event)
{
    // The owned panel leaves the screen with the viewer and comes back with it.
    if (event->type() == QEvent::WindowStateChange) {
        if (windowState() & Qt::WindowMinimized) {
            emit minimised();
        } else if (isVisible()) {
            emit restored();
        }
    }
    QWidget::changeEvent(event);
}

void frmPictureViewer::showThumbnailPage(const PagePlan &plan, std::function<void()> done)
{
    SharedState &s = State();
    stopAnimation();
    hideFullSize();
    lblError->hide();
    Image1->hide();
    PictureImage *first = m_page->thumb(0);
    first->setEnabled(true);
    first->Tag.clear();
    first->setToolTip(QString());
    // The previous page goes (a page of one thumbnail leaves element 0 showing too).
    first->hide();
    if (s.ThumbsLoaded) {
        if (s.ThumbControlCount > 1) {
            m_page->unloadThumbs();
        }
        s.ThumbsLoaded = false;
    }
    ThumbBordersClose();
    // Decoded on every core in page order; each thumbnail shows as soon as it and all before it
    // are ready, and the windows repaint while the rest are decoded.
    m_page->build(plan, m_thumbnails.load(plan.paths, plan.cell, ScreenTwipsPerPixelX(), ScreenTwipsPerPixelY()),
                  std::move(done));
}

void frmPictureViewer::storeThumbnails()
{
    m_thumbnails.writePending();
}

void frmPictureViewer::leaveThumbnailPage()
{
    SharedState &s = State();
    if (s.ThumbsLoaded || m_page->building() || !m_page->thumb(0)->isHidden()) {
        m_page->unloadThumbs();
        s.ThumbsLoaded = false;
        ThumbBordersClose();
    }
}

bool frmPictureViewer::thumbnailPageShown() const
{
    return State().ThumbsLoaded || !m_page->thumb(0)->isHidden();
}

int frmPictureViewer::thumbnailCount() const
{
    return m_page->count();
}

PageSnapshot frmPictureViewer::pageSnapshot() const
{
    const SharedState &s = State();
    PageSnapshot page;
    page.loaded = s.ThumbsLoaded;
    for (int i = 0; i < s.ThumbsOnPage && i < m_page->count(); ++i) {
        page.names << m_page->thumb(i)->toolTip();
        page.tags << m_page->thumb(i)->Tag;
    }
    return page;
}

void frmPictureViewer::markThumbnails(const QList<int> &indexes, const QList<bool> &gone, const QString &text)
{
    for (int k = 0; k < indexes.size(); ++k) {
        if (k < gone.size() && gone.at(k)) {
            m_page->markGone(indexes.at(k), text);
        } else if (PictureImage *t = m_page->thumb(indexes.at(k))) {
            t->Tag.clear(); // still there: it keeps its thumbnail, unselected
        }
    }
}

void frmPictureViewer::renameThumbnail(int index, const QString &name)
{
    if (PictureImage *t = m_page->thumb(index)) {
        t->setToolTip(name);
        Thumb1_MouseDown(index, 1, 0, 0, 0);
    }
}

void frmPictureViewer::setBorderColour(const QColor &colour)
{
    m_page->setBorderColour(colour);
}

void frmPictureViewer::ThumbBordersClose()
{
    SharedState &s = State();
    m_page->closeBorders();
    if (s.ThumbsLoaded) {
        for (int i = 0; i < s.ThumbsOnPage && i < m_page->count(); ++i) {
            PictureImage *thumb = m_page->thumb(i);
            if (thumb->Tag != InvalidTag) {
                thumb->Tag.clear();
            }
        }
    }
    s.LastBorderSet = -1;
}

void frmPictureViewer::Thumb1_MouseDown(int Index, int Button, int Shift, float, float)
{
    SharedState &s = State();
    PictureImage *thumb = m_page->thumb(Index);
    if (thumb == nullptr) {
        return;
    }
    m_pressedSelected = -1;
    if (Button == 1 && Shift != 2 && IsSelectedTag(thumb->Tag) && s.LastBorderSet > 0) {
        m_pressedSelected = Index;
        return;
    }
    selectThumb(Index, Button, Shift);
}

void frmPictureViewer::selectThumb(int Index, int Button, int Shift)
{
    SharedState &s = State();
    PictureImage *thumb = m_page->thumb(Index);
    const bool added = Shift == vbCtrlMask;
    if (added) {
        // Ctrl adds a border set and keeps the earlier selections.
        s.LastBorderSet = static_cast<std::int16_t>(s.LastBorderSet + 1);
        m_page->loadBorderSet(s.LastBorderSet);
    } else {
        ThumbBordersClose();
        s.LastBorderSet = 0;
    }
    m_page->placeBorderSet(s.LastBorderSet, thumb->geometry());
    thumb->Tag = SelectionTag(s.LastBorderSet);
    emit thumbnailClicked(thumb->toolTip(), m_page->bitmapSize(Index).expandedTo(QSize(0, 0)), added);

    if (Button == 2) {
        s.PopupSource = QStringLiteral("Thumb");
        s.CurrentThumb = Index;
        emit pictureMenuRequested(QCursor::pos());
    }
}

void frmPictureViewer::Thumb1_MouseMove(int Index, int Button, int Shift, float, float)
{
    PictureImage *thumb = m_page->thumb(Index);
    if (Button != 1 || thumb == nullptr) {
        return;
    }
    m_pressedSelected = -1; // the drag takes the whole selection
    StartFileDrag(thumb, Shift);
}

void frmPictureViewer::Thumb1_MouseUp(int Index, int Button, int, float, float)
{
    if (Index != m_pressedSelected) {
        return;
    }
    m_pressedSelected = -1;
    // No drag came of the press: it selects that thumbnail alone, as a press on any other does.
    if (m_page->thumb(Index) != nullptr) {
        selectThumb(Index, Button, 0);
    }
}

void frmPictureViewer::Thumb1_DblClick(int Index)
{
    SharedState &s = State();
    PictureImage *thumb = m_page->thumb(Index);
    if (thumb == nullptr) {
        return;
    }
    s.CurrentThumb = Index;
    // Opening the entry leaves the page and shows the picture.
    emit thumbnailActivated(thumb->toolTip());
}
