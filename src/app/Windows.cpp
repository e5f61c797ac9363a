// SPDX-License-Identifier: GPL-2.0-or-later
#include "app/Windows.h"

#include "app/Forms.h"
#include "app/Startup.h"
#include "app/WindowOps.h"
#include "common/SharedState.h"
#include "files/FileMenuRules.h"
#include "files/frmInvisible.h"
#include "panel/frmSide.h"
#include "settings/frmSettings.h"
#include "show/ScreenSaverRun.h"
#include "show/SlideShow.h"
#include "viewer/frmLoading.h"
#include "viewer/frmPictureViewer.h"
#include "viewer/frmSplash.h"

namespace {

frmSide *panel()
{
    return static_cast<frmSide *>(Forms::Loaded(Forms::Form::Side));
}

frmInvisible *fileMenu()
{
    return static_cast<frmInvisible *>(Forms::Loaded(Forms::Form::Invisible));
}

frmInvisible &loadFileMenu()
{
    if (frmInvisible *menu = fileMenu()) {
        return *menu;
    }
    auto *menu = new frmInvisible(PanelListOps(), ViewerViewOps());
    menu->Form_Load();
    return *menu;
}

// The settings dialog, loaded once and kept until Quit; its close hands over to the panel.
void openSettings(frmSide &side)
{
    auto *dialog = static_cast<frmSettings *>(Forms::Loaded(Forms::Form::Settings));
    if (dialog == nullptr) {
        dialog = new frmSettings(PanelListOps());
        dialog->Form_Load();
    }
    QObject::connect(dialog, &frmSettings::Closed, &side, &frmSide::settingsClosed, Qt::SingleShotConnection);
    dialog->showModal();
}

void runViewerKey(ViewerKey key, int argument)
{
    frmSide *side = panel();
    if (side == nullptr) {
        return;
    }
    switch (key) {
    case ViewerKey::Help:
        side->cmdHelp_Click();
        return;
    case ViewerKey::FileToFolder:
    case ViewerKey::CopyToFolder:
        side->fileToFolder(argument, key == ViewerKey::CopyToFolder);
        return;
    case ViewerKey::SlideByHand:
        side->ManualSlide(argument);
        return;
    case ViewerKey::StopShow:
        side->StopSlideShow();
        return;
    default:
        break;
    }
    frmInvisible &menu = loadFileMenu();
    switch (key) {
    case ViewerKey::Delete:
        menu.mnuDelete_Click();
        return;
    case ViewerKey::Print:
        menu.mnuPrint_Click();
        return;
    case ViewerKey::Refresh:
        menu.mnuRefresh_Click();
        return;
    case ViewerKey::Undo:
        menu.mnuUndo_Click();
        return;
    case ViewerKey::RotateRight:
        menu.mnuTransform_Click(Transform::Rotate90);
        return;
    case ViewerKey::RotateLeft:
        menu.mnuTransform_Click(Transform::Rotate270);
        return;
    case ViewerKey::Information:
        menu.mnuInfo_Click();
        return;
    default:
        return;
    }
}

frmSide &loadPanel()
{
    if (frmSide *side = panel()) {
        return *side;
    }
    auto *side = new frmSide(ViewerViewOps());
    QObject::connect(side, &frmSide::keyPressed, side, [](int keyCode, int shift) {
        if (Forms::IsLoaded(Forms::Form::PictureViewer)) {
            Forms::frmPictureViewer().Form_KeyDown(keyCode, shift);
        }
    });
    QObject::connect(side, &frmSide::quitRequested, side, &QuitProgram);
    QObject::connect(side, &frmSide::settingsRequested, side, [side] { openSettings(*side); });
    QObject::connect(side, &frmSide::fileMenuRequested, side,
                     [](const std::optional<FileMenuState> &state, QPoint globalPos) {
                         frmInvisible &menu = loadFileMenu();
                         if (state) {
                             menu.applyMenuState(*state);
                         }
                         menu.popupMenu(globalPos);
                     });
    QObject::connect(side, &frmSide::undoStepDone, side, [](const UndoStep &step) { loadFileMenu().recordUndo(step); });
    side->setCloseHandler(&CloseRequested);
    side->setCommandsBusy([] {
        const frmInvisible *menu = fileMenu();
        return menu != nullptr && menu->busy();
    });
    side->Form_Load();
    return *side;
}

// What the viewer asks of the panel and the file menu.
void connectViewer(frmPictureViewer &viewer)
{
    frmPictureViewer *v = &viewer;
    QObject::connect(v, &frmPictureViewer::settingsRead, v, [v] {
        frmSide &side = loadPanel();
        side.applyStoredSettings();
        side.GradientShow();
        side.showOwnedBy(v);
        v->setSlideShow(&side.slideShow());
        loadFileMenu();
    });
    QObject::connect(v, &frmPictureViewer::keyCommand, v, &runViewerKey);
    QObject::connect(v, &frmPictureViewer::pictureMenuRequested, v, [](QPoint globalPos) {
        frmInvisible &menu = loadFileMenu();
        menu.applyMenuState(MenuForPicture());
        menu.popupMenu(globalPos);
    });
    const auto toPanel = [v](auto signal, auto action) {
        QObject::connect(v, signal, v, [action](auto... arguments) {
            if (frmSide *side = panel()) {
                action(*side, arguments...);
            }
        });
    };
    toPanel(&frmPictureViewer::fittedViewRequested, [](frmSide &side) { side.File1_Click(); });
    toPanel(&frmPictureViewer::thumbnailClicked, [](frmSide &side, const QString &name, QSize size, bool added) {
        side.thumbnailSelected(name, size, added);
    });
    toPanel(&frmPictureViewer::thumbnailActivated,
            [](frmSide &side, const QString &name) { side.openEntryNamed(name); });
    toPanel(&frmPictureViewer::pointerMoved, [](frmSide &side) { side.hidePopups(); });
    toPanel(&frmPictureViewer::panelLeaves, [](frmSide &side) { side.hide(); });
    toPanel(&frmPictureViewer::panelWanted, [](frmSide &side) {
        side.showAboveOwner();
        side.focusList();
    });
    toPanel(&frmPictureViewer::listFocusWanted, [](frmSide &side) { side.focusList(); });
    toPanel(&frmPictureViewer::minimised, [](frmSide &side) { side.ownerMinimised(); });
    toPanel(&frmPictureViewer::restored, [](frmSide &side) { side.ownerRestored(); });
    viewer.setCloseHandler(&CloseRequested);
}

} // namespace

