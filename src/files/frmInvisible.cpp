#include "files/frmInvisible.h"

#include "common/FileNames.h"
#include "common/Forms.h"
#include "common/SharedState.h"
#include "common/Utilities.h"
#include "common/platform/AppPaths.h"
#include "common/platform/Associations.h"
#include "common/platform/Dialogs.h"
#include "files/FileOperations.h"
#include "files/FileTransfer.h"
#include "files/RenameRules.h"
#include "files/Renaming.h"
#include "files/frmBulk.h"
#include "panel/FileListBox.h"
#include "panel/FileListRules.h"
#include "panel/frmSide.h"
#include "viewer/PictureImage.h"
#include "viewer/ThumbnailRules.h"
#include "viewer/frmPictureViewer.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

#include <cerrno>

frmInvisible::frmInvisible(QWidget *parent)
    : QWidget(parent)
    , mnuFile(new QMenu(QStringLiteral("File"), this))
    , Label1(new QLabel(this))
{
    setObjectName(QStringLiteral("frmInvisible"));
    setWindowTitle(QStringLiteral("Invisible Menu Form"));
    Label1->setText(
        QStringLiteral("This is an invisible form which contains menus for use as pop-ups in other forms."));
    Label1->setWordWrap(true);

    mnuEdit = mnuFile->addAction(QStringLiteral("Edit..."));
    mnuRename = mnuFile->addAction(QStringLiteral("Rename..."));
    mnuBulkRename = mnuFile->addAction(QStringLiteral("Multiple File Rename..."));
    mnuWallpaper = mnuFile->addAction(QStringLiteral("Set as Wallpaper"));
    mnuRefresh = mnuFile->addAction(QStringLiteral("&Refresh Folder"));
    separator1 = mnuFile->addSeparator();
    mnuPrint = mnuFile->addAction(QStringLiteral("&Print..."));
    separator2 = mnuFile->addSeparator();
    mnuDelete = mnuFile->addAction(QStringLiteral("Delete"));
    // Shown only: the views handle the Delete key themselves.
    mnuDelete->setShortcut(QKeySequence(Qt::Key_Delete));
    mnuDelete->setShortcutContext(Qt::WidgetShortcut);
    mnuBulkRename->setVisible(false);

    connect(mnuEdit, &QAction::triggered, this, &frmInvisible::mnuEdit_Click);
    connect(mnuRename, &QAction::triggered, this, &frmInvisible::mnuRename_Click);
    connect(mnuBulkRename, &QAction::triggered, this, &frmInvisible::mnuBulkRename_Click);
    connect(mnuRefresh, &QAction::triggered, this, &frmInvisible::mnuRefresh_Click);
    connect(mnuPrint, &QAction::triggered, this, &frmInvisible::mnuPrint_Click);
    connect(mnuDelete, &QAction::triggered, this, &frmInvisible::mnuDelete_Click);
}

void frmInvisible::Form_Load() {}

void frmInvisible::Form_Unload()
{
    mnuFile->hide();
}

void frmInvisible::applyMenuState(const FileMenuState &state)
{
    mnuEdit->setEnabled(state.editEnabled);
    mnuRename->setVisible(state.renameVisible);
    mnuRename->setEnabled(state.renameEnabled);
    mnuBulkRename->setVisible(state.bulkRenameVisible);
    mnuBulkRename->setEnabled(state.bulkRenameEnabled);
    mnuWallpaper->setEnabled(state.wallpaperEnabled);
    mnuRefresh->setEnabled(state.refreshEnabled);
    mnuPrint->setEnabled(state.printEnabled);
    mnuDelete->setEnabled(state.deleteEnabled);
}

void frmInvisible::popupMenu(const QPoint &globalPos)
{
    mnuFile->popup(globalPos);
}

void frmInvisible::mnuEdit_Click()
{
    emit commandRequested(QStringLiteral("Edit"));
    FileListBox *list = Forms::frmSide().File1;
    const QString name = list->FileName();
    if (name.isEmpty()) {
        return;
    }
    const QString path = JoinPath(list->Path(), name);
    if (AssociatedProgram(path).isEmpty()) {
        MsgBox(QStringLiteral("You do not have a program associated with this file."), vbCritical);
        return;
    }
    OpenWithAssociatedProgram(path);
}

