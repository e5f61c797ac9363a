// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/frmInvisible.h"

#include "common/FileNames.h"
#include "common/ScreenMetrics.h"
#include "common/SharedState.h"
#include "common/Utilities.h"
#include "common/platform/AppPaths.h"
#include "common/platform/Associations.h"
#include "common/platform/Dialogs.h"
#include "common/platform/Wallpaper.h"
#include "controls/PictureImage.h"
#include "controls/WindowLife.h"
#include "files/CommandTargets.h"
#include "files/FileListOps.h"
#include "files/FileOperations.h"
#include "files/FileTransfer.h"
#include "files/JpegTransform.h"
#include "files/PrintJob.h"
#include "files/RenameRules.h"
#include "files/Renaming.h"
#include "files/WallpaperFile.h"
#include "files/frmBulk.h"
#include "panel/FileListRules.h"
#include "viewer/PictureViewOps.h"
#include "viewer/ThumbnailRules.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFutureWatcher>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QtConcurrent>

#include <cerrno>
#include <memory>

frmInvisible::frmInvisible(FileListOps &list, PictureViewOps &view, QWidget *parent)
    : QWidget(parent)
    , m_list(list)
    , m_view(view)
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
    // Beyond the design's items, after a separator of their own.
    separatorTurn = mnuFile->addSeparator();
    mnuRotateRight = mnuFile->addAction(QStringLiteral("Rotate Right\tCtrl+R"));
    mnuRotateLeft = mnuFile->addAction(QStringLiteral("Rotate Left\tCtrl+L"));
    mnuFlipHorizontal = mnuFile->addAction(QStringLiteral("Flip Horizontally"));
    mnuFlipVertical = mnuFile->addAction(QStringLiteral("Flip Vertically"));
    mnuInfo = mnuFile->addAction(QStringLiteral("Picture &Information\tCtrl+I"));
    // Last, below a line of its own, and only when there is something to take back: the items
    // above keep their places (a keyboard user's Down, Down, Return opens what it always did).
    separatorUndo = mnuFile->addSeparator();
    mnuUndo = mnuFile->addAction(QStringLiteral("Undo"));
    mnuUndo->setVisible(false);
    separatorUndo->setVisible(false);
    // Shown only: the views handle the Delete key themselves.
    mnuDelete->setShortcut(QKeySequence(Qt::Key_Delete));
    mnuDelete->setShortcutContext(Qt::WidgetShortcut);
    mnuBulkRename->setVisible(false);
    // Named so tests and accessibility tools find each item.
    const std::pair<QObject *, const char *> names[] = {{mnuFile, "mnuFile"},
                                                        {mnuUndo, "mnuUndo"},
                                                        {mnuEdit, "mnuEdit"},
                                                        {mnuRename, "mnuRename"},
                                                        {mnuBulkRename, "mnuBulkRename"},
                                                        {mnuWallpaper, "mnuWallpaper"},
                                                        {mnuRefresh, "mnuRefresh"},
                                                        {mnuRotateRight, "mnuRotateRight"},
                                                        {mnuRotateLeft, "mnuRotateLeft"},
                                                        {mnuFlipHorizontal, "mnuFlipHorizontal"},
                                                        {mnuFlipVertical, "mnuFlipVertical"},
                                                        {mnuInfo, "mnuInfo"},
                                                        {mnuPrint, "mnuPrint"},
                                                        {mnuDelete, "mnuDelete"}};
    for (const auto &[item, name] : names) {
        item->setObjectName(QLatin1String(name));
    }

    connect(mnuUndo, &QAction::triggered, this, &frmInvisible::mnuUndo_Click);
    connect(mnuEdit, &QAction::triggered, this, &frmInvisible::mnuEdit_Click);
    connect(mnuRename, &QAction::triggered, this, &frmInvisible::mnuRename_Click);
    connect(mnuBulkRename, &QAction::triggered, this, &frmInvisible::mnuBulkRename_Click);
    connect(mnuWallpaper, &QAction::triggered, this, &frmInvisible::mnuWallpaper_Click);
    connect(mnuRefresh, &QAction::triggered, this, &frmInvisible::mnuRefresh_Click);
    connect(mnuRotateRight, &QAction::triggered, this, [this] { mnuTransform_Click(Transform::Rotate90); });
    connect(mnuRotateLeft, &QAction::triggered, this, [this] { mnuTransform_Click(Transform::Rotate270); });
    connect(mnuFlipHorizontal, &QAction::triggered, this, [this] { mnuTransform_Click(Transform::FlipHorizontal); });
    connect(mnuFlipVertical, &QAction::triggered, this, [this] { mnuTransform_Click(Transform::FlipVertical); });
    connect(mnuInfo, &QAction::triggered, this, &frmInvisible::mnuInfo_Click);
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
    // Turning changes the files a delete would take; the information is the printed picture's.
    for (QAction *turn : {mnuRotateRight, mnuRotateLeft, mnuFlipHorizontal, mnuFlipVertical}) {
        turn->setEnabled(state.deleteEnabled);
    }
    mnuInfo->setEnabled(state.printEnabled);
}