frmPictureViewer &LoadViewer()
{
    if (QWidget *loaded = Forms::Loaded(Forms::Form::PictureViewer)) {
        return *static_cast<frmPictureViewer *>(loaded);
    }
    auto *viewer = new frmPictureViewer();
    connectViewer(*viewer);
    viewer->Form_Load();
    return *viewer;
}

frmSplash &LoadSplash()
{
    if (QWidget *loaded = Forms::Loaded(Forms::Form::Splash)) {
        return *static_cast<frmSplash *>(loaded);
    }
    auto *splash = new frmSplash();
    QObject::connect(splash, &frmSplash::timeUp, splash, [splash] {
        frmPictureViewer &viewer = LoadViewer();
        splash->hide();
        viewer.showWithPanel();
    });
    splash->Form_Load();
    return *splash;
}

frmLoading &LoadLoadingWindow()
{
    if (QWidget *loaded = Forms::Loaded(Forms::Form::Loading)) {
        return *static_cast<frmLoading *>(loaded);
    }
    auto *loading = new frmLoading();
    loading->Form_Load();
    return *loading;
}

void QuitProgram()
{
    Forms::Unload(Forms::Form::Splash);
    Forms::Unload(Forms::Form::Settings);
    Forms::Unload(Forms::Form::PictureViewer);
    Forms::Unload(Forms::Form::Invisible);
    Forms::Unload(Forms::Form::Side);
    EndProgram();
}
