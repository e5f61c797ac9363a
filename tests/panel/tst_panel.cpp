// SPDX-License-Identifier: GPL-2.0-or-later
#include "Controls.h"
#include "ProgramUnderTest.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/FolderNames.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/platform/AppPaths.h"
#include "controls/ARButton.h"
#include "controls/HelpWindow.h"
#include "controls/PictureImage.h"
#include "files/FileMenuRules.h"
#include "files/frmInvisible.h"
#include "panel/FileListBox.h"
#include "panel/FileListRules.h"
#include "panel/FlatComboBox.h"
#include "panel/OpenTarget.h"
#include "panel/PanelLayout.h"
#include "panel/frmSide.h"
#include "viewer/frmPictureViewer.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

#include <functional>
#include <memory>

using Forms::Form;

namespace {

void touch(const QString &path, int bytes = 0)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(bytes, 'x'));
}

void picture(const QString &path, int w = 64, int h = 48)
{
    QVERIFY(WriteJpeg(path, w, h));
}

std::array<QString, 6> captions(const char *a, const char *b, const char *c, const char *d, const char *e,
                                const char *f)
{
    return {QString::fromLatin1(a), QString::fromLatin1(b), QString::fromLatin1(c),
            QString::fromLatin1(d), QString::fromLatin1(e), QString::fromLatin1(f)};
}

} // namespace

class PanelTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProgramUnderTest> program;
    IsolatedEnvironment *env = nullptr;
    ScriptedDialogs *dialogs = nullptr;

    QString folder(const QString &name)
    {
        const QString path = env->path(name);
        QDir().mkpath(path);
        return path;
    }

    void registerFolder(const QString &name, const QString &path)
    {
        QVERIFY(SaveSetting(AppName, "Directories", name, path));
    }

    // A normal start up to the viewer on screen.
    void start()
    {
        QCOMPARE(EntryProcedure(), Road::Normal);
        QTRY_VERIFY(Forms::IsLoaded(Form::PictureViewer) && Forms::frmPictureViewer().isVisible());
    }

    frmSide &side() { return Forms::frmSide(); }

    // Y in twips of the middle of a list row.
    float rowY(int row)
    {
        const int pitch = Control<FileListBox>(side(), "File1")->rowHeight();
        return static_cast<float>((row - Control<FileListBox>(side(), "File1")->TopIndex()) * pitch + pitch / 2) *
               State().TwipsPerPixelY;
    }

