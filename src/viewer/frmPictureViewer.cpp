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

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QListWidget>

frmPictureViewer::frmPictureViewer(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmPictureViewer"));
    setWindowTitle(AppName);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ColourFromValue(0xC0C0C0));
    setPalette(pal);
    setAutoFillBackground(true);
    // Design size 12000 x 9000 twips until the load fits it to the screen.
    resize(800, 600);
}

void frmPictureViewer::Form_Load()
{
    SharedState &s = State();
    setGeometry(0, 0, static_cast<int>(s.ScreenWidthPx), static_cast<int>(s.ScreenHeightPx));

    ReadStoredSettings(s, StoreReader());

    frmSide &side = Forms::frmSide();
    side.lstFolders->addItem(QStringLiteral("(blank button)"));
    LoadFolderNames(*side.lstFolders);
    LoadFolderNames(*side.cmbFolders);
    const int current = s.Basename.isEmpty() ? -1 : side.cmbFolders->findText(s.Basename, Qt::MatchExactly);
    side.cmbFolders->setCurrentIndex(current);

    ApplyColourDefaults(s);

    QPalette listPalette = side.File1->palette();
    listPalette.setColor(QPalette::Base, ColourOf(s.SlideColor, DefaultSlideColor));
    listPalette.setColor(QPalette::Text, ColourOf(s.FontColor, DefaultFontColor));
    side.File1->setPalette(listPalette);
    QPalette comboPalette = side.cmbFolders->palette();
    comboPalette.setColor(QPalette::Base, ColourOf(s.FontColor, DefaultFontColor));
    comboPalette.setColor(QPalette::Button, ColourOf(s.FontColor, DefaultFontColor));
    comboPalette.setColor(QPalette::Text, ColourOf(s.SlideColor, DefaultSlideColor));
    comboPalette.setColor(QPalette::ButtonText, ColourOf(s.SlideColor, DefaultSlideColor));
    side.cmbFolders->setPalette(comboPalette);

    side.imgHand->setPixmap(LoadResPicture(s.ManualShow ? QStringLiteral("HANDDOWN") : QStringLiteral("HANDUP")));
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