void frmInvisible::popupMenu(const QPoint &globalPos)
{
    mnuUndo->setVisible(!m_journal.isEmpty());
    separatorUndo->setVisible(!m_journal.isEmpty());
    if (!m_journal.isEmpty()) {
        mnuUndo->setText(QStringLiteral("Undo ") + m_journal.newest().label());
    }
    mnuFile->popup(globalPos);
}

namespace {

// The desktop entry this program is installed under, as the desktop names it.
QString OwnDesktopEntry()
{
    return QStringLiteral("vantrel-viewer.desktop");
}

} // namespace

void frmInvisible::mnuEdit_Click()
{
    emit commandRequested(QStringLiteral("Edit"));
    const FileListOps &side = m_list;
    const QString name = side.focusedName();
    if (name.isEmpty()) {
        return;
    }
    const QString path = JoinPath(side.currentFolder(), name);
    // The desktop is asked in the background; the interface goes on meanwhile.
    AskAssociatedProgram(path, this, [path](const QString &program) {
        if (program.isEmpty()) {
            MsgBox(QStringLiteral("You do not have a program associated with this file."), vbCritical);
            return;
        }
        if (program != OwnDesktopEntry()) {
            OpenWithAssociatedProgram(path);
            return;
        }
        // This program is the desktop's choice for pictures: opening the file "with it" would
        // only show it again. The next program associated with the file's type is offered.
        const QList<DesktopProgram> others = OtherAssociatedPrograms(path, program);
        if (others.isEmpty()) {
            MsgBox(QStringLiteral("Vantrel Viewer is the only program associated with this file, so there is no "
                                  "other program to edit it with."),
                   vbExclamation);
            return;
        }
        const DesktopProgram &next = others.first();
        if (MsgBox(QStringLiteral("Vantrel Viewer is the program associated with this file.\n\nEdit it with %1?")
                       .arg(next.name),
                   vbYesNo | vbQuestion, QStringLiteral("Edit")) == vbYes &&
            !OpenWithProgram(next, path)) {
            MsgBox(QStringLiteral("%1 could not be started.").arg(next.name), vbCritical);
        }
    });
}

void frmInvisible::mnuRename_Click()
{
    emit commandRequested(QStringLiteral("Rename"));
    SharedState &s = State();
    FileListOps &side = m_list;
    const QString folder = side.currentFolder();
    const QString oldName = side.focusedName();
    if (oldName.isEmpty()) {
        return;
    }
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
    recordUndo(RenameStep(UndoStep::Kind::Rename, folder, {{oldName, newName}}));
    side.refreshList();
    const bool fromThumb = s.PopupSource == QLatin1String("Thumb") && s.ThumbsLoaded;
    if (fromThumb && m_view.viewPresent()) {
        side.selectNamesQuietly({newName});
        m_view.renameThumbnail(s.CurrentThumb, newName);
    } else {
        side.openEntryNamed(newName); // none when the pattern hides it
    }
}

