// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "controls/CommonDialog.h"
#include "files/CommandTargets.h"
#include "files/FileMenuRules.h"
#include "files/PrintRules.h"
#include "files/TransformRules.h"
#include "files/UndoJournal.h"

#include <QPointer>
#include <QWidget>

class FileListOps;
class PictureViewOps;
class frmBulk;
class QAction;
class QLabel;
class QMenu;

// Never shown: it owns the file pop-up menu and the printer chooser.
class frmInvisible : public QWidget
{
    Q_OBJECT
public:
    // The commands act on the files of `list` and of the thumbnail page of `view`.
    frmInvisible(FileListOps &list, PictureViewOps &view, QWidget *parent = nullptr);

    void Form_Load();
    void Form_Unload();

    // Sets the items' visibility and state as the opening view decides.
    void applyMenuState(const FileMenuState &state);
    // The file commands. Delete, Print and Refresh are also the viewer's keys.
    void mnuEdit_Click();
    void mnuRename_Click();
    void mnuBulkRename_Click();
    void mnuDelete_Click();
    void mnuPrint_Click();
    void mnuRefresh_Click();
    void mnuWallpaper_Click();
    // Turns or mirrors the JPEGs the command acts on without loss (Ctrl+R right, Ctrl+L left),
    // as one step of the undo journal; other formats are refused with a message.
    void mnuTransform_Click(Transform asked);
    // The information window of the picture shown (Ctrl+I), or of the chosen thumbnail.
    void mnuInfo_Click();

    // True while a page is being printed or a wallpaper made; the command's end follows.
    [[nodiscard]] bool busy() const { return m_busy; }

    // Takes back the newest file command of the session (Ctrl+Z): the view then shows the files
    // where they are again, and the user is told of any file that could not be taken back.
    void mnuUndo_Click();
    // A move, copy, rename or delete that can be taken back.
    void recordUndo(UndoStep step);
    [[nodiscard]] const UndoJournal &undoJournal() const { return m_journal; }

    // Pops the menu up at a screen position without waiting for it to close.
    void popupMenu(const QPoint &globalPos);

signals:
    // A command is about to run ("Edit", "Rename", "BulkRename", "Delete", "Print", "Refresh",
    // "Wallpaper").
    void commandRequested(const QString &name);
    // A print or wallpaper command that ran in the background has ended (its messages shown).
    void backgroundCommandFinished();

private:
    FileListOps &m_list;
    PictureViewOps &m_view;
    // The rename dialog while it is open.
    QPointer<frmBulk> m_bulk;
    QMenu *mnuFile;
    QAction *mnuUndo;
    QAction *mnuEdit;
    QAction *mnuRename;
    QAction *mnuBulkRename;
    QAction *mnuWallpaper;
    QAction *mnuRefresh;
    QAction *separatorTurn;
    QAction *mnuRotateRight;
    QAction *mnuRotateLeft;
    QAction *mnuFlipHorizontal;
    QAction *mnuFlipVertical;
    QAction *mnuInfo;
    QAction *separator1;
    QAction *mnuPrint;
    QAction *separator2;
    QAction *separatorUndo;
    QAction *mnuDelete;
    QLabel *Label1;
    CommonDialog CommonDialogPrint;

    // What the views show now, for deciding which picture a command takes.
    [[nodiscard]] PictureSourceSnapshot pictureSourceSnapshot(const PageSnapshot &page) const;
    [[nodiscard]] PageSnapshot CurrentPage() const;
    // The file behind a chosen picture; empty when there is none.
    [[nodiscard]] QString pictureFileOf(const PictureChoice &choice, const PageSnapshot &page) const;
    void endBackgroundCommand();

    void printChosenPicture();
    bool m_busy = false;
    UndoJournal m_journal;
};
