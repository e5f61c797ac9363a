#include "viewer/frmPictureViewer.h"

#include "common/FolderNames.h"
#include "common/Forms.h"
#include "common/SettingsLoad.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/StoredValues.h"
#include "common/Utilities.h"
#include "controls/ARButton.h"
#include "panel/frmSide.h"

#include "common/KeyCodes.h"
#include "common/picture/Picture.h"
#include "common/platform/AppPaths.h"
#include "panel/FileListBox.h"
#include "viewer/PictureImage.h"
#include "viewer/ViewerRules.h"

#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>

frmPictureViewer::frmPictureViewer(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , Image1(new PictureImage(this))
    , lblError(new QLabel(this))
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
    connect(Image1, &PictureImage::Click, this, &frmPictureViewer::Image1_Click);
}

void frmPictureViewer::Form_Load()
{
    SharedState &s = State();
    setGeometry(0, 0, static_cast<int>(s.ScreenWidthPx), static_cast<int>(s.ScreenHeightPx));

    ReadStoredSettings(s, StoreReader());

    frmSide &side = Forms::frmSide();
    side.lstFolders->addItem(QStringLiteral("(blank button)"));
    LoadFolderNames(*side.lstFolders);
    {
        // A combo box selects the first entry it is given; that is no choice of the user's.
        const QSignalBlocker quiet(side.cmbFolders);
        LoadFolderNames(*side.cmbFolders);
        side.cmbFolders->setCurrentIndex(-1);
    }
    // Colours first, so the folder that the selection below opens shows in them.
    ApplyColourDefaults(s);
    const int current = s.Basename.isEmpty() ? -1 : side.cmbFolders->findText(s.Basename, Qt::MatchExactly);
    if (current >= 0) {
        side.cmbFolders->setCurrentIndex(current); // opens the folder
    } else {
        side.File1->setPattern(QStringLiteral("*.zzz"));
        side.File1->setPath(AppPath());
        side.cmbFolders->setCurrentIndex(-1);
    }

    side.applyListColours();

    side.imgHand->setPicture(
        LoadResPicture(s.ManualShow ? QStringLiteral("HANDDOWN") : QStringLiteral("HANDUP")).toImage());
    for (int i = 0; i < 6; ++i) {
        side.cmdFolder.at(static_cast<std::size_t>(i))->setCaption(s.Caption(i));
    }

    side.showOwnedBy(this);

    s.ThumbsLoaded = false;
    s.ThumbControlCount = 1;
    s.LastBorderSet = -1;
}

void frmPictureViewer::Form_Unload()
{
    const SharedState &s = State();
    const QString settings = QStringLiteral("Settings");
    SaveSetting(AppName, settings, QStringLiteral("Basename"), s.Basename);
    for (int i = 0; i < 6; ++i) {
        SaveSetting(AppName, settings, QStringLiteral("Caption%1").arg(i + 1), s.Caption(i));
    }
}

void frmPictureViewer::showActivated()
{
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized | Qt::WindowActive);
    show();
    raise();
    activateWindow();
    if (Forms::IsLoaded(Forms::Form::Side)) {
        Forms::frmSide().show();
        Forms::frmSide().raise();
    }
}

bool frmPictureViewer::showCurrentPicture(QSize *naturalSize)
{
    const SharedState &s = State();
    const float tppX = s.TwipsPerPixelX > 0 ? s.TwipsPerPixelX : 15.0f;
    const float tppY = s.TwipsPerPixelY > 0 ? s.TwipsPerPixelY : 15.0f;
    const auto info = ReadPictureInfo(s.CurrentFile, tppX, tppY);
    if (!info) {
        return false;
    }
    const FittedPicture fit = FitPicture(info->pixelSize, s.ScreenWidthPx, s.ScreenHeightPx, s.SlideShowOn);
    PictureRequest request;
    request.drawSize = fit.rect.size();
    request.twipsPerPixelX = tppX;
    request.twipsPerPixelY = tppY;
    auto picture = LoadPicture(s.CurrentFile, request);
    if (!picture) {
        return false;
    }
    Image1->hide();
    Image1->setPicture(picture->image);
    Image1->setGeometry(fit.rect);
    Image1->setCursor(LoadResCursor(fit.cursor));
    State().ShownFullSize = fit.shownFullSize;
    lblError->hide();
    Image1->show();
    if (naturalSize != nullptr) {
        *naturalSize = info->pixelSize;
    }
    return true;
}

void frmPictureViewer::showUnreadable(const QString &displayName)
{
    const SharedState &s = State();
    Image1->hide();
    lblError->setText(UnreadableText(displayName, QFileInfo(s.CurrentFile).size()));
    lblError->move(UnreadableLeft(lblError->width(), s.ScreenWidthPx, s.SlideShowOn), lblError->y());
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
    Image1->hide();
}

void frmPictureViewer::Image1_Click()
{
    const SharedState &s = State();
    if (s.SlideShowOn) {
        return;
    }
    if (s.ShownFullSize && Forms::IsLoaded(Forms::Form::Side)) {
        Forms::frmSide().File1_Click();
    }
}

void frmPictureViewer::Form_KeyDown(int KeyCode, int Shift)
{
    Q_UNUSED(Shift);
    if (KeyCode == 112 && Forms::IsLoaded(Forms::Form::Side)) { // F1
        Forms::frmSide().cmdHelp_Click();
    }
}

void frmPictureViewer::keyPressEvent(QKeyEvent *event)
{
    Form_KeyDown(VirtualKeyCode(event->key()), ARButton::shiftCode(event->modifiers()));
    QWidget::keyPressEvent(event);
}

void frmPictureViewer::changeEvent(QEvent *event)
{
    // The owned panel leaves the screen with the viewer and comes back with it.
    if (event->type() == QEvent::WindowStateChange && Forms::IsLoaded(Forms::Form::Side)) {
        QWidget *side = Forms::Loaded(Forms::Form::Side);
        if (windowState() & Qt::WindowMinimized) {
            side->hide();
        } else if (isVisible()) {
            side->show();
            side->raise();
        }
    }
    QWidget::changeEvent(event);
}