void frmInvisible::mnuBulkRename_Click()
{
    emit commandRequested(QStringLiteral("BulkRename"));
    if (m_bulk.isNull() || IsUnloaded(m_bulk)) {
        m_bulk = new frmBulk(m_list);
        connect(m_bulk, &frmBulk::undoStepDone, this, &frmInvisible::recordUndo);
        m_bulk->Form_Load();
    }
    frmBulk &dialog = *m_bulk;
    CentreOnScreen(dialog);
    ReturnFocusWhenHidden(dialog);
    // Modal, without a loop of its own: the dialog unloads itself when it is done.
    dialog.open();
}

void frmInvisible::mnuDelete_Click()
{
    emit commandRequested(QStringLiteral("Delete"));
    SharedState &s = State();
    FileListOps &side = m_list;
    side.CountSelected();
    PictureViewOps *viewer = m_view.viewPresent() ? &m_view : nullptr;
    const bool onPage = s.ThumbsLoaded && viewer != nullptr;
    const CommandTargets targets = TargetsOf(side.listSnapshot(), onPage ? viewer->pageSnapshot() : PageSnapshot());
    if (!targets.isEmpty()) {
        s.CurrentFile = targets.paths.last();
        QList<QPair<QString, QString>> trashed;
        SendToRecycleBin(JoinSourceList(targets.paths), &trashed);
        UndoStep step;
        step.kind = UndoStep::Kind::Delete;
        for (const auto &[original, inTrash] : std::as_const(trashed)) {
            if (const auto id = IdentityOf(inTrash)) {
                step.files.push_back(UndoFile{original, inTrash, *id, {}, {}});
            }
        }
        recordUndo(std::move(step));
    }
    // Only what really went to the trash is shown as gone.
    const QList<bool> gone = GoneAfterCommand(targets);
    if (onPage) {
        viewer->markThumbnails(targets.indexes, gone, QStringLiteral("File deleted"));
        viewer->ThumbBordersClose();
        side.refreshList();
    } else if (s.ThumbsLoaded) {
        side.refreshList();
    } else {
        side.showAfterRemoval(targets, gone);
    }
    side.focusList();
    if (side.listCount() == 0 && viewer != nullptr) {
        viewer->hidePicture();
    }
}

PictureSourceSnapshot frmInvisible::pictureSourceSnapshot(const PageSnapshot &page) const
{
    const SharedState &s = State();
    PictureSourceSnapshot snapshot;
    snapshot.PopupSource = s.PopupSource;
    snapshot.ThumbsLoaded = s.ThumbsLoaded;
    snapshot.CurrentThumb = s.CurrentThumb;
    snapshot.LastBorderSet = s.LastBorderSet;
    snapshot.ThumbTags = page.tags;
    snapshot.ImageVisible = !m_view.pictureFile().isEmpty();
    return snapshot;
}

QString frmInvisible::pictureFileOf(const PictureChoice &choice, const PageSnapshot &page) const
{
    if (choice.kind == PictureChoice::Kind::Image) {
        return m_view.pictureFile();
    }
    if (choice.kind == PictureChoice::Kind::Thumb && choice.thumb >= 0 && choice.thumb < page.names.size() &&
        m_list.listPresent()) {
        return JoinPath(m_list.currentFolder(), page.names.at(choice.thumb));
    }
    return {};
}

// What the thumbnail page holds now; nothing when the viewer is not there.
PageSnapshot frmInvisible::CurrentPage() const
{
    return m_view.pageSnapshot();
}

