#include "files/frmInvisible.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

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

void frmInvisible::mnuDelete_Click()
{
    emit commandRequested(QStringLiteral("Delete"));
}

void frmInvisible::mnuPrint_Click()
{
    emit commandRequested(QStringLiteral("Print"));
}

void frmInvisible::mnuRefresh_Click()
{
    emit commandRequested(QStringLiteral("Refresh"));
}
