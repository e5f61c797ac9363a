// SPDX-License-Identifier: GPL-2.0-or-later
#include "Controls.h"
#include "ProgramUnderTest.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "controls/ARButton.h"
#include "controls/PictureImage.h"
#include "files/FileMenuRules.h"
#include "files/RenameRules.h"
#include "files/Renaming.h"
#include "files/frmBulk.h"
#include "files/frmInvisible.h"
#include "panel/FileListBox.h"
#include "panel/frmSide.h"
#include "viewer/ThumbnailRules.h"
#include "viewer/frmPictureViewer.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <cerrno>
#include <memory>

namespace {

QStringList Names(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

bool WriteText(const QString &path, const QByteArray &text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
}

QByteArray Read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class FileMenuTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProgramUnderTest> program;
    QString pics;

    // The program on a folder of pictures with these names.
    void startOn(const QStringList &names)
    {
        program = std::make_unique<ProgramUnderTest>();
        pics = program->env.path("pics");
        QDir().mkpath(pics);
        for (const QString &n : names) {
            QVERIFY(WriteJpeg(pics + '/' + n, 40, 30));
        }
        SaveSetting(AppName, "Directories", "pics", pics);
        SaveSetting(AppName, "Settings", "Basename", "pics");
        QCOMPARE(EntryProcedure(), Road::Normal);
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::Side) && Forms::frmPictureViewer().isVisible());
        QTRY_COMPARE(list()->ListCount(), static_cast<int>(names.size()));
    }
    static QStringList numbered(int count)
    {
        QStringList names;
        for (int i = 0; i < count; ++i) {
            names << QStringLiteral("%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
        }
        return names;
    }
    static FileListBox *list() { return Control<FileListBox>(Forms::frmSide(), "File1"); }
    static frmInvisible &menu() { return Forms::frmInvisible(); }
    ScriptedDialogs &dialogs() { return program->dialogs; }
    static void select(std::initializer_list<int> entries)
    {
        bool first = true;
        for (const int i : entries) {
            if (first) {
                list()->setListIndex(i);
                first = false;
            } else {
                list()->setSelected(i, true);
            }
        }
    }
    static QList<int> selectedEntries()
    {
        QList<int> s;
        for (int i = 0; i < list()->ListCount(); ++i) {
            if (list()->Selected(i)) {
                s << i;
            }
        }
        return s;
    }

private slots:
    void cleanup() { program.reset(); }

    void menuItemsAndStates()
    {
        startOn(numbered(2));
        frmInvisible &m = menu();
        QStringList captions;
        for (QAction *a : Control<QMenu>(m, "mnuFile")->actions()) {
            if (a != Control<QAction>(m, "mnuUndo") && (a->isVisible() || !a->isSeparator())) {
                captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
            }
        }
        // Nothing to take back yet: the undo item and its line stay hidden and the nine items keep their order;
        // turning and the information come after them.
        QCOMPARE(captions,
                 (QStringList{"Edit...", "Rename...", "Multiple File Rename...", "Set as Wallpaper", "&Refresh Folder",
                              "-", "&Print...", "-", "Delete", "-", "Rotate Right\tCtrl+R", "Rotate Left\tCtrl+L",
                              "Flip Horizontally", "Flip Vertically", "Picture &Information\tCtrl+I"}));
        QCOMPARE(Control<QAction>(m, "mnuDelete")->shortcut(), QKeySequence(Qt::Key_Delete));
        QVERIFY(!m.isVisible());

        // Edit, Rename shown/enabled, Multiple shown/enabled, Wallpaper, Refresh, Print, Delete.
        struct Row
        {
            const char *context;
            FileMenuState state;
            bool expected[9];
        };
        const Row rows[] = {
            {"picture", MenuForPicture(), {1, 1, 1, 0, 1, 1, 1, 1, 1}},
            {"list, on focused, one", MenuForFileList({false, true, 1}), {1, 1, 1, 0, 1, 1, 1, 1, 1}},
            {"list, on focused, several", MenuForFileList({false, true, 2}), {1, 0, 0, 1, 1, 1, 1, 1, 1}},
            {"list, elsewhere, one", MenuForFileList({false, false, 1}), {0, 1, 0, 0, 1, 0, 1, 0, 0}},
            {"list empty", MenuForFileList({true, false, 0}), {0, 1, 0, 0, 1, 0, 1, 0, 0}},
            {"list, elsewhere, several", MenuForFileList({false, false, 3}), {0, 0, 0, 1, 1, 0, 1, 0, 0}},
        };
        for (const Row &r : rows) {
            m.applyMenuState(r.state);
            const bool actual[9] = {
                Control<QAction>(m, "mnuEdit")->isEnabled(),
                Control<QAction>(m, "mnuRename")->isVisible(),
                Control<QAction>(m, "mnuRename")->isEnabled() && Control<QAction>(m, "mnuRename")->isVisible(),
                Control<QAction>(m, "mnuBulkRename")->isVisible(),
                Control<QAction>(m, "mnuBulkRename")->isEnabled() || !Control<QAction>(m, "mnuBulkRename")->isVisible(),
                Control<QAction>(m, "mnuWallpaper")->isEnabled(),
                Control<QAction>(m, "mnuRefresh")->isEnabled(),
                Control<QAction>(m, "mnuPrint")->isEnabled(),
                Control<QAction>(m, "mnuDelete")->isEnabled()};
            for (int i = 0; i < 9; ++i) {
                QVERIFY2(actual[i] == r.expected[i], qPrintable(QStringLiteral("%1: item %2").arg(r.context).arg(i)));
            }
        }
        QVERIFY(MenuKeepsLastState({false, true, 0}));
    }

    void edit()
    {
        startOn(numbered(2));
        QTemporaryDir xdg;
        // Only the test's own associations count; the system's file types still do.
        QDir().mkpath(xdg.filePath("system"));
        QVERIFY(QFile::link("/usr/share/mime", xdg.filePath("system/mime")));
        qputenv("XDG_DATA_DIRS", xdg.filePath("system").toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", xdg.filePath("config").toLocal8Bit());
        qputenv("XDG_DATA_HOME", xdg.filePath("data").toLocal8Bit());
        list()->setListIndex(1);
        menu().mnuEdit_Click();
        // The desktop is asked in the background.
        QTRY_COMPARE(dialogs().asked.size(), 1);
        QCOMPARE(dialogs().asked.last().prompt, QStringLiteral("You do not have a program associated with this file."));
        QCOMPARE(dialogs().asked.last().style, int(vbCritical));

        QDir().mkpath(xdg.filePath("data/applications"));
        const QString marker = xdg.filePath("opened");
        const QString opener = xdg.filePath("opener.sh");
        QVERIFY(WriteText(opener, "#!/bin/sh\necho \"$1\" > '" + QFile::encodeName(marker) + "'\n"));
        QVERIFY(QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(WriteText(xdg.filePath("data/applications/vv-test.desktop"),
                          "[Desktop Entry]\nType=Application\nName=Test\nExec=" + QFile::encodeName(opener) +
                              " %f\nMimeType=image/jpeg;\n"));
        QVERIFY(WriteText(xdg.filePath("data/applications/mimeapps.list"),
                          "[Default Applications]\nimage/jpeg=vv-test.desktop\n"));
        // xdg-open opens files with their programs only when it is told of a display. A desktop
        // named outright keeps it from asking any X server or session bus which desktop runs, so
        // the display named is never connected to (nor, when set, the one the tests run under).
        qputenv("XDG_CURRENT_DESKTOP", "X-Generic");
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            qputenv("DISPLAY", ":0");
        }
        menu().mnuEdit_Click();
        QCOMPARE(dialogs().asked.size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(marker), 15000);
        QTRY_COMPARE(Read(marker).trimmed(), QFile::encodeName(pics + "/01.jpg"));

        // This program the desktop's choice for pictures (as the README suggests): Edit offers the
        // next associated program instead of opening the viewer itself, and Yes opens it.
        QVERIFY(QFile::remove(marker));
        QVERIFY(WriteText(xdg.filePath("data/applications/vantrel-viewer.desktop"),
                          "[Desktop Entry]\nType=Application\nName=Vantrel Viewer\nExec=/bin/false %f\n"
                          "MimeType=image/jpeg;\n"));
        QVERIFY(WriteText(xdg.filePath("data/applications/mimeapps.list"),
                          "[Default Applications]\nimage/jpeg=vantrel-viewer.desktop\n"));
        dialogs().msgAnswers = {vbYes};
        menu().mnuEdit_Click();
        QTRY_COMPARE(dialogs().asked.size(), 2);
        QCOMPARE(dialogs().asked.last().prompt,
                 QStringLiteral("Vantrel Viewer is the program associated with this file.\n\nEdit it with Test?"));
        QCOMPARE(dialogs().asked.last().style, int(vbYesNo | vbQuestion));
        QCOMPARE(dialogs().asked.last().title, QStringLiteral("Edit"));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(marker), 15000);
        QTRY_COMPARE(Read(marker).trimmed(), QFile::encodeName(pics + "/01.jpg"));
        // No other program for the type: said so.
        QVERIFY(QFile::remove(xdg.filePath("data/applications/vv-test.desktop")));
        menu().mnuEdit_Click();
        QTRY_COMPARE(dialogs().asked.size(), 3);
        QVERIFY2(dialogs().asked.last().prompt.contains("no other program"), qPrintable(dialogs().asked.last().prompt));
        QCOMPARE(dialogs().asked.last().style, int(vbExclamation));
    }

    void renameLoopsAndRefusals()
    {
        startOn({"a.jpg", "b.jpg", "c.jpg"});
        list()->setListIndex(0);
        ScriptedDialogs &d = dialogs();
        d.inputAnswers = {QString("b.jpg"), QString("x/y.jpg"), QString("   "), QString(".."), QString("new.jpg")};
        menu().mnuRename_Click();
        QCOMPARE(d.asked.at(0).prompt, QStringLiteral("Enter new file name:"));
        QCOMPARE(d.asked.at(0).title, QStringLiteral("Rename File"));
        QCOMPARE(d.asked.at(1).prompt, QStringLiteral("File name already exists."));
        QCOMPARE(d.asked.at(1).style, int(vbExclamation));
        QCOMPARE(d.asked.at(3).prompt, QStringLiteral("A file name cannot contain '/'."));
        QCOMPARE(d.asked.at(5).prompt, QStringLiteral("A file name cannot be empty or only spaces."));
        QCOMPARE(d.asked.at(7).prompt, QStringLiteral("'..' cannot be a file name."));
        QCOMPARE(d.asked.size(), 9);
        QCOMPARE(Names(pics), (QStringList{"b.jpg", "c.jpg", "new.jpg"}));
        QCOMPARE(selectedEntries(), QList<int>{2});
        QCOMPARE(State().CurrentFile, pics + "/new.jpg"); // the renamed picture is shown

        // Cancel, an empty answer and the old name change nothing.
        d.asked.clear();
        for (const std::optional<QString> &answer : {std::optional<QString>(), std::optional<QString>(QString()),
                                                     std::optional<QString>(QStringLiteral("b.jpg"))}) {
            list()->setListIndex(0);
            d.inputAnswers = {answer};
            menu().mnuRename_Click();
        }
        QCOMPARE(d.asked.size(), 3);
        QCOMPARE(Names(pics), (QStringList{"b.jpg", "c.jpg", "new.jpg"}));

        // A change of letter case only is a rename, not an existing name.
        list()->setListIndex(0);
        d.inputAnswers = {QString("B.jpg")};
        menu().mnuRename_Click();
        QCOMPARE(Names(pics), (QStringList{"B.jpg", "c.jpg", "new.jpg"}));
        // A name the pattern hides: renamed, nothing selected.
        list()->setListIndex(1);
        d.inputAnswers = {QString("c.txt")};
        menu().mnuRename_Click();
        QVERIFY(QFileInfo::exists(pics + "/c.txt"));
        QCOMPARE(list()->ListCount(), 2);
        QVERIFY(selectedEntries().isEmpty());
        QCOMPARE(Control<QLabel>(Forms::frmSide(), "lblFileCounter")->text(), QStringLiteral("2 Files"));
    }

    void renameNeverReplaces()
    {
        QTemporaryDir dir;
        QVERIFY(WriteText(dir.filePath("a.jpg"), "a"));
        QVERIFY(WriteText(dir.filePath("b.jpg"), "b")); // arrived after any look
        QCOMPARE(RenameNoReplace(dir.path(), "a.jpg", "b.jpg"), -EEXIST);
        QCOMPARE(Read(dir.filePath("a.jpg")), QByteArray("a"));
        QCOMPARE(Read(dir.filePath("b.jpg")), QByteArray("b"));
        QVERIFY(!NameTaken(dir.path(), "a.jpg", "A.jpg"));
        QVERIFY(NameTaken(dir.path(), "a.jpg", "b.jpg"));
    }

    void renameFromThumbnail()
    {
        startOn(numbered(4));
        QVERIFY(ClickThumbnails());
        frmPictureViewer &viewer = Forms::frmPictureViewer();
        viewer.Thumb1_MouseDown(2, 2, 0, 0, 0); // the right click that opens the menu
        Control<QMenu>(menu(), "mnuFile")->hide();
        dialogs().inputAnswers = {QString("renamed.jpg")};
        menu().mnuRename_Click();
        QCOMPARE(Element<PictureImage>(viewer, "Thumb1", 2)->toolTip(), QStringLiteral("renamed.jpg"));
        QCOMPARE(Element<PictureImage>(viewer, "Thumb1", 2)->Tag, QStringLiteral("selected00"));
        QVERIFY(State().ThumbsLoaded);
        QCOMPARE(selectedEntries(), QList<int>{3});
        QCOMPARE(list()->List(3), QStringLiteral("renamed.jpg"));
    }

    void deleteFromTheList()
    {
        startOn(numbered(8));
        const QString trash = program->env.path("data/Trash");
        // The last entry: the new last one is selected.
        list()->setListIndex(7);
        menu().mnuDelete_Click();
        QCOMPARE(list()->ListCount(), 7);
        QCOMPARE(list()->ListIndex(), 6);
        QVERIFY(QFileInfo::exists(trash + "/files/07.jpg"));
        QVERIFY(QFileInfo::exists(trash + "/info/07.jpg.trashinfo"));
        QVERIFY(program->dialogs.asked.isEmpty());
        // A middle entry: its follower takes its place.
        list()->setListIndex(1);
        menu().mnuDelete_Click();
        QCOMPARE(list()->List(list()->ListIndex()), QStringLiteral("02.jpg"));
        QCOMPARE(list()->ListIndex(), 1);
        // Entries 2 to 4 (03, 04, 05): the old entry 5 (06.jpg) stands at 2 and is selected.
        select({2, 3, 4});
        menu().mnuDelete_Click();
        QCOMPARE(Names(pics), (QStringList{"00.jpg", "02.jpg", "06.jpg"}));
        QCOMPARE(list()->ListIndex(), 2);
        QCOMPARE(Control<QLabel>(Forms::frmSide(), "lblFileCounter")->text(), QStringLiteral("3 Files"));
        // No focused entry: nothing goes.
        list()->setListIndex(-1);
        menu().mnuDelete_Click();
        QCOMPARE(list()->ListCount(), 3);
        // The tail: nothing to select after it.
        select({1, 2});
        menu().mnuDelete_Click();
        QCOMPARE(Names(pics), QStringList{"00.jpg"});
        QVERIFY(selectedEntries().isEmpty());
        // The last file of all: the picture goes.
        list()->setListIndex(0);
        menu().mnuDelete_Click();
        QCOMPARE(list()->ListCount(), 0);
        QCOMPARE(Control<QLabel>(Forms::frmSide(), "lblFileCounter")->text(), QStringLiteral("0 Files"));
        QVERIFY(!Control<PictureImage>(Forms::frmPictureViewer(), "Image1")->isVisible());
        QCOMPARE(Names(trash + "/files").size(), 8);

        // Restorable as a file manager restores it.
        if (QStandardPaths::findExecutable("gio").isEmpty() ||
            QStandardPaths::findExecutable("dbus-run-session").isEmpty()) {
            QSKIP("gio is not installed");
        }
        QProcess gio;
        gio.start("dbus-run-session", {"--", "gio", "trash", "--restore", "trash:///03.jpg"});
        QVERIFY(gio.waitForFinished(20000));
        QCOMPARE(gio.exitCode(), 0);
        QVERIFY(QFileInfo::exists(pics + "/03.jpg"));
    }

    // Names of 250 bytes, whose trash records would have 260: the Delete key sends them to the
    // trash under shortened names, each its own, with the whole original path in the record, and
    // Ctrl+Z brings them back under their own names.
    void longNamesGoToTheTrash()
    {
        const QString stem(242, QLatin1Char('a'));
        const QStringList names{stem + "-one.jpg", stem + "-two.jpg"}; // alike in their first 245 bytes
        QCOMPARE(names.first().toUtf8().size(), 250);
        startOn(names);
        const QString trash = program->env.path("data/Trash");
        for (int i = 0; i < 2; ++i) {
            list()->setListIndex(0);
            QTest::keyClick(list(), Qt::Key_Delete);
            QVERIFY2(program->dialogs.asked.isEmpty(), qPrintable(program->dialogs.asked.value(0).prompt));
        }
        QVERIFY(Names(pics).isEmpty());
        const QStringList inTrash = Names(trash + "/files");
        QCOMPARE(inTrash.size(), 2);
        QByteArray records;
        for (const QString &name : inTrash) {
            QVERIFY(name.toUtf8().size() + 10 <= 255);
            QVERIFY(name.endsWith(".jpg"));
            records += Read(trash + "/info/" + name + ".trashinfo");
        }
        for (const QString &name : names) {
            QVERIFY(records.contains("Path=" + QUrl::toPercentEncoding(pics + '/' + name, "/")));
        }
        QTest::keyClick(list(), Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(list(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Names(pics), names);
        QVERIFY(Names(trash + "/files").isEmpty());
        QVERIFY(Names(trash + "/info").isEmpty());
    }

    // A box that names such a file breaks the name rather than growing wider than the screen.
    void aBoxWithALongNameFitsTheScreen()
    {
        SetDialogProvider(nullptr); // the real box
        const QString name = QString(250, QLatin1Char('b')) + QStringLiteral(".jpg");
        int width = -1;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            width = box->frameGeometry().width();
            QTest::keyClick(box, Qt::Key_Return);
        });
        QCOMPARE(MsgBox(QStringLiteral("'%1' could not be moved to the trash, so it was not deleted.").arg(name),
                        vbCritical),
                 int(vbOK));
        QVERIFY(width > 0);
        QVERIFY2(width <= QGuiApplication::primaryScreen()->availableGeometry().width(),
                 qPrintable(QString::number(width)));
    }

    void deleteOnTheThumbnailPage()
    {
        startOn(numbered(5));
        QVERIFY(ClickThumbnails());
        frmPictureViewer &viewer = Forms::frmPictureViewer();
        viewer.Thumb1_MouseDown(1, 1, 0, 0, 0);
        viewer.Thumb1_MouseDown(3, 1, 2, 0, 0);
        const QRect was = Element<PictureImage>(viewer, "Thumb1", 3)->geometry();
        viewer.Form_KeyDown(46, 0); // the Delete key
        QCOMPARE(Names(pics), (QStringList{"00.jpg", "02.jpg", "04.jpg"}));
        for (const int i : {1, 3}) {
            PictureImage *t = Element<PictureImage>(viewer, "Thumb1", i);
            QCOMPARE(t->toolTip(), QStringLiteral("File deleted"));
            QCOMPARE(t->Tag, QStringLiteral("invalid"));
            QVERIFY(!t->isEnabled());
            QCOMPARE(t->size(), QSize(36, 36));
        }
        QCOMPARE(Element<PictureImage>(viewer, "Thumb1", 3)->pos(), CentredPlaceholder(was));
        QCOMPARE(State().LastBorderSet, -1);
        QCOMPARE(list()->ListCount(), 3);
        QCOMPARE(Control<QLabel>(Forms::frmSide(), "lblFileCounter")->text(), QStringLiteral("3 Files"));
    }

    void refresh()
    {
        startOn(numbered(2));
        QVERIFY(WriteJpeg(pics + "/000.jpg", 10, 10));
        menu().mnuRefresh_Click();
        QCOMPARE(list()->ListCount(), 3);
        QCOMPARE(list()->ListIndex(), 0);
        QCOMPARE(Control<QLabel>(Forms::frmSide(), "lblFileCounter")->text(), QStringLiteral("3 Files"));
        for (const QString &n : Names(pics)) {
            QFile::remove(pics + '/' + n);
        }
        Forms::frmPictureViewer().Form_KeyDown(82, 4); // Alt+R
        QCOMPARE(Control<QLabel>(Forms::frmSide(), "lblFileCounter")->text(), QStringLiteral("0 Files"));
    }

    void bulkRules()
    {
        BulkTexts t;
        t.append = "_b";
        QCOMPARE(BulkNewName(BulkRule::AddEnd, "photo.jpg", t, 1), QStringLiteral("photo_b.jpg"));
        QCOMPARE(BulkNewName(BulkRule::AddEnd, "archive.tar.gz", t, 1), QStringLiteral("archive.tar_b.gz"));
        QCOMPARE(BulkNewName(BulkRule::AddEnd, "README", t, 1), QStringLiteral("README_b"));
        t.append = "b_";
        QCOMPARE(BulkNewName(BulkRule::AddFront, "photo.jpg", t, 1), QStringLiteral("b_photo.jpg"));
        t.complete = "Holiday";
        t.numberStyle = "001";
        QCOMPARE(BulkNewName(BulkRule::Complete, "x.JPG", t, 2), QStringLiteral("Holiday-002.JPG"));
        QCOMPARE(BulkNewName(BulkRule::Complete, "noext", t, 12), QStringLiteral("Holiday-012"));
        t.numberStyle = "other";
        QCOMPARE(BulkNewName(BulkRule::Complete, "a.gif", t, 7), QStringLiteral("Holiday-7.gif"));
        QCOMPARE(NumberInStyle(3, "1"), QStringLiteral("3"));
        QCOMPARE(NumberInStyle(3, "01"), QStringLiteral("03"));
        QCOMPARE(NumberInStyle(12345, "0001"), QStringLiteral("12345"));
        t.oldString = "IMG";
        t.newString = "Trip";
        QCOMPARE(BulkNewName(BulkRule::Replace, "IMG_1_IMG.jpg", t, 1), QStringLiteral("Trip_1_Trip.jpg"));
        QCOMPARE(BulkNewName(BulkRule::Replace, "img_1.jpg", t, 1), QStringLiteral("img_1.jpg"));
        QCOMPARE(ExtensionName(".hidden"), QString());
    }

    void batchChainsAndSwaps()
    {
        QTemporaryDir dir;
        for (const char *n : {"a.jpg", "b.jpg", "c.jpg", "x.jpg", "y.jpg", "keep.jpg"}) {
            QVERIFY(WriteText(dir.filePath(n), n));
        }
        using O = BatchRename::Outcome;
        const std::vector<BatchRename> plan = {
            {"a.jpg", "b.jpg", O::Unchanged, {}}, // a chain: a -> b -> c -> d
            {"b.jpg", "c.jpg", O::Unchanged, {}}, {"c.jpg", "d.jpg", O::Unchanged, {}},
            {"x.jpg", "y.jpg", O::Unchanged, {}}, // a swap
            {"y.jpg", "x.jpg", O::Unchanged, {}},
        };
        const auto done = RenameBatch(dir.path(), plan);
        for (const BatchRename &r : done) {
            QCOMPARE(r.outcome, O::Renamed);
            QCOMPARE(Read(dir.filePath(r.newName)), r.oldName.toUtf8());
        }
        QCOMPARE(Names(dir.path()), (QStringList{"b.jpg", "c.jpg", "d.jpg", "keep.jpg", "x.jpg", "y.jpg"}));

        // Collisions with each other and with a file that stays are refused before anything moves.
        const std::vector<BatchRename> clash = {
            {"b.jpg", "same.jpg", O::Unchanged, {}},
            {"c.jpg", "same.jpg", O::Unchanged, {}},
            {"d.jpg", "keep.jpg", O::Unchanged, {}},
            {"x.jpg", "d.jpg", O::Unchanged, {}}, // d stays (refused), so x cannot take its name
        };
        const auto refused = RenameBatch(dir.path(), clash);
        QCOMPARE(refused[0].outcome, O::Renamed);
        QCOMPARE(refused[1].outcome, O::Exists);
        QCOMPARE(refused[2].outcome, O::Exists);
        QCOMPARE(refused[3].outcome, O::Exists);
        QCOMPARE(Read(dir.filePath("same.jpg")), QByteArray("a.jpg"));
        QCOMPARE(Read(dir.filePath("keep.jpg")), QByteArray("keep.jpg"));
        QCOMPARE(Names(dir.path()).size(), 6);
    }

    void batchFailingHalfWay()
    {
        QTemporaryDir dir;
        QStringList names;
        for (int i = 0; i < 6; ++i) {
            names << QStringLiteral("f%1.jpg").arg(i);
            QVERIFY(WriteText(dir.filePath(names.last()), names.last().toUtf8()));
        }
        using O = BatchRename::Outcome;
        // A chain f0 -> f1 -> ... -> f5 -> g.jpg whose folder turns read-only after three renames.
        std::vector<BatchRename> plan;
        for (int i = 0; i < 6; ++i) {
            plan.push_back({names[i], i < 5 ? names[i + 1] : QStringLiteral("g.jpg"), O::Unchanged, {}});
        }
        int calls = 0;
        auto failingAfterThree = [&](const QByteArray &from, const QByteArray &to) {
            if (++calls > 3) {
                return -EROFS;
            }
            if (QFileInfo::exists(QFile::decodeName(to))) {
                return -EEXIST;
            }
            return ::rename(from.constData(), to.constData()) == 0 ? 0 : -errno;
        };
        const auto done = RenameBatch(dir.path(), plan, failingAfterThree);
        // Every file is under its old or its new name, and none is lost.
        QCOMPARE(Names(dir.path()).size(), 6);
        int renamed = 0;
        for (const BatchRename &r : done) {
            const QString where = r.outcome == O::Renamed ? r.newName : r.oldName;
            QCOMPARE(Read(dir.filePath(where)), r.oldName.toUtf8());
            renamed += r.outcome == O::Renamed ? 1 : 0;
        }
        QCOMPARE(renamed, 3);

        // A rotation in a folder that is read-only from the start: nothing changes.
        QTemporaryDir other;
        std::vector<BatchRename> rotation;
        for (int i = 0; i < 4; ++i) {
            QVERIFY(WriteText(other.filePath(names[i]), names[i].toUtf8()));
            rotation.push_back({names[i], names[(i + 1) % 4], O::Unchanged, {}});
        }
        const auto none =
            RenameBatch(other.path(), rotation, [](const QByteArray &, const QByteArray &) { return -EROFS; });
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(none[static_cast<std::size_t>(i)].outcome, O::Failed);
            QCOMPARE(Read(other.filePath(names[i])), names[i].toUtf8());
        }
        QCOMPARE(Names(other.path()).size(), 4);
    }

    void bulkDialog()
    {
        startOn({"photo.jpg", "pic.jpg", "shot.jpg", "other.jpg"});
        select({1, 2, 3}); // other, photo, pic... in list order
        menu().mnuBulkRename_Click();
        frmBulk &b = Forms::frmBulk();
        QVERIFY(b.isVisible());
        QVERIFY(b.isModal());
        QVERIFY(Control<QRadioButton>(b, "optReplace")->isChecked());
        QVERIFY(Control<QLineEdit>(b, "txtOldString")->isEnabled());
        QVERIFY(!Control<QLineEdit>(b, "txtAppend")->isEnabled());
        QVERIFY(Control<QLineEdit>(b, "txtAppend")->isReadOnly());
        QCOMPARE(Control<QComboBox>(b, "cmbComplete")->currentText(), QStringLiteral("01"));
        QCOMPARE(Control<QComboBox>(b, "cmbComplete")->count(), 4);
        // The tab order of the inputs.
        auto next = [](QWidget *w) {
            do {
                w = w->nextInFocusChain();
            } while (w->focusPolicy() == Qt::NoFocus);
            return w;
        };
        QCOMPARE(next(Control<QLineEdit>(b, "txtOldString")), Control<QLineEdit>(b, "txtNewString"));
        QCOMPARE(next(Control<QLineEdit>(b, "txtNewString")), Control<QLineEdit>(b, "txtAppend"));
        QCOMPARE(next(Control<QLineEdit>(b, "txtAppend")), Control<QLineEdit>(b, "txtComplete"));
        QCOMPARE(next(Control<QLineEdit>(b, "txtComplete")),
                 static_cast<QWidget *>(Control<QComboBox>(b, "cmbComplete")));
        Control<QRadioButton>(b, "optComplete")->click();
        QVERIFY(Control<QLineEdit>(b, "txtComplete")->isEnabled());
        QVERIFY(Control<QComboBox>(b, "cmbComplete")->isEnabled());
        QVERIFY(!Control<QLineEdit>(b, "txtOldString")->isEnabled());
        Control<QRadioButton>(b, "optAddEnd")->click();
        QVERIFY(Control<QLineEdit>(b, "txtAppend")->isEnabled());
        QVERIFY(!Control<QLineEdit>(b, "txtComplete")->isEnabled());

        // An empty append keeps every name: the summary counts all three.
        QTest::mouseClick(Control<ARButton>(b, "cmdRename"), Qt::LeftButton);
        QVERIFY(!Forms::IsLoaded(Forms::Form::Bulk));
        QCOMPARE(dialogs().asked.last().prompt,
                 QStringLiteral("Batch renaming completed. However, 3 files could not be renamed because they did "
                                "not contain the specified text string."));
        QCOMPARE(dialogs().asked.last().style, int(vbExclamation));
        Forms::FlushUnloaded();
    }

    void bulkDialogStartsAfreshAndReturnRenamesNothing()
    {
        startOn({"a.jpg", "b.jpg", "c.jpg"});
        select({0, 1});
        menu().mnuBulkRename_Click();
        frmBulk *first = &Forms::frmBulk();
        const auto separators = [](const frmBulk &dialog) {
            int lines = 0;
            for (const QFrame *f : dialog.findChildren<QFrame *>()) {
                lines += f->frameShape() == QFrame::HLine ? 1 : 0;
            }
            return lines;
        };
        QCOMPARE(separators(*first), 2);
        Control<QRadioButton>(*first, "optComplete")->click();
        Control<QLineEdit>(*first, "txtComplete")->setText("Trip");
        Control<QComboBox>(*first, "cmbComplete")->setEditText("0001");
        // Return in a text box is no click on Rename.
        Control<QLineEdit>(*first, "txtComplete")->setFocus();
        QTest::keyClick(Control<QLineEdit>(*first, "txtComplete"), Qt::Key_Return);
        QTest::keyClick(Control<QLineEdit>(*first, "txtComplete"), Qt::Key_Enter);
        QCOMPARE(Names(pics), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
        QVERIFY(dialogs().asked.isEmpty());
        QVERIFY(Forms::IsLoaded(Forms::Form::Bulk));
        // Escape dismisses it for good: the next opening starts as the first did.
        QTest::keyClick(first, Qt::Key_Escape);
        QVERIFY(!Forms::IsLoaded(Forms::Form::Bulk));
        Forms::FlushUnloaded();
        menu().mnuBulkRename_Click();
        frmBulk &again = Forms::frmBulk();
        QVERIFY(again.isVisible());
        QVERIFY(Control<QRadioButton>(again, "optReplace")->isChecked());
        QVERIFY(!Control<QRadioButton>(again, "optComplete")->isChecked());
        QCOMPARE(Control<QComboBox>(again, "cmbComplete")->currentText(), QStringLiteral("01"));
        QCOMPARE(Control<QComboBox>(again, "cmbComplete")->count(), 4);
        for (QLineEdit *edit : {Control<QLineEdit>(again, "txtOldString"), Control<QLineEdit>(again, "txtNewString"),
                                Control<QLineEdit>(again, "txtAppend"), Control<QLineEdit>(again, "txtComplete")}) {
            QVERIFY(edit->text().isEmpty());
        }
        QCOMPARE(separators(again), 2);
        // The close button too.
        again.close();
        QVERIFY(!Forms::IsLoaded(Forms::Form::Bulk));
        Forms::FlushUnloaded();
        QCOMPARE(Names(pics), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
    }

    void bulkDialogButtonsIgnoreARightClickOnly()
    {
        startOn({"a.jpg", "b.jpg", "c.jpg"});
        select({0, 1});
        menu().mnuBulkRename_Click();
        frmBulk &b = Forms::frmBulk();
        // A right click on Cancel does nothing; the left click after it cancels.
        QTest::mouseClick(Control<ARButton>(b, "cmdCancel"), Qt::RightButton);
        QVERIFY(Forms::IsLoaded(Forms::Form::Bulk));
        QVERIFY(!State().ButtonRightClick);
        QTest::mouseClick(Control<ARButton>(b, "cmdCancel"), Qt::MiddleButton);
        QVERIFY(Forms::IsLoaded(Forms::Form::Bulk));
        QTest::mouseClick(Control<ARButton>(b, "cmdCancel"), Qt::LeftButton);
        QVERIFY(!Forms::IsLoaded(Forms::Form::Bulk));
        Forms::FlushUnloaded();
        // The same for Rename.
        menu().mnuBulkRename_Click();
        frmBulk &c = Forms::frmBulk();
        Control<QRadioButton>(c, "optAddFront")->click();
        Control<QLineEdit>(c, "txtAppend")->setText("x_");
        QTest::mouseClick(Control<ARButton>(c, "cmdRename"), Qt::RightButton);
        QCOMPARE(Names(pics), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
        QTest::mouseClick(Control<ARButton>(c, "cmdRename"), Qt::LeftButton);
        QCOMPARE(Names(pics), (QStringList{"c.jpg", "x_a.jpg", "x_b.jpg"}));
        Forms::FlushUnloaded();
    }

    void bulkDialogRenames()
    {
        startOn({"a.jpg", "b.jpg", "c.jpg", "Holiday-002.jpg"});
        select({0, 1, 2});
        menu().mnuBulkRename_Click();
        frmBulk &b = Forms::frmBulk();
        Control<QRadioButton>(b, "optComplete")->click();
        Control<QLineEdit>(b, "txtComplete")->setText("Holiday");
        Control<QComboBox>(b, "cmbComplete")->setEditText("001");
        // The preview shows what will happen before anything does, once the typing pauses.
        QTRY_COMPARE(Control<QTreeWidget>(b, "lstPreview")->topLevelItemCount(), 3);
        QTRY_COMPARE(Control<QTreeWidget>(b, "lstPreview")->topLevelItem(0)->text(1),
                     QStringLiteral("Holiday-001.jpg"));
        QVERIFY(Control<QTreeWidget>(b, "lstPreview")->topLevelItem(1)->text(1).contains("name taken"));
        State().ButtonRightClick = true; // a right click on Rename does nothing but clear the flag
        b.cmdRename_Click();
        QVERIFY(Forms::IsLoaded(Forms::Form::Bulk));
        QVERIFY(!State().ButtonRightClick);
        b.cmdRename_Click();
        QCOMPARE(dialogs().asked.at(0).prompt,
                 QStringLiteral("Cannot rename 'b.jpg' as 'Holiday-002.jpg'. File name already exists."));
        QCOMPARE(dialogs().asked.at(0).style, int(vbCritical));
        QCOMPARE(dialogs().asked.at(1).prompt,
                 QStringLiteral("Batch renaming completed. However, one  file could not be renamed because it did "
                                "not contain the specified text string."));
        QCOMPARE(Names(pics), (QStringList{"Holiday-001.jpg", "Holiday-002.jpg", "Holiday-003.jpg", "b.jpg"}));
        // The renamed files are selected in place of the old selection.
        QList<int> expected;
        for (const char *n : {"Holiday-001.jpg", "Holiday-003.jpg"}) {
            for (int i = 0; i < list()->ListCount(); ++i) {
                if (list()->List(i) == n) {
                    expected << i;
                }
            }
        }
        std::sort(expected.begin(), expected.end());
        QCOMPARE(selectedEntries(), expected);
        Forms::FlushUnloaded();

        // Everything renamed: the plain success message.
        select({0, 1});
        menu().mnuBulkRename_Click();
        Control<QRadioButton>(Forms::frmBulk(), "optAddFront")->click();
        Control<QLineEdit>(Forms::frmBulk(), "txtAppend")->setText("x_");
        Forms::frmBulk().cmdRename_Click();
        QCOMPARE(dialogs().asked.last().prompt, QStringLiteral("Batch renaming successfully completed"));
        QCOMPARE(dialogs().asked.last().style, int(vbInformation));
    }
};

QTEST_MAIN(FileMenuTest)
#include "tst_filemenu.moc"