void frmInvisible::mnuTransform_Click(Transform asked)
{
    emit commandRequested(QStringLiteral("Transform"));
    SharedState &s = State();
    if (m_busy || !m_list.listPresent()) {
        return;
    }
    FileListOps &side = m_list;
    side.CountSelected();
    const PageSnapshot page = CurrentPage();
    const CommandTargets targets = TargetsOf(side.listSnapshot(), s.ThumbsLoaded ? page : PageSnapshot());
    if (targets.isEmpty()) {
        return;
    }
    const QString keep = UndoKeepFolder();
    UndoStep step;
    step.kind = UndoStep::Kind::Transform;
    step.name = TransformLabel(asked);
    QStringList problems;
    QStringList turned;
    SetMouseCursor(QStringLiteral("WAIT"));
    for (const QString &path : targets.paths) {
        FileTransformResult r = TransformJpegFile(path, asked, PartialBlocks::Refuse, keep);
        if (r.outcome == TransformOutcome::PartialBlocks) {
            // Cutting pixels off is the user's choice, file by file.
            SetDefaultMouseCursor();
            const int answer = MsgBox(
                QStringLiteral("The right or bottom edge of \"%1\" is not a whole block of the JPEG, so it cannot be "
                               "turned there without loss.\n\nCut off those few pixels and turn the rest without "
                               "loss?")
                    .arg(DisplayName(FileNameOf(path))),
                vbYesNo | vbQuestion);
            SetMouseCursor(QStringLiteral("WAIT"));
            if (answer != vbYes) {
                continue;
            }
            r = TransformJpegFile(path, asked, PartialBlocks::Trim, keep);
        }
        if (r.outcome != TransformOutcome::Done) {
            problems << TransformFailureText(r.outcome, FileNameOf(path));
            continue;
        }
        for (UndoFile &f : r.step.files) {
            step.files.push_back(std::move(f));
        }
        turned << path;
    }
    SetDefaultMouseCursor();
    recordUndo(std::move(step));
    if (!turned.isEmpty()) {
        m_view.leaveThumbnailPage();
        side.showRestored(turned);
    }
    if (!problems.isEmpty()) {
        MsgBox(problems.join(QLatin1Char('\n')), vbExclamation);
    }
}

void frmInvisible::mnuInfo_Click()
{
    emit commandRequested(QStringLiteral("Info"));
    if (!m_view.viewPresent()) {
        return;
    }
    const PageSnapshot page = CurrentPage();
    const PictureChoice choice = ChoosePrintPicture(pictureSourceSnapshot(page));
    const QString file = choice.kind == PictureChoice::Kind::NothingToDo ? QString() : pictureFileOf(choice, page);
    m_view.toggleInformation(file);
}

void frmInvisible::endBackgroundCommand()
{
    m_busy = false;
    SetDefaultMouseCursor();
}

void frmInvisible::mnuPrint_Click()
{
    emit commandRequested(QStringLiteral("Print"));
    if (m_busy) {
        return; // one page at a time
    }
    const SharedState &s = State();
    if (s.PopupSource.isEmpty() && !s.ThumbsLoaded) {
        // A picture on its way to the viewer counts as shown: the command goes on once what is
        // already queued (that picture's arrival among it) has run, and then takes the views as
        // they are. Meanwhile it counts as running, so a second Print waits for it.
        m_busy = true;
        QTimer::singleShot(0, this, [this] {
            m_busy = false;
            printChosenPicture();
        });
        return;
    }
    printChosenPicture();
}

void frmInvisible::printChosenPicture()
{
    const PageSnapshot page = CurrentPage();
    const PictureChoice choice = ChoosePrintPicture(pictureSourceSnapshot(page));
    if (choice.kind == PictureChoice::Kind::NothingToDo) {
        return;
    }
    const QString file = pictureFileOf(choice, page);
    if (choice.kind == PictureChoice::Kind::NotChosen || file.isEmpty()) {
        MsgBox(QStringLiteral("You have not selected an image to print."), vbCritical);
        return;
    }

    const float tppX = ScreenTwipsPerPixelX();
    const float tppY = ScreenTwipsPerPixelY();
    QString unavailable;
    const std::shared_ptr<QPrinter> printer = NewPrinter(&unavailable);
    if (!printer) {
        MsgBox(QStringLiteral("Printing is not available: %1.").arg(unavailable), vbCritical);
        return;
    }
    PreparePrinter(*printer, file, tppX, tppY);
    CommonDialogPrint.CancelError = true;
    // Selection disabled; printing to a file stays offered, since without a printer a PDF is the
    // only page there is.
    CommonDialogPrint.Flags = 0x4;
    if (!CommonDialogPrint.ShowPrinter(*printer)) {
        return;
    }

    // A full-resolution picture takes a moment to decode and send; the interface stays live.
    m_busy = true;
    SetMouseCursor(QStringLiteral("WAIT"));
    auto *watcher = new QFutureWatcher<PrintResult>(this);
    connect(watcher, &QFutureWatcher<PrintResult>::finished, this, [this, watcher] {
        const PrintResult result = watcher->result();
        watcher->deleteLater();
        endBackgroundCommand();
        if (result == PrintResult::CannotRead) {
            MsgBox(QStringLiteral("The picture could not be read, so nothing was printed."), vbCritical);
        } else if (result == PrintResult::PrinterFailed) {
            MsgBox(QStringLiteral("The printer did not accept the page."), vbCritical);
        } else if (result == PrintResult::Unavailable) {
            MsgBox(QStringLiteral("Printing is not available."), vbCritical);
        }
        emit backgroundCommandFinished();
    });
    watcher->setFuture(
        QtConcurrent::run([printer, file, tppX, tppY] { return PrintPictureFile(file, *printer, tppX, tppY); }));
}