void frmInvisible::mnuRename_Click()
{
    emit commandRequested(QStringLiteral("Rename"));
    SharedState &s = State();
    frmSide &side = Forms::frmSide();
    FileListBox *list = side.File1;
    const QString folder = list->Path();
    const QString oldName = list->FileName();
    if (oldName.isEmpty()) {
        return;
    }
    s.CurrentListIndex = list->ListIndex();
    s.CurrentFile = JoinPath(folder, oldName);
    QString newName;
    // A name that is not UTF-8 is offered readably; whatever the user types is a new UTF-8 name.
    const QString shown = DisplayName(oldName);
    for (;;) {
        const auto answer = InputBox(QStringLiteral("Enter new file name:"), QStringLiteral("Rename File"), shown);
        if (!answer || answer->isEmpty() || *answer == shown || *answer == oldName) {
            return;
        }
        if (const auto problem = NameProblem(*answer)) {
            MsgBox(*problem, vbExclamation);
            continue;
        }
        // A change of letter case only is a new name here, not an existing one.
        if (NameTaken(folder, oldName, *answer)) {
            MsgBox(QStringLiteral("File name already exists."), vbExclamation);
            continue;
        }
        const int result = RenameNoReplace(folder, oldName, *answer);
        if (result == -EEXIST) {
            MsgBox(QStringLiteral("File name already exists."), vbExclamation);
            continue;
        }
        if (result != 0) {
            MsgBox(QStringLiteral("Another file has this as it's MS-DOS name."), vbExclamation);
            continue;
        }
        newName = *answer;
        break;
    }
    list->Refresh();
    const bool fromThumb = s.PopupSource == QLatin1String("Thumb") && s.ThumbsLoaded;
    frmPictureViewer *viewer = Forms::IsLoaded(Forms::Form::PictureViewer) ? &Forms::frmPictureViewer() : nullptr;
    const bool thumbThere = fromThumb && viewer != nullptr && s.CurrentThumb >= 0 &&
                            s.CurrentThumb < static_cast<int>(viewer->Thumb1.size());
    if (thumbThere) {
        viewer->Thumb1[static_cast<std::size_t>(s.CurrentThumb)]->setToolTip(newName);
        s.SelectionFromCode = true;
    }
    list->setSelected(list->IndexOf(newName), true); // none when the pattern hides it
    s.SelectionFromCode = false;
    side.File1_PathChange();
    if (thumbThere) {
        viewer->Thumb1_MouseDown(s.CurrentThumb, 1, 0, 0, 0);
    }
}

void frmInvisible::mnuBulkRename_Click()
{
    emit commandRequested(QStringLiteral("BulkRename"));
    frmBulk &dialog = Forms::frmBulk();
    dialog.Form_Load();
    // Modal, without a loop of its own: the dialog unloads itself when it is done.
    dialog.open();
}

void frmInvisible::mnuDelete_Click()
{
    emit commandRequested(QStringLiteral("Delete"));
    SharedState &s = State();
    frmSide &side = Forms::frmSide();
    FileListBox *list = side.File1;
    side.CountSelected();
    const QString folder = list->Path();
    frmPictureViewer *viewer = Forms::IsLoaded(Forms::Form::PictureViewer) ? &Forms::frmPictureViewer() : nullptr;

    if (!s.ThumbsLoaded && s.SelectedCount < 2) {
        const int index = list->ListIndex();
        if (index >= 0) {
            s.CurrentFile = JoinPath(folder, list->List(index));
            s.CurrentListIndex = index;
            SendToRecycleBin(s.CurrentFile);
            list->Refresh();
            if (list->ListCount() == s.CurrentListIndex) {
                list->setListIndex(s.CurrentListIndex - 1);
            } else {
                list->setListIndex(s.CurrentListIndex);
            }
        }
    } else if (!s.ThumbsLoaded) {
        QStringList paths;
        int last = 0;
        for (int i = 0; i < list->ListCount(); ++i) {
            if (list->Selected(i)) {
                s.CurrentFile = JoinPath(folder, list->List(i));
                paths << s.CurrentFile;
                last = i;
            }
        }
        SendToRecycleBin(JoinSourceList(paths));
        list->Refresh();
        const int target = last - (static_cast<int>(paths.size()) - 1);
        if (list->ListCount() > target) {
            list->setListIndex(target);
        }
    } else if (viewer != nullptr) {
        QStringList paths;
        QList<int> selected;
        for (int i = 0; i < s.ThumbsOnPage && i < static_cast<int>(viewer->Thumb1.size()); ++i) {
            if (IsSelectedTag(viewer->Thumb1[static_cast<std::size_t>(i)]->Tag)) {
                s.CurrentFile = JoinPath(folder, viewer->Thumb1[static_cast<std::size_t>(i)]->toolTip());
                paths << s.CurrentFile;
                selected << i;
            }
        }
        if (!paths.isEmpty()) {
            (void)SendToRecycleBin(JoinSourceList(paths));
        }
        // Only a file that has left its place reads "File deleted"; one the trash refused stays.
        for (qsizetype k = 0; k < selected.size(); ++k) {
            PictureImage *thumb = viewer->Thumb1[static_cast<std::size_t>(selected.at(k))];
            if (LstatPath(paths.at(k))) {
                thumb->Tag.clear();
                continue;
            }
            const QRect was = thumb->geometry();
            viewer->makeThumbPlaceholder(selected.at(k));
            thumb->setToolTip(QStringLiteral("File deleted"));
            thumb->move(CentredPlaceholder(was));
        }
        viewer->ThumbBordersClose();
        list->Refresh();
    }
    side.lblFileCounter->setText(FileCounterLabel(list->ListCount()));
    list->setFocus();
    if (list->ListCount() == 0 && viewer != nullptr) {
        viewer->hidePicture();
    }
}

void frmInvisible::mnuPrint_Click()
{
    emit commandRequested(QStringLiteral("Print"));
}

void frmInvisible::mnuRefresh_Click()
{
    emit commandRequested(QStringLiteral("Refresh"));
    frmSide &side = Forms::frmSide();
    side.File1->Refresh();
    if (side.File1->ListCount() >= 1) {
        side.File1->setListIndex(0);
    }
    side.lblFileCounter->setText(FileCounterLabel(side.File1->ListCount()));
}
