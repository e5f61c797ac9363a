// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "controls/CommonDialog.h"
#include "files/CommandTargets.h"
#include "files/FileMenuRules.h"
#include "files/UndoJournal.h"
#include "panel/FileListRules.h"
#include "panel/FlatComboBox.h"
#include "panel/FolderWatch.h"
#include "panel/OpenTarget.h"
#include "panel/PanelLayout.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class ARButton;
class FileListBox;
class PictureImage;
class PictureViewOps;
class SlideShow;
class QLabel;
class QListWidget;
class QLineEdit;

// The browser panel: a 170-pixel column at the screen's top-left corner, owned by the viewer so it
// stays above it and leaves the screen with it.
class frmSide : public QWidget
{
    Q_OBJECT
public:
    // `view`: the picture view the panel's list shows its pictures in.
    explicit frmSide(PictureViewOps &view, QWidget *parent = nullptr);

    void Form_Load();
    void Form_Unload();

    // Command buttons and the list's operations, public because other windows call them.
    void cmdQuit_Click();
    void cmdMinimize_Click();
    void cmdHelp_Click();
    void cmdSlide_Click();
    // Asks for the settings dialog (settingsRequested); settingsClosed applies what it changed
    // once it is closed with OK.
    void cmdSettings_Click();
    void settingsClosed();
    // What a close from the window manager does; true when the program ended.
    void setCloseHandler(std::function<bool()> handler) { m_closeHandler = std::move(handler); }
    // True while a file command runs: folder changes wait for it.
    void setCommandsBusy(std::function<bool()> busy) { m_commandsBusy = std::move(busy); }
    // Replaces the picture with a page of thumbnails of the visible files, or of the selected
    // ones when two or more are selected.
    void cmdThumb_click();
    void GradientShow();
    void ManualSlide(int KeyCode);
    void tmrSlide_Timer();
    // The end of a show, in its fixed order (the viewer's keys run it).
    void StopSlideShow();
    // The show the panel runs over its list.
    [[nodiscard]] SlideShow &slideShow() const { return *m_show; }
    void cmbFolders_Click();
    // Shows a folder and selects a file in it, as asked from outside (the command line, a second
    // start). A folder that is not registered gets an entry of its own at the top of the folder
    // box for this session; nothing of it is stored.
    void showTarget(const OpenTarget &target);
    // The folder of the temporary entry, empty when there is none.
    [[nodiscard]] QString temporaryFolder() const { return m_temporaryFolder; }
    void prefetchNeighbours();
    // The files the keys ask for next, most wanted first (see IndexesAhead).
    QStringList picturesAhead();
    void File1_Click();
    void CountSelected();

    void cmdFolder_Click(int Index);
    void cmdFolder_MouseDown(int Index, int Button, int Shift, float X, float Y);
    void cmdFolder_MouseUp(int Index, int Button, int Shift, float X, float Y);
    void cmdFolder_MouseMove(int Index, int Button, int Shift, float X, float Y);
    void cmdFolder_DragOver(int Index, int State);
    void cmdFolder_DragDrop(int Index);
    void lstFolders_DblClick();
    void imgHand_MouseDown(int Button);
    void imgHand_MouseUp(int Button);
    void imgHand_Click();
    void File1_MouseDown(int Button, int Shift, float X, float Y);
    void File1_MouseMove(int Button, int Shift, float X, float Y);
    void File1_PathChange();

    // Places the panel at the screen's corner, owned by the viewer. It shows once the owner is on
    // screen (showAboveOwner), so the window manager knows the owner when it takes the panel on.
    void showOwnedBy(QWidget *owner);
    // Shows the panel above its owner, if it was asked to show with it.
    void showAboveOwner();
    // Back on screen with the owner after it was minimised, with the keyboard in the file list.
    void returnWithOwner();
    // The panel leaves the screen with its owner minimised, and comes back with it.
    void ownerMinimised();
    void ownerRestored();
    // A thumbnail of the page was selected (`added`: to the earlier selection): its entry joins
    // the list's selection and its size shows.
    void thumbnailSelected(const QString &name, QSize bitmapSize, bool added);
    // The folder-assignment list and the title tip go away (the pointer left them).
    void hidePopups();
    // The list in the stored colours (background SlideColor, text FontColor) and the folder box
    // in the two swapped.
    void applyListColours();
    // The panel's part of the viewer's load: the folder lists, colours, the stored folder opened,
    // the hand, the six captions and the slide interval.
    void applyStoredSettings();