private slots:
    void init()
    {
        program = std::make_unique<ProgramUnderTest>();
        env = &program->env;
        dialogs = &program->dialogs;
    }

    void cleanup() { program.reset(); }

    // ---- Rules without windows ----

    void layoutFollowsTheScreenHeight_data()
    {
        QTest::addColumn<float>("screen");
        QTest::addColumn<int>("listHeight");
        QTest::addColumn<int>("B");
        QTest::addColumn<int>("logoTop");
        QTest::addColumn<int>("panelHeight");
        QTest::newRow("480") << 480.0f << 214 << 252 << 445 << 600;
        QTest::newRow("600") << 600.0f << 331 << 369 << 565 << 600;
        QTest::newRow("768") << 768.0f << 474 << 512 << 733 << 768;
        QTest::newRow("1080") << 1080.0f << 474 << 512 << 1045 << 1080;
    }

    void layoutFollowsTheScreenHeight()
    {
        QFETCH(float, screen);
        QFETCH(int, listHeight);
        QFETCH(int, B);
        QFETCH(int, logoTop);
        QFETCH(int, panelHeight);
        const PanelLayout l = ComputePanelLayout(screen);
        QCOMPARE(l.File1.height(), listHeight);
        QCOMPARE(l.B, B);
        QCOMPARE(l.imgLogo.top(), logoTop);
        QCOMPARE(l.height, panelHeight);
        QCOMPARE(l.cmdFolder[0].top(), B + 17);
        QCOMPARE(l.cmdFolder[5].top(), B + 17 + 120);
        QCOMPARE(l.lblKB.top(), B + 164);
        QCOMPARE(l.ButtonLine.y1(), B + 161);
        if (screen != 480.0f && screen != 600.0f) {
            QCOMPARE(l.Line3Dark.y2(), static_cast<int>(screen));
        }
    }

    void folderReadingFiltersAndSorts()
    {
        const QString dir = folder("mixed");
        for (const char *name : {"IMG_10.jpg", "IMG_2.JPG", "img_1.jpeg", "a.Bmp", "b.gif", "c.wmf", "d.EMF",
                                 "notes.txt", "x.png", "jpg", "y.jpe"}) {
            touch(dir + "/" + name);
        }
        QDir().mkpath(dir + "/album.jpg"); // a folder named like a picture
        QVERIFY(QFile::link(dir + "/IMG_2.JPG", dir + "/link.jpg"));
        QVERIFY(QFile::link(dir + "/gone.jpg", dir + "/dangling.jpg"));
        const auto names = ReadFolder(dir, FilePattern("*.bmp;*.jpg;*.jpeg;*.gif;*.wmf;*.emf"));
        QVERIFY(names);
        QCOMPARE(*names, (QStringList{"a.Bmp", "b.gif", "c.wmf", "d.EMF", "img_1.jpeg", "IMG_2.JPG", "IMG_10.jpg",
                                      "link.jpg"}));
        QCOMPARE(ReadFolder(dir, FilePattern("*.zzz"))->size(), 0);
        QVERIFY(!ReadFolder(env->path("missing"), FilePattern("*.jpg")));
        QVERIFY(!ReadFolder(QString(), FilePattern("*.jpg")));
        QVERIFY(!ReadFolder(dir + "/IMG_2.JPG", FilePattern("*.jpg")));
    }

    void labels()
    {
        QCOMPARE(SizeLabel(QSize(640, 480), 57344), QStringLiteral("640 x 480\n57 Kb"));
        QCOMPARE(SizeLabel(QSize(1, 1), 999), QStringLiteral("1 x 1\n0 Kb"));
        QCOMPARE(SizeLabel(QSize(1, 1), 1000), QStringLiteral("1 x 1\n1 Kb"));
        QCOMPARE(FileCounterLabel(0), QStringLiteral("0 Files"));
    }

    void rowUnderPointer_data()
    {
        QTest::addColumn<int>("top");
        QTest::addColumn<double>("y");
        QTest::addColumn<int>("row");
        // 331-pixel list of 13-pixel rows at 15 twips per pixel: a row is 195 twips.
        QTest::newRow("first row") << 0 << 10.0 << 0;
        QTest::newRow("second row") << 0 << 200.0 << 1;
        QTest::newRow("scrolled") << 40 << 200.0 << 41;
        QTest::newRow("below the entries") << 0 << 4900.0 << 25;
    }

    void rowUnderPointer()
    {
        QFETCH(int, top);
        QFETCH(double, y);
        QFETCH(int, row);
        QCOMPARE(RowUnderPointer(top, y, 331, 13, 15), row);
    }

    void titleTipOnlyForNamesThatDoNotFit()
    {
        TipInput in;
        in.listOnScreen = QRect(1, 38, 166, 331);
        in.insideOnScreen = QPoint(3, 40); // a frame of two pixels
        in.rowInList = QRect(0, 26, 160, 13);
        in.textWidthPx = 159; // 166 >= 159 + 7: fits
        QVERIFY(!TitleTipRect(in));
        in.textWidthPx = 160;
        const auto tip = TitleTipRect(in);
        QVERIFY(tip);
        QCOMPARE(*tip, QRect(3, 40 + 26, 166, 15));
        in.textWidthPx = 150;
        in.scrollBarShown = true; // 166 - 16 < 157
        QVERIFY(TitleTipRect(in));
    }

    void reorderingKeepsTheSixCaptions()
    {
        const auto start = captions("1", "2", "3", "4", "5", "6");
        // Button 1 dragged down over 2 and 3: 2, 3, 1.
        QCOMPARE(ReorderedCaptions(start, 0, 1), captions("2", "1", "3", "4", "5", "6"));
        QCOMPARE(ReorderedCaptions(start, 0, 2), captions("2", "3", "1", "4", "5", "6"));
        QCOMPARE(ReorderedCaptions(start, 5, 1), captions("1", "6", "2", "3", "4", "5"));
        QCOMPARE(ReorderedCaptions(start, 3, 3), start);
        for (int from = 0; from < 6; ++from) {
            for (int to = 0; to < 6; ++to) {
                auto result = ReorderedCaptions(start, from, to);
                QCOMPARE(result[static_cast<std::size_t>(to)], start[static_cast<std::size_t>(from)]);
                std::sort(result.begin(), result.end());
                QCOMPARE(result, start);
            }
        }
        // Slots from the pointer's offset below the pressed button (24-pixel buttons).
        QCOMPARE(SlotUnderPointer(0, 100, 24, 15), 0);
        QCOMPARE(SlotUnderPointer(0, 360, 24, 15), 1);
        QCOMPARE(SlotUnderPointer(2, -1, 24, 15), 1);
        QCOMPARE(SlotUnderPointer(0, 99999, 24, 15), 5);
        QCOMPARE(SlotUnderPointer(3, -99999, 24, 15), 0);
    }

    void menuStatesByContext()
    {
        const FileMenuState picture = MenuForPicture();
        QVERIFY(picture.editEnabled && picture.renameVisible && picture.renameEnabled && !picture.bulkRenameVisible);
        QVERIFY(picture.deleteEnabled && picture.printEnabled && picture.wallpaperEnabled && picture.refreshEnabled);

        const FileMenuState oneOnFocus = MenuForFileList({false, true, 1});
        QVERIFY(oneOnFocus.editEnabled && oneOnFocus.renameVisible && oneOnFocus.renameEnabled);
        QVERIFY(!oneOnFocus.bulkRenameVisible && oneOnFocus.deleteEnabled);

        const FileMenuState severalOnFocus = MenuForFileList({false, true, 3});
        QVERIFY(severalOnFocus.editEnabled && !severalOnFocus.renameVisible);
        QVERIFY(severalOnFocus.bulkRenameVisible && severalOnFocus.bulkRenameEnabled && severalOnFocus.deleteEnabled);

        for (const FileListMenuContext c :
             {FileListMenuContext{false, false, 1}, FileListMenuContext{true, false, 0}}) {
            const FileMenuState s = MenuForFileList(c);
            QVERIFY(!s.editEnabled && s.renameVisible && !s.renameEnabled && !s.bulkRenameVisible);
            QVERIFY(!s.wallpaperEnabled && s.refreshEnabled && !s.printEnabled && !s.deleteEnabled);
        }
        const FileMenuState severalElsewhere = MenuForFileList({false, false, 2});
        QVERIFY(!severalElsewhere.editEnabled && !severalElsewhere.renameVisible);
        QVERIFY(severalElsewhere.bulkRenameVisible && severalElsewhere.bulkRenameEnabled);
        QVERIFY(!severalElsewhere.deleteEnabled && severalElsewhere.refreshEnabled);

        QVERIFY(MenuKeepsLastState({false, true, 0}));
        QVERIFY(!MenuKeepsLastState({true, false, 0}));
    }

    // ---- The panel at work ----

    void panelIsLaidOutAtTheCorner_data()
    {
        QTest::addColumn<QByteArray>("screen");
        QTest::addColumn<int>("B");
        QTest::newRow("640x480") << QByteArray("640x480") << 252;
        QTest::newRow("800x600 at 12 twips") << QByteArray("800x600@12") << 369;
        QTest::newRow("1024x768") << QByteArray("1024x768") << 512;
    }

    void panelIsLaidOutAtTheCorner()
    {
        QFETCH(QByteArray, screen);
        QFETCH(int, B);
        qputenv("VANTREL_SCREEN", screen);
        start();
        QCOMPARE(side().pos(), QPoint(0, 0));
        QCOMPARE(side().width(), 170);
        QCOMPARE(Control<FileListBox>(side(), "File1")->geometry().bottom() + 1, B);
        QCOMPARE(Element<ARButton>(side(), "cmdFolder", 0)->y(), B + 17);
        QCOMPARE(Control<ARButton>(side(), "cmdSlide")->geometry(), QRect(82, B, 67, 17));
        QCOMPARE(Control<QLabel>(side(), "lblFileCounter")->text(), QStringLiteral("0 Files"));
        QCOMPARE(Control<QLabel>(side(), "Label1")->text(), QStringLiteral("Dimensions:\nFile Size:"));
    }

    void choosingAFolderShowsItsFirstPicture()
    {
        const QString dir = folder("Holidays");
        picture(dir + "/b.jpg", 200, 100);
        picture(dir + "/a.jpg", 640, 480);
        touch(dir + "/notes.txt", 10);
        registerFolder("Holidays", dir);
        SaveSetting(AppName, "Settings", "Basename", "Holidays");
        start();
        QCOMPARE(Control<FileListBox>(side(), "File1")->ListCount(), 2);
        QCOMPARE(Control<QLabel>(side(), "lblFileCounter")->text(), QStringLiteral("2 Files"));
        QCOMPARE(Control<FileListBox>(side(), "File1")->ListIndex(), 0);
        QVERIFY(Control<FileListBox>(side(), "File1")->Selected(0));
        QCOMPARE(State().CurrentFile, dir + "/a.jpg");
        QVERIFY(Control<PictureImage>(Forms::frmPictureViewer(), "Image1")->isVisible());
        QVERIFY(Control<QLabel>(side(), "lblKB")->text().startsWith(QStringLiteral("640 x 480\n")));
        // A key moves on and shows the next picture, as a click does.
        Control<FileListBox>(side(), "File1")->setFocus();
        QTest::keyClick(Control<FileListBox>(side(), "File1"), Qt::Key_Down);
        QCOMPARE(State().CurrentFile, dir + "/b.jpg");
        QVERIFY(Control<QLabel>(side(), "lblKB")->text().startsWith(QStringLiteral("200 x 100\n")));
    }

    void unavailableFolderShowsItsNoticeWithoutAMessage()
    {
        registerFolder("Gone", env->path("not-there"));
        registerFolder("Here", folder("here"));
        SaveSetting(AppName, "Settings", "Basename", "Gone");
        start();
        QVERIFY(State().FolderUnavailable);
        QVERIFY(Control<QLineEdit>(side(), "txtUnavailable")->isVisible());
        QCOMPARE(Control<QLineEdit>(side(), "txtUnavailable")->text(), QStringLiteral("Folder Unavailable"));
        QCOMPARE(Control<FileListBox>(side(), "File1")->ListCount(), 0);
        QVERIFY(dialogs->asked.isEmpty());
        // Choosing a good folder takes the notice away.
        Control<QComboBox>(side(), "cmbFolders")
            ->setCurrentIndex(Control<QComboBox>(side(), "cmbFolders")->findText("Here"));
        QVERIFY(!State().FolderUnavailable);
        QVERIFY(!Control<QLineEdit>(side(), "txtUnavailable")->isVisible());
        QCOMPARE(GetSetting(AppName, "Settings", "Basename"), QStringLiteral("Here"));
    }

    void loadingFolderNamesLeavesTheSelectionAlone()
    {
        registerFolder("b", "/b");
        registerFolder("a", "/a");
        QComboBox empty;
        QSignalSpy changed(&empty, &QComboBox::currentIndexChanged);
        LoadFolderNames(empty);
        QCOMPARE(empty.count(), 2);
        QCOMPARE(empty.currentIndex(), -1);
        QCOMPARE(changed.count(), 0);
        QComboBox chosen;
        chosen.addItem("first");
        chosen.setCurrentIndex(0);
        LoadFolderNames(chosen);
        QCOMPARE(chosen.count(), 3);
        QCOMPARE(chosen.currentIndex(), 0);
        QCOMPARE(chosen.itemText(1), QStringLiteral("a"));
    }

    void storedFolderNoLongerRegisteredLeavesTheListAlone()
    {
        const QString dir = folder("kept");
        picture(dir + "/1.jpg");
        registerFolder("kept", dir);
        SaveSetting(AppName, "Settings", "Basename", "removed meanwhile");
        start();
        QCOMPARE(Control<FlatComboBox>(side(), "cmbFolders")->currentIndex(), -1);
        QVERIFY(Control<FileListBox>(side(), "File1")->Pattern() != QStringLiteral("*.zzz"));
        QVERIFY(Control<FileListBox>(side(), "File1")->Path() != AppPath());
        QCOMPARE(Control<FileListBox>(side(), "File1")->ListCount(), 0);
        QVERIFY(dialogs->asked.isEmpty());
    }

    void aRightOrMiddleClickCancelsOnlyItself_data()
    {
        QTest::addColumn<QString>("button");
        for (const char *name : {"Quit", "Minimize", "Help", "Slide Show", "Thumbnails", "hand"}) {
            QTest::newRow(name) << QString::fromLatin1(name);
        }
    }

    void aRightOrMiddleClickCancelsOnlyItself()
    {
        QFETCH(QString, button);
        const QString dir = folder("r");
        for (const char *name : {"1.jpg", "2.jpg", "3.jpg"}) {
            picture(dir + "/" + name);
        }
        registerFolder("r", dir);
        SaveSetting(AppName, "Settings", "Basename", "r");
        start();
        QWidget *target = nullptr;
        std::function<bool()> done;
        if (button == "Quit") {
            target = Control<ARButton>(side(), "cmdQuit");
            done = [] { return !Forms::IsLoaded(Form::Side); };
        } else if (button == "Minimize") {
            target = Control<ARButton>(side(), "cmdMinimize");
            done = [] { return Forms::frmPictureViewer().isMinimized(); };
        } else if (button == "Help") {
            target = Control<ARButton>(side(), "cmdHelp");
            done = [] { return HelpWindow::instance() != nullptr; };
        } else if (button == "Slide Show") {
            target = Control<ARButton>(side(), "cmdSlide");
            done = [] { return State().SlideShowOn; };
        } else if (button == "Thumbnails") {
            target = Control<ARButton>(side(), "cmdThumb");
            done = [] { return State().ThumbsLoaded; };
        } else {
            target = Control<PictureImage>(side(), "imgHand");
            done = [] { return State().ManualShow; };
        }
        QVERIFY(!done());
        QTest::mouseClick(target, Qt::RightButton);
        QVERIFY(!done());
        QVERIFY(!State().ButtonRightClick);
        QTest::mouseClick(target, Qt::MiddleButton);
        QVERIFY(!done());
        QVERIFY(!State().ButtonRightClick);
        QTest::mouseClick(target, Qt::LeftButton);
        QTRY_VERIFY(done());
    }

    void unavailableFolderLeavesTheEmptyListShowing()
    {
        registerFolder("Gone", env->path("not-there"));
        SaveSetting(AppName, "Settings", "SlideColor", "255");     // red list background
        SaveSetting(AppName, "Settings", "FontColor", "16711680"); // blue text
        SaveSetting(AppName, "Settings", "Basename", "Gone");
        start();
        QVERIFY(State().FolderUnavailable);
        QVERIFY(Control<QLineEdit>(side(), "txtUnavailable")->isVisible());
        QVERIFY(Control<FileListBox>(side(), "File1")->isVisible());
        QCOMPARE(Control<FileListBox>(side(), "File1")->ListCount(), 0);
        QCOMPARE(Control<FileListBox>(side(), "File1")->Pattern(), QStringLiteral("*.zzz"));
        // Around the notice, the empty list in its own colours rather than the panel's grey.
        const QImage panel = side().grab().toImage();
        const QRect list = Control<FileListBox>(side(), "File1")->geometry();
        const QRect notice = Control<QLineEdit>(side(), "txtUnavailable")->geometry();
        const QPoint below(list.center().x(), std::min(list.bottom() - 4, notice.bottom() + 6));
        QVERIFY(!notice.contains(below));
        QCOMPARE(QColor(panel.pixel(below)), QColor(Qt::red));
    }

    void folderBoxIsFlatInItsColours()
    {
        registerFolder("A folder", folder("a"));
        SaveSetting(AppName, "Settings", "FontColor", "65535"); // yellow
        SaveSetting(AppName, "Settings", "SlideColor", "16744448");
        SaveSetting(AppName, "Settings", "Basename", "A folder");
        start();
        FlatComboBox *box = Control<FlatComboBox>(side(), "cmbFolders");
        const QImage image = box->grab().toImage();
        const QRect field = box->fieldRect();
        // Every pixel of the field right of the text is the stored yellow, top to bottom.
        const int x = field.right() - 2;
        for (int y = field.top(); y <= field.bottom(); ++y) {
            QCOMPARE(QColor(image.pixel(x, y)), QColor(255, 255, 0));
        }
        int text = 0;
        for (int px = field.left(); px < field.left() + 40; ++px) {
            text += qBlue(image.pixel(px, field.center().y())) > 0x80 ? 1 : 0;
        }
        QVERIFY(text > 0); // the name in the other colour (smoothed at its edges)
    }

    void unreadableFileShowsTheNotice()
    {
        const QString dir = folder("f");
        touch(dir + "/broken.jpg", 1234);
        registerFolder("f", dir);
        SaveSetting(AppName, "Settings", "Basename", "f");
        start();
        QLabel *notice = Control<QLabel>(Forms::frmPictureViewer(), "lblError");
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QStringLiteral("'broken.jpg' is not in a recognised picture format. (1234 bytes)"));
        QCOMPARE(notice->x(), 440); // (1024 - 315) / 2 + 85 = 439.5, halves to even
        // The whole caption shows, the byte count on its last line: the label grows downwards.
        QCOMPARE(notice->y(), 200);
        QCOMPARE(notice->width(), 315);
        QVERIFY(notice->height() > 52);
        QVERIFY(notice->height() >= notice->heightForWidth(315));
        QVERIFY(!Control<PictureImage>(Forms::frmPictureViewer(), "Image1")->isVisible());
    }

    void vanishedFileSelectsTheNeighbour()
    {
        const QString dir = folder("v");
        for (const char *name : {"1.jpg", "2.jpg", "3.jpg"}) {
            picture(dir + "/" + name);
        }
        registerFolder("v", dir);
        SaveSetting(AppName, "Settings", "Basename", "v");
        start();
        QVERIFY(QFile::remove(dir + "/3.jpg"));
        Control<FileListBox>(side(), "File1")->setListIndex(2); // the last entry, gone behind the program's back
        QCOMPARE(Control<FileListBox>(side(), "File1")->ListCount(), 2);
        QCOMPARE(Control<FileListBox>(side(), "File1")->ListIndex(), 1);
        QCOMPARE(State().CurrentFile, dir + "/2.jpg");
        QCOMPARE(Control<QLabel>(side(), "lblFileCounter")->text(), QStringLiteral("2 Files"));
        QVERIFY(QFile::remove(dir + "/1.jpg"));
        Control<FileListBox>(side(), "File1")->setListIndex(0);
        QCOMPARE(Control<FileListBox>(side(), "File1")->ListIndex(), 0);
        QCOMPARE(State().CurrentFile, dir + "/2.jpg");
    }

    void vanishedFolderShowsFolderUnavailable()
    {
        const QString dir = folder("w");
        picture(dir + "/1.jpg");
        picture(dir + "/2.jpg");
        registerFolder("w", dir);
        SaveSetting(AppName, "Settings", "Basename", "w");
        start();
        QVERIFY(QDir(dir).removeRecursively());
        Control<FileListBox>(side(), "File1")->setListIndex(1);
        QVERIFY(Control<QLineEdit>(side(), "txtUnavailable")->isVisible());
        QVERIFY(!Control<FileListBox>(side(), "File1")->isVisible());
        QVERIFY(dialogs->asked.isEmpty());
    }

    void folderButtonsAssignOpenAndRefuse()
    {
        const QString tj = folder("Tom & Jerry");
        picture(tj + "/cat.jpg");
        registerFolder("Tom & Jerry", tj);
        registerFolder("Other", folder("other"));
        start();
        // Right press shows the assignment list; its double click assigns and saves at once.
        ARButton *button = Element<ARButton>(side(), "cmdFolder", 2);
        QTest::mouseClick(button, Qt::RightButton);
        QVERIFY(Control<QListWidget>(side(), "lstFolders")->isVisible());
        QCOMPARE(Control<QListWidget>(side(), "lstFolders")->item(0)->text(), QStringLiteral("(blank button)"));
        const auto found = Control<QListWidget>(side(), "lstFolders")->findItems("Tom & Jerry", Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        Control<QListWidget>(side(), "lstFolders")->setCurrentItem(found.first());
        side().lstFolders_DblClick();
        QCOMPARE(button->caption(), QStringLiteral("Tom && Jerry"));
        QCOMPARE(button->displayText(), QStringLiteral("Tom & Jerry"));
        QCOMPARE(State().Caption3, QStringLiteral("Tom && Jerry"));
        QCOMPARE(GetSetting(AppName, "Settings", "Caption3"), QStringLiteral("Tom && Jerry"));
        QTRY_VERIFY(!Control<QListWidget>(side(), "lstFolders")->isVisible());
        // A right click never opens; a left click opens the folder.
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(Control<QComboBox>(side(), "cmbFolders")->currentText(), QStringLiteral("Tom & Jerry"));
        QCOMPARE(State().CurrentFile, tj + "/cat.jpg");
        // A caption whose folder was removed is refused with a message; a blank button does nothing.
        Element<ARButton>(side(), "cmdFolder", 4)->setCaption(QStringLiteral("Gone && Lost"));
        QTest::mouseClick(Element<ARButton>(side(), "cmdFolder", 4), Qt::LeftButton);
        QCOMPARE(dialogs->asked.size(), 1);
        QCOMPARE(dialogs->asked.first().prompt, QStringLiteral("'Gone & Lost' is no longer available."));
        QCOMPARE(dialogs->asked.first().style, int(vbExclamation));
        QCOMPARE(dialogs->asked.first().title, QStringLiteral("Vantrel Viewer"));
        QTest::mouseClick(Element<ARButton>(side(), "cmdFolder", 5), Qt::LeftButton);
        QCOMPARE(dialogs->asked.size(), 1);
        // Blanking a button.
        QTest::mouseClick(button, Qt::RightButton);
        Control<QListWidget>(side(), "lstFolders")->setCurrentRow(0);
        side().lstFolders_DblClick();
        QCOMPARE(GetSetting(AppName, "Settings", "Caption3"), QString());
    }

    void draggingAFolderButtonReorders()
    {
        for (int i = 0; i < 6; ++i) {
            SaveSetting(AppName, "Settings", QStringLiteral("Caption%1").arg(i + 1), QStringLiteral("F%1").arg(i + 1));
        }
        start();
        const float row = 24 * State().TwipsPerPixelY;
        frmSide &p = side();
        p.cmdFolder_MouseDown(0, 1, 0, 10, 10);
        p.cmdFolder_MouseMove(0, 1, 0, 10, 20); // still on the pressed button
        QCOMPARE(Element<ARButton>(p, "cmdFolder", 0)->caption(), QStringLiteral("F1"));
        p.cmdFolder_MouseMove(0, 1, 0, 10, row + 10);     // over button 2
        p.cmdFolder_MouseMove(0, 1, 0, 10, 2 * row + 10); // over button 3
        QCOMPARE(Element<ARButton>(p, "cmdFolder", 2)->displayState(), 2);
        QVERIFY(Element<ARButton>(p, "cmdFolder", 2)->fontBold());
        p.cmdFolder_MouseUp(0, 1, 0, 10, 2 * row + 10);
        QCOMPARE(Element<ARButton>(p, "cmdFolder", 0)->caption(), QStringLiteral("F2"));
        QCOMPARE(Element<ARButton>(p, "cmdFolder", 1)->caption(), QStringLiteral("F3"));
        QCOMPARE(Element<ARButton>(p, "cmdFolder", 2)->caption(), QStringLiteral("F1"));
        QCOMPARE(Element<ARButton>(p, "cmdFolder", 2)->displayState(), 0);
        QVERIFY(!Element<ARButton>(p, "cmdFolder", 2)->fontBold());
        QCOMPARE(State().Caption1, QStringLiteral("F2"));
        QCOMPARE(State().Caption3, QStringLiteral("F1"));

        // A fast drag that jumps over several slots in one move keeps all six captions.
        p.cmdFolder_MouseDown(1, 1, 0, 10, 10);
        p.cmdFolder_MouseMove(1, 1, 0, 10, 4 * row + 10); // slot 5 at once
        p.cmdFolder_MouseMove(1, 1, 0, 10, -row + 10);    // and back up to slot 0
        p.cmdFolder_MouseUp(1, 1, 0, 10, -row + 10);
        QStringList shown;
        for (int i = 0; i < 6; ++i) {
            shown << Element<ARButton>(p, "cmdFolder", i)->caption();
        }
        QCOMPARE(shown, (QStringList{"F3", "F2", "F1", "F4", "F5", "F6"}));
        QStringList sorted = shown;
        sorted.sort();
        QCOMPARE(sorted, (QStringList{"F1", "F2", "F3", "F4", "F5", "F6"}));
        // Saved with the rest at the end of the run.
        p.cmdQuit_Click();
        QCOMPARE(GetSetting(AppName, "Settings", "Caption1"), QStringLiteral("F3"));
    }

    void handTogglesManualAdvance()
    {
        start();
        PictureImage *hand = Control<PictureImage>(side(), "imgHand");
        QVERIFY(!State().ManualShow);
        QTest::mouseClick(hand, Qt::LeftButton);
        QVERIFY(State().ManualShow);
        QCOMPARE(GetSetting(AppName, "Settings", "ManualShow"), QStringLiteral("True"));
        QCOMPARE(hand->picture().size(), QSize(19, 17));
        QTest::mouseClick(hand, Qt::RightButton); // sets the flag; the click that follows only clears it
        QVERIFY(State().ManualShow);
        QVERIFY(!State().ButtonRightClick);
        QTest::mouseClick(hand, Qt::LeftButton);
        QVERIFY(!State().ManualShow);
        QCOMPARE(GetSetting(AppName, "Settings", "ManualShow"), QStringLiteral("False"));
    }

    void rightPressPreparesTheMenuAndKeepsTheSelection()
    {
        const QString dir = folder("m");
        for (const char *name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"}) {
            picture(dir + "/" + name);
        }
        registerFolder("m", dir);
        SaveSetting(AppName, "Settings", "Basename", "m");
        start();
        frmInvisible &menu = Forms::frmInvisible();
        // One file, pointer on it.
        side().File1_MouseDown(2, 0, 10, rowY(0));
        QCOMPARE(State().PopupSource, QStringLiteral("FileList"));
        QCOMPARE(State().SelectedCount, std::int16_t(1));
        QVERIFY(Control<QAction>(menu, "mnuRename")->isVisible() && Control<QAction>(menu, "mnuRename")->isEnabled());
        QVERIFY(!Control<QAction>(menu, "mnuBulkRename")->isVisible());
        QVERIFY(Control<QAction>(menu, "mnuDelete")->isEnabled());
        Control<QMenu>(menu, "mnuFile")->hide();
        // One file, pointer below the entries.
        side().File1_MouseDown(2, 0, 10, rowY(20));
        QVERIFY(Control<QAction>(menu, "mnuRename")->isVisible() && !Control<QAction>(menu, "mnuRename")->isEnabled());
        QVERIFY(!Control<QAction>(menu, "mnuDelete")->isEnabled() && Control<QAction>(menu, "mnuRefresh")->isEnabled());
        Control<QMenu>(menu, "mnuFile")->hide();
        // Several files: a right press on the list keeps them selected.
        Control<FileListBox>(side(), "File1")->setSelected(2, true);
        QTest::mouseClick(Control<FileListBox>(side(), "File1")->viewport(), Qt::RightButton, {},
                          Control<FileListBox>(side(), "File1")
                              ->visualRect(Control<FileListBox>(side(), "File1")->model()->index(1, 0))
                              .center());
        QVERIFY(Control<FileListBox>(side(), "File1")->Selected(0));
        QVERIFY(Control<FileListBox>(side(), "File1")->Selected(2));
        QCOMPARE(State().SelectedCount, std::int16_t(2));
        QVERIFY(!Control<QAction>(menu, "mnuRename")->isVisible());
        QVERIFY(Control<QAction>(menu, "mnuBulkRename")->isVisible());
        Control<QMenu>(menu, "mnuFile")->hide();
        QCOMPARE(Control<QAction>(menu, "mnuDelete")->shortcut(), QKeySequence(Qt::Key_Delete));
        QCOMPARE(Control<QAction>(menu, "mnuRefresh")->text(), QStringLiteral("&Refresh Folder"));
    }

    // A right-click on a selected entry that is not the focused one offers the commands for the
    // selection, as on the focused one.
    void rightClickOnASelectedEntryOffersItsCommands()
    {
        const QString dir = folder("s");
        for (const char *name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"}) {
            picture(dir + "/" + name);
        }
        registerFolder("s", dir);
        SaveSetting(AppName, "Settings", "Basename", "s");
        start();
        frmInvisible &menu = Forms::frmInvisible();
        auto *list = Control<FileListBox>(side(), "File1");
        list->setListIndex(0);
        list->setSelected(2, true);
        QTest::mouseClick(list->viewport(), Qt::RightButton, {}, list->visualRect(list->model()->index(2, 0)).center());
        QVERIFY(list->Selected(0) && list->Selected(2));
        for (const char *item : {"mnuEdit", "mnuWallpaper", "mnuPrint", "mnuDelete", "mnuBulkRename"}) {
            QVERIFY2(Control<QAction>(menu, item)->isEnabled(), item);
        }
        Control<QMenu>(menu, "mnuFile")->hide();
    }

    void titleTipShowsOverTheRowWhoseNameDoesNotFit()
    {
        const QString dir = folder("t");
        const QString longName = QStringLiteral("a very long name of a holiday picture that does not fit.jpg");
        picture(dir + "/" + longName);
        picture(dir + "/short.jpg");
        registerFolder("t", dir);
        SaveSetting(AppName, "Settings", "Basename", "t");
        start();
        Forms::frmPictureViewer().activateWindow();
        QApplication::setActiveWindow(&Forms::frmPictureViewer());
        QTRY_VERIFY(QApplication::activeWindow() != nullptr);
        FileListBox *list = Control<FileListBox>(side(), "File1");
        QCOMPARE(list->List(0), longName);
        // The pointer moves over the list's rows as the window system reports it.
        const auto moveTo = [list](int y) {
            const QPoint at(10, y);
            QMouseEvent move(QEvent::MouseMove, at, list->viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QCoreApplication::sendEvent(list->viewport(), &move);
        };
        const QRect row0 = list->visualRect(list->model()->index(0, 0));
        const QRect row1 = list->visualRect(list->model()->index(1, 0));
        QLabel *tip = side().titleTip();
        moveTo(row0.bottom()); // the last pixel line of the first row
        QVERIFY(tip->isVisible());
        QCOMPARE(tip->text(), longName);
        // Exactly over the row, with its text at the top, as the row shows it.
        QCOMPARE(tip->geometry().topLeft(), list->viewport()->mapToGlobal(row0.topLeft()));
        QCOMPARE(tip->width(), list->fontMetrics().horizontalAdvance(longName) + 6);
        QCOMPARE(tip->height(), row0.height() + 2);
        QVERIFY(tip->alignment().testFlag(Qt::AlignTop));
        moveTo(row1.top()); // the first pixel line of short.jpg, which fits
        QVERIFY(!tip->isVisible());
        moveTo(row0.top());
        QVERIFY(tip->isVisible());
        moveTo(row1.bottom() + 5 * row1.height()); // below the entries
        QVERIFY(!tip->isVisible());
        // Not the active application: no tip.
        QApplication::setActiveWindow(nullptr);
        moveTo(row0.center().y());
        QVERIFY(!tip->isVisible());
    }

    void helpOpensAtItsContentsAndEveryLinkWorks()
    {
        start();
        side().cmdHelp_Click();
        HelpWindow *help = HelpWindow::instance();
        QVERIFY(help != nullptr);
        QTextBrowser *browser = help->browser();
        QVERIFY(browser->toPlainText().contains(QStringLiteral("Contents")));
        const QString html = browser->toHtml();
        static const QRegularExpression link(QStringLiteral("href=\"#([a-z]+)\""));
        QStringList targets;
        for (auto it = link.globalMatch(html); it.hasNext();) {
            targets << it.next().captured(1);
        }
        targets.removeDuplicates();
        QVERIFY(targets.size() >= 9);
        for (const QString &target : targets) {
            QVERIFY2(html.contains(QStringLiteral("name=\"%1\"").arg(target)), qPrintable(target));
        }
        // F1 on the viewer opens the same help, and so does F1 anywhere in the panel.
        HelpWindow::closeInstance();
        QTRY_VERIFY(HelpWindow::instance() == nullptr);
        Forms::frmPictureViewer().Form_KeyDown(112, 0);
        QVERIFY(HelpWindow::instance() != nullptr);
        HelpWindow::closeInstance();
        QTRY_VERIFY(HelpWindow::instance() == nullptr);
        QTest::keyClick(Control<FileListBox>(side(), "File1"), Qt::Key_F1);
        QVERIFY(HelpWindow::instance() != nullptr);
        // Escape closes it.
        QTest::keyClick(HelpWindow::instance()->browser(), Qt::Key_Escape);
        QTRY_VERIFY(HelpWindow::instance() == nullptr);
    }

    // Escape closes a folder button's list, and does nothing else.
    void escapeClosesTheFolderButtonsList()
    {
        registerFolder("Other", folder("other"));
        start();
        auto *list = Control<QListWidget>(side(), "lstFolders");
        QTest::mouseClick(Element<ARButton>(side(), "cmdFolder", 1), Qt::RightButton);
        QVERIFY(list->isVisible());
        QTest::keyClick(Control<FileListBox>(side(), "File1"), Qt::Key_Escape);
        QVERIFY(!list->isVisible());
        QTest::mouseClick(Element<ARButton>(side(), "cmdFolder", 1), Qt::RightButton);
        QVERIFY(list->isVisible());
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Escape);
        QVERIFY(!list->isVisible());
        QVERIFY(HelpWindow::instance() == nullptr);
    }

    // A first start with no folder: the empty list says how to register one; once one is
    // registered, it says nothing more.
    void aFirstStartSaysHowToRegisterAFolder()
    {
        start();
        auto *hint = Control<QLabel>(side(), "FirstStartHint");
        QVERIFY(hint->isVisible());
        QVERIFY2(hint->text().contains("Settings") && hint->text().contains("green plus"), qPrintable(hint->text()));
        QVERIFY(Control<FileListBox>(side(), "File1")->geometry().contains(hint->geometry().center()));
        const QString pics = folder("pics");
        picture(pics + "/a.jpg");
        // Another start hands over a folder: it shows, and the hint no longer covers it.
        side().showTarget(OpenTarget{pics, QString()});
        QCOMPARE(Control<FileListBox>(side(), "File1")->ListCount(), 1);
        QVERIFY(!hint->isVisible());
        SaveSetting(AppName, "Directories", "pics", pics);
        side().insertFolderName(0, "pics");
        QVERIFY(!hint->isVisible());
    }

    void movingOverThePanelHidesTheAssignmentList()
    {
        start();
        QTest::mouseClick(Element<ARButton>(side(), "cmdFolder", 0), Qt::RightButton);
        QVERIFY(Control<QListWidget>(side(), "lstFolders")->isVisible());
        QMouseEvent move(QEvent::MouseMove, QPointF(160, 700), side().mapToGlobal(QPointF(160, 700)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&side(), &move);
        QVERIFY(!Control<QListWidget>(side(), "lstFolders")->isVisible());
        QVERIFY(!side().titleTip()->isVisible());
    }
};

QTEST_MAIN(PanelTest)
#include "tst_panel.moc"