void frmInvisible::mnuWallpaper_Click()
{
    emit commandRequested(QStringLiteral("Wallpaper"));
    if (m_busy) {
        return;
    }
    const SharedState &s = State();
    const PageSnapshot page = CurrentPage();
    const QString file = pictureFileOf(ChooseWallpaperPicture(pictureSourceSnapshot(page)), page);
    if (file.isEmpty()) {
        MsgBox(QStringLiteral("You have not selected an image to use as wallpaper."), vbExclamation);
        return;
    }
    const QSize screen(static_cast<int>(s.ScreenWidthPx), static_cast<int>(s.ScreenHeightPx));
    const float tppX = ScreenTwipsPerPixelX();
    const float tppY = ScreenTwipsPerPixelY();
    const QStringList folders = WallpaperFolders();

    struct Outcome
    {
        std::optional<WallpaperBitmap> bitmap;
        WallpaperError error = WallpaperError::None;
        WallpaperOutcome applied;
    };
    m_busy = true;
    SetMouseCursor(QStringLiteral("WAIT"));
    auto *watcher = new QFutureWatcher<Outcome>(this);
    connect(watcher, &QFutureWatcher<Outcome>::finished, this, [this, watcher] {
        const Outcome outcome = watcher->result();
        watcher->deleteLater();
        endBackgroundCommand();
        if (!outcome.bitmap) {
            MsgBox(outcome.error == WallpaperError::CannotRead
                       ? QStringLiteral("The picture could not be read, so the wallpaper was not changed.")
                       : QStringLiteral("The wallpaper bitmap could not be written, so the wallpaper was not "
                                        "changed."),
                   vbCritical);
        } else if (!outcome.applied.applied) {
            // The bitmap is there; the user can still set it by hand.
            MsgBox(QStringLiteral("The picture was saved as %1, but the desktop could not be told to show it. %2")
                       .arg(outcome.bitmap->path, outcome.applied.problem),
                   vbExclamation);
        }
        emit backgroundCommandFinished();
    });
    watcher->setFuture(QtConcurrent::run([file, screen, folders, tppX, tppY] {
        Outcome outcome;
        outcome.bitmap = MakeWallpaperBitmap(file, screen, folders, tppX, tppY, &outcome.error);
        if (outcome.bitmap) {
            outcome.applied = ApplyWallpaper(outcome.bitmap->path);
        }
        return outcome;
    }));
}

void frmInvisible::mnuRefresh_Click()
{
    emit commandRequested(QStringLiteral("Refresh"));
    FileListOps &side = m_list;
    side.refreshList();
    if (side.listCount() >= 1) {
        side.selectEntry(0);
    }
}

void frmInvisible::recordUndo(UndoStep step)
{
    m_journal.record(std::move(step));
}

void frmInvisible::mnuUndo_Click()
{
    emit commandRequested(QStringLiteral("Undo"));
    if (m_journal.isEmpty()) {
        return;
    }
    SetMouseCursor(QStringLiteral("WAIT"));
    const UndoResult result = m_journal.undo();
    SetDefaultMouseCursor();
    if (m_list.listPresent()) {
        m_view.leaveThumbnailPage();
        m_list.showRestored(result.restored);
    }
    if (!result.refused.isEmpty()) {
        QString text = QStringLiteral("These files could not be taken back:\n");
        for (const UndoRefusal &r : result.refused) {
            text += QStringLiteral("\n%1: %2").arg(QDir::toNativeSeparators(r.path), r.reason);
        }
        MsgBox(text, vbExclamation);
    }
}