    // What the file list holds now, for the commands that act on its files.
    [[nodiscard]] ListSnapshot listSnapshot() const;
    [[nodiscard]] QString currentFolder() const;
    // The name of the focused entry; empty when there is none.
    [[nodiscard]] QString focusedName() const;
    [[nodiscard]] int focusedIndex() const;
    [[nodiscard]] int listCount() const;
    // Reads the folder again and shows the new count.
    void refreshList();
    // The list in the stored sort order (read again when it changed).
    void applySortOrder();
    // The list shows the formats the settings ask for (after the settings dialog).
    void applyPictureSet();
    // Another program changed the folder: the list read again with the selection and the picture
    // kept where their files still exist, the picture shown again when its file was rewritten,
    // and a thumbnail page made again.
    void folderChanged(const FolderChanges &changes);
    // Makes `index` the focused and only selected entry, which shows its picture.
    void selectEntry(int index);
    // Reads the folder again and opens the entry of this name (leaving a thumbnail page).
    void openEntryNamed(const QString &name);
    // Adds the entries of these names to the selection without showing them (entries the list
    // does not show are passed over).
    void selectNamesQuietly(const QStringList &names);
    // After a command removed some of `targets`: the list read again, the follower selected, the
    // count shown, the picture hidden when nothing is left.
    void showAfterRemoval(const CommandTargets &targets, const QList<bool> &gone);
    // The keyboard to the file list: the panel becomes the active window, so the arrow keys move
    // through the list wherever the last click was.
    void focusList();
    void setSizeLabel(const QString &text);
    // After an undo: the list read again with these files selected and the first one shown.
    void showRestored(const QStringList &paths);
    // Alt+1 to Alt+6 (with Ctrl: copy): the selection filed into folder button `index` as a drop
    // there would file it, then a short confirmation over the file counter.
    void fileToFolder(int index, bool copy);

    // The folder box and the assignment list, kept in the one order of the settings dialog's list.
    [[nodiscard]] QString currentFolderName() const;
    // Adds a registered name at `index` without opening anything.
    void insertFolderName(int index, const QString &name);
    // Takes the name at `index` out of both lists without opening anything.
    void removeFolderName(int index);
    // Opens the folder at `index` of the folder box.
    void selectFolder(int index);
    // No folder registered any more: the list shows nothing and the picture goes.
    void showNoFolder();
    [[nodiscard]] QLabel *titleTip() const { return m_tip; }

signals:
    // Every key pressed anywhere in the panel, for the viewer's key handler.
    void keyPressed(int keyCode, int shift);
    // Quit: every window unloads and the program ends.
    void quitRequested();
    void settingsRequested();
    // The file menu for the list; `state` empty keeps the menu as it was last shown.
    void fileMenuRequested(const std::optional<FileMenuState> &state, QPoint globalPos);
    // A move or copy that can be taken back.
    void undoStepDone(const UndoStep &step);

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    PictureViewOps &m_view;
    ARButton *cmdQuit;
    ARButton *cmdSettings;
    ARButton *cmdThumb;
    ARButton *cmdHelp;
    ARButton *cmdMinimize;
    ARButton *cmdSlide;
    std::array<ARButton *, 6> cmdFolder{};
    FlatComboBox *cmbFolders;
    FileListBox *File1;
    QListWidget *lstFolders;
    QLineEdit *txtUnavailable;
    QLabel *imgLogo;
    QLabel *imgFileCounter;
    QLabel *lblFileCounter;
    PictureImage *imgHand;
    QLabel *Label1;
    QLabel *lblKB;
    QTimer *tmrList;
    SlideShow *m_show;
    CommonDialog cdlHelp;

    // A release with any mouse button but the left one cancels the click that follows.
    void commandButton_MouseUp(int Button);
    void applyLayout();
    void showFolderUnavailable();
    // Opens the folder chosen in the folder box and selects `selectName` in it (the first entry
    // when empty).
    void openChosenFolder(const QString &selectName);
    // The entry of a registered folder that is that folder, or -1.
    [[nodiscard]] int registeredEntryOf(const QString &folder) const;
    void setButtonLook(int index, bool highlighted);
    void updateFileCounter();
    // Moves or copies the selection into the folder registered under `caption`; `then` gets how
    // many files arrived once the command has ended (the files move while the event loop runs).
    void DropOnFolder(const QString &caption, const QString &action, std::function<void(int)> then);
    void showNotice(const QString &text);

    // The end of cmdThumb_click, once every thumbnail of the page is placed.
    void thumbnailPageBuilt();

    // Set while the list is read again for a file that vanished: the selection that follows may
    // not start another reading (a folder that lists names it will not open would loop).
    bool m_rereadingForVanished = false;

    PanelLayout m_layout;
    // Entry 0 of the folder box while set: a folder shown from outside, not registered.
    QString m_temporaryFolder;
    QLabel *m_tip;
    bool m_showWithOwner = false;
    bool m_leftWithOwner = false;
    std::function<bool()> m_closeHandler;
    std::function<bool()> m_commandsBusy;
    QLabel *m_notice;
    QTimer *m_noticeTimer;
    // Over the empty file list while no folder is registered: how to register one.
    QLabel *m_firstStartHint;
    void updateFirstStartHint();
    // Watches the folder shown; changes that come while a command or a show runs wait for it.
    FolderWatcher *m_watcher;
    QTimer *m_watchRetry;
    FolderChanges m_pendingChanges;
    // Which way the user goes through the list, for what is decoded ahead.
    ListWalk m_walk;

    // Folder buttons: assignment and reordering.
    bool FolderRightClick = false;
    int AssignButtonIndex = 0;
    QString DraggedCaption;
    bool StillOnPressedButton = false;
    int DragOverIndex = 0;
    int LastOverIndex = 0;
    int DragDirection = 1;
    std::array<QString, 6> m_captionsAtPress;
};
