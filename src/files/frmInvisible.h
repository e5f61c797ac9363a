#pragma once

#include "controls/CommonDialog.h"
#include "files/FileMenuRules.h"

#include <QWidget>

class QAction;
class QLabel;
class QMenu;

// Never shown: it owns the file pop-up menu and the printer chooser.
class frmInvisible : public QWidget
{
    Q_OBJECT
public:
    explicit frmInvisible(QWidget *parent = nullptr);

    void Form_Load();
    void Form_Unload();

    // Sets the items' visibility and state as the opening view decides.
    void applyMenuState(const FileMenuState &state);
    // Commands that the viewer's keys call directly. They arrive with the file commands; until
    // then they do nothing.
    void mnuDelete_Click();
    void mnuPrint_Click();
    void mnuRefresh_Click();

    // Pops the menu up at a screen position without waiting for it to close.
    void popupMenu(const QPoint &globalPos);

    QMenu *mnuFile;
    QAction *mnuEdit;
    QAction *mnuRename;
    QAction *mnuBulkRename;
    QAction *mnuWallpaper;
    QAction *mnuRefresh;
    QAction *separator1;
    QAction *mnuPrint;
    QAction *separator2;
    QAction *mnuDelete;
    QLabel *Label1;
    CommonDialog CommonDialogPrint;

signals:
    // A command was asked for ("Delete", "Print", "Refresh").
    void commandRequested(const QString &name);
};
