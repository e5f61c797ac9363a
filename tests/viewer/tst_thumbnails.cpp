// SPDX-License-Identifier: GPL-2.0-or-later
#include "Controls.h"
#include "ProgramUnderTest.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/picture/Picture.h"
#include "controls/ARButton.h"
#include "controls/PictureImage.h"
#include "files/FileDrag.h"
#include "files/frmInvisible.h"
#include "panel/FileListBox.h"
#include "panel/frmSide.h"
#include "viewer/ThumbnailRules.h"
#include "viewer/ThumbnailSource.h"
#include "viewer/frmPictureViewer.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QTest>

#include <memory>

class ThumbnailTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProgramUnderTest> program;
    QString folder;

    // A registered folder of `count` pictures named 00.jpg, 01.jpg ..., the program started on it.
    void startOn(int count, const QSize &size = QSize(300, 200), const QByteArray &screen = "1024x768@15")
    {
        makeFolder(screen);
        for (int i = 0; i < count; ++i) {
            QVERIFY(WriteJpeg(file(i), size.width(), size.height(), QColor(10 * i % 255, 120, 200)));
        }
        startProgram(count);
    }
    void makeFolder(const QByteArray &screen = "1024x768@15")
    {
        program = std::make_unique<ProgramUnderTest>(screen);
        folder = program->env.path(QStringLiteral("pics"));
        QDir().mkpath(folder);
    }
    void startProgram(int count)
    {
        SaveSetting(AppName, "Directories", "pics", folder);
        SaveSetting(AppName, "Settings", "Basename", "pics");
        QCOMPARE(EntryProcedure(), Road::Normal);
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::Side) && viewer().isVisible());
        QTRY_COMPARE(Control<FileListBox>(side(), "File1")->ListCount(), count);
    }
    [[nodiscard]] QString file(int i) const
    {
        return folder + QStringLiteral("/%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
    }
    static frmSide &side() { return Forms::frmSide(); }
    static frmPictureViewer &viewer() { return Forms::frmPictureViewer(); }
    static PictureImage *thumb(int i) { return Element<PictureImage>(viewer(), "Thumb1", i); }
    static int visibleBorderSets()
    {
        int n = 0;
        for (QWidget *line : borderTops()) {
            n += line->isVisible() ? 1 : 0;
        }
        return n;
    }
    static QList<QWidget *> borderTops()
    {
        return viewer().findChildren<QWidget *>(QRegularExpression(QStringLiteral("^linTop_\\d+$")));
    }
    // A press and its release (a press on one of several selected thumbnails selects it alone
    // only when the button comes up without a drag).
    static void click(int i, int shift = 0, int button = 1)
    {
        viewer().Thumb1_MouseDown(i, button, shift, 0, 0);
        viewer().Thumb1_MouseUp(i, button, shift, 0, 0);
    }

private slots:
    void cleanup()
    {
        program.reset();
        SetFileDragHandler(nullptr);
    }

    void columnRule_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("columns");
        for (const auto &[n, c] : std::initializer_list<std::pair<int, int>>{
                 {1, 2}, {4, 2}, {5, 3}, {9, 3}, {10, 4}, {16, 4}, {17, 5}, {25, 5}, {26, 6}, {60, 6}}) {
            QTest::addRow("%d", n) << n << c;
        }
    }
    void columnRule()
    {
        QFETCH(int, n);
        QFETCH(int, columns);
        QCOMPARE(ThumbColumnsFor(n), columns);
    }

    void cellAndScale()
    {
        QCOMPARE(ThumbCellSize(640, 480, 3), 140);
        QCOMPARE(ThumbCellSize(1024, 768, 4), 182);
        // Halves go to the even neighbour: 1080 / 4 - 10 = 260, 1030 / 4 - 10 = 247.5 -> 248.
        QCOMPARE(ThumbCellSize(1920, 1030, 4), 248);
        QCOMPARE(ThumbScaledSize(QSize(100, 50), 140), QSize(100, 50));
        QCOMPARE(ThumbScaledSize(QSize(300, 150), 140), QSize(140, 70));
        QCOMPARE(ThumbScaledSize(QSize(150, 300), 140), QSize(70, 140));
        // Exactly the cell's size in one direction is reduced like a larger picture.
        QCOMPARE(ThumbScaledSize(QSize(140, 20), 140), QSize(140, 20));
        QCOMPARE(ThumbScaledSize(QSize(20, 140), 140), QSize(20, 140));
        QCOMPARE(ThumbRowsShown(331, 14), 24); // 23.64
        QCOMPARE(ThumbRowsShown(330, 20), 16); // 16.5 -> 16
        QCOMPARE(ThumbRowsShown(350, 20), 18); // 17.5 -> 18
    }

    void placement()
    {
        // Seven files in 3 columns of S = 140 (pitch 150): the third row's one thumbnail is centred.
        const QSize shown(140, 70);
        QCOMPARE(ThumbPosition(1, 7, 3, 140, shown), QPoint(190, 40));
        QCOMPARE(ThumbPosition(3, 7, 3, 140, shown), QPoint(490, 40));
        QCOMPARE(ThumbPosition(6, 7, 3, 140, shown), QPoint(490, 190));
        QCOMPARE(ThumbPosition(7, 7, 3, 140, shown), QPoint(340, 340));
        // Two selected files in 2 columns: one row, moved down half a pitch.
        QCOMPARE(ThumbPosition(1, 2, 2, 140, shown), QPoint(190, 115));
        QCOMPARE(ThumbPosition(2, 2, 2, 140, shown), QPoint(340, 115));
        // A full square page is not moved down.
        QCOMPARE(ThumbPosition(4, 4, 2, 140, QSize(140, 140)), QPoint(340, 155));
        QCOMPARE(CentredPlaceholder(QRect(190, 40, 140, 70)), QPoint(242, 57));
    }

    void bordersAndTags()
    {
        const BorderSet b = BorderAround(QRect(100, 50, 40, 30));
        QCOMPARE(b.left, QLine(97, 47, 97, 82));
        QCOMPARE(b.top, QLine(97, 47, 142, 47));
        QCOMPARE(b.right, QLine(142, 47, 142, 82));
        QCOMPARE(b.bottom, QLine(97, 82, 142, 82));
        QCOMPARE(LinePixels(b.top), QRect(96, 46, 48, 3));
        QCOMPARE(SelectionTag(0), QStringLiteral("selected00"));
        QCOMPARE(SelectionTag(9), QStringLiteral("selected09"));
        QCOMPARE(SelectionTag(10), QStringLiteral("selected10"));
        QCOMPARE(SelectionTag(123), QStringLiteral("selected123"));
        QVERIFY(IsSelectedTag("selected07"));
        QVERIFY(!IsSelectedTag("invalid"));
        QVERIFY(!IsSelectedTag("select"));
        QCOMPARE(SharedThumbnailSize(118), 128);
        QCOMPARE(SharedThumbnailSize(128), 128);
        QCOMPARE(SharedThumbnailSize(129), 256);
        QCOMPARE(SharedThumbnailSize(1025), 0);
    }

    // The page of all visible files: one thumbnail a file, placed by the rules, nothing selected.
    void pageOfVisibleFiles()
    {
        startOn(7);
        QVERIFY(ClickThumbnails());
        const SharedState &s = State();
        QCOMPARE(s.ThumbsOnPage, 7);
        QCOMPARE(int(s.ThumbColumns), 3);
        QVERIFY(s.ThumbsLoaded);
        QCOMPARE(s.ThumbControlCount, 7);
        const int cell = ThumbCellSize(1024, 768, 3);
        QCOMPARE(s.ThumbCellWidth, cell);
        for (int i = 0; i < 7; ++i) {
            QVERIFY(thumb(i)->isVisible());
            QVERIFY(thumb(i)->isEnabled());
            QCOMPARE(thumb(i)->toolTip(), QFileInfo(file(i)).fileName());
            QCOMPARE(thumb(i)->size(), ThumbScaledSize(QSize(300, 200), cell));
            QCOMPARE(thumb(i)->pos(), ThumbPosition(i + 1, 7, 3, cell, thumb(i)->size()));
            QCOMPARE(thumb(i)->picture().size(), thumb(i)->size());
        }
        QVERIFY(viewer().isEnabled());
        QVERIFY(side().isEnabled());
        QVERIFY(!Control<PictureImage>(viewer(), "Image1")->isVisible());
        QVERIFY(Control<QLabel>(side(), "lblKB")->text().isEmpty());
        QCOMPARE(s.LastBorderSet, -1);

        // A second page replaces the first, and so does selecting a file.
        QVERIFY(ClickThumbnails());
        QCOMPARE(viewer().thumbnailCount(), 7);
        Control<FileListBox>(side(), "File1")->setListIndex(2);
        QVERIFY(!s.ThumbsLoaded);
        QCOMPARE(viewer().thumbnailCount(), 1);
        QVERIFY(!thumb(0)->isVisible());
        QVERIFY(Control<PictureImage>(viewer(), "Image1")->isVisible());
    }

    void oneFileListDoesNothing_emptyListClears()
    {
        startOn(1);
        QVERIFY(ClickThumbnails());
        QVERIFY(!State().ThumbsLoaded);
        QVERIFY(!thumb(0)->isVisible());
    }

    void selectedPage()
    {
        startOn(12);
        Control<FileListBox>(side(), "File1")->setListIndex(3);
        Control<FileListBox>(side(), "File1")->setSelected(8, true);
        QVERIFY(ClickThumbnails());
        const SharedState &s = State();
        QVERIFY(s.ThumbShowSelected);
        QCOMPARE(s.ThumbsOnPage, 2);
        QCOMPARE(int(s.ThumbColumns), 2);
        QCOMPARE(thumb(0)->toolTip(), QStringLiteral("03.jpg"));
        QCOMPARE(thumb(1)->toolTip(), QStringLiteral("08.jpg"));
        const int cell = s.ThumbCellWidth;
        // One row, moved down half a pitch.
        QCOMPARE(thumb(0)->y(), thumb(1)->y());
        QCOMPARE(thumb(0)->pos(), ThumbPosition(1, 2, 2, cell, thumb(0)->size()));
        QVERIFY(thumb(0)->y() > (cell + 10) / 2);
    }

    void unreadableFilesBecomePlaceholders()
    {
        startOn(5);
        QFile bad(file(0));
        QVERIFY(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
        bad.write("not a picture at all");
        bad.close();
        QFile::copy(file(0), file(3) + ".tmp");
        QFile::remove(file(3));
        QFile::rename(file(3) + ".tmp", file(3));
        QVERIFY(ClickThumbnails());
        for (const int i : {0, 3}) {
            QCOMPARE(thumb(i)->Tag, QStringLiteral("invalid"));
            QVERIFY(!thumb(i)->isEnabled());
            QCOMPARE(thumb(i)->size(), QSize(36, 36));
            QVERIFY(thumb(i)->toolTip().isEmpty());
            QVERIFY(thumb(i)->isVisible());
        }
        for (const int i : {1, 2, 4}) {
            QVERIFY(thumb(i)->Tag.isEmpty());
            QVERIFY(thumb(i)->isEnabled());
            QCOMPARE(thumb(i)->toolTip(), QFileInfo(file(i)).fileName());
        }
        // Placed in its cell like any other thumbnail.
        QCOMPARE(thumb(0)->pos(), ThumbPosition(1, 5, 3, State().ThumbCellWidth, QSize(36, 36)));
        viewer().ThumbBordersClose();
        QCOMPARE(thumb(0)->Tag, QStringLiteral("invalid"));
    }

    void scrolledListCutsThePageShort()
    {
        startOn(60, QSize(40, 30));
        const int rows = ThumbRowsShown(Control<FileListBox>(side(), "File1")->height(),
                                        Control<FileListBox>(side(), "File1")->rowHeight());
        QVERIFY(rows > 5 && rows < 55);
        Control<FileListBox>(side(), "File1")->scrollToBottom();
        const int top = Control<FileListBox>(side(), "File1")->TopIndex();
        QVERIFY(top > 0);
        QVERIFY(ClickThumbnails());
        QCOMPARE(State().ThumbListTop, top);
        QCOMPARE(State().ThumbsOnPage, rows);
        const int placed = 60 - top;
        QCOMPARE(State().ThumbControlCount, placed);
        QCOMPARE(thumb(0)->toolTip(), QFileInfo(file(top)).fileName());
        QCOMPARE(thumb(placed - 1)->toolTip(), QStringLiteral("59.jpg"));
        // The list stays where it was scrolled.
        QCOMPARE(Control<FileListBox>(side(), "File1")->TopIndex(), top);
    }

    void ctrlSelectionAndTags()
    {
        startOn(14, QSize(40, 30));
        QVERIFY(ClickThumbnails());
        // The first Ctrl-click keeps what the list had selected and uses border set 0.
        State().SelectionFromCode = true;
        Control<FileListBox>(side(), "File1")->setSelected(13, true);
        State().SelectionFromCode = false;
        for (int i = 0; i < 11; ++i) {
            click(i, 2);
        }
        for (int i = 0; i < 11; ++i) {
            QCOMPARE(thumb(i)->Tag, SelectionTag(i));
            QVERIFY(Control<FileListBox>(side(), "File1")->Selected(i));
        }
        QCOMPARE(thumb(10)->Tag, QStringLiteral("selected10"));
        QVERIFY(Control<FileListBox>(side(), "File1")->Selected(13));
        QCOMPARE(State().LastBorderSet, 10);
        QCOMPARE(visibleBorderSets(), 11);
        QCOMPARE(Element<QWidget>(viewer(), "linLeft", 10)->geometry(),
                 LinePixels(BorderAround(thumb(10)->geometry()).left));
        // Ctrl-click on a selected thumbnail adds a further border and retags it.
        click(2, 2);
        QCOMPARE(thumb(2)->Tag, QStringLiteral("selected11"));
        QCOMPARE(visibleBorderSets(), 12);
        QVERIFY(Control<FileListBox>(side(), "File1")->Selected(1));
        // The label shows the picture's own size.
        QCOMPARE(Control<QLabel>(side(), "lblKB")->text().section('\n', 0, 0), QStringLiteral("40 x 30"));

        // A plain click, and a Shift-click alike, clear everything and select one.
        for (const int shift : {0, 1}) {
            click(5, shift);
            QCOMPARE(thumb(5)->Tag, QStringLiteral("selected00"));
            for (int i = 0; i < 14; ++i) {
                if (i != 5) {
                    QVERIFY(thumb(i)->Tag.isEmpty());
                    QVERIFY(!Control<FileListBox>(side(), "File1")->Selected(i));
                }
            }
            QVERIFY(Control<FileListBox>(side(), "File1")->Selected(5));
            QCOMPARE(visibleBorderSets(), 1);
            QCOMPARE(borderTops().size(), 1);
            click(7, 2);
        }
        viewer().ThumbBordersClose();
        QCOMPARE(State().LastBorderSet, -1);
        QCOMPARE(visibleBorderSets(), 0);
        QVERIFY(thumb(5)->Tag.isEmpty());
        // Still on the page: the list's click handler ignored the selections made for it.
        QVERIFY(State().ThumbsLoaded);
    }

    // A metafile's thumbnail reports its size at the screen's resolution, not 0 x 0.
    void metafileSizeInTheLabel()
    {
        makeFolder();
        for (const char *name : {"shapes.wmf", "shapes.emf", "meadow.jpg"}) {
            QVERIFY(QFile::copy(QStringLiteral(VV_SAMPLES "/") + name, folder + '/' + name));
        }
        startProgram(3);
        QVERIFY(ClickThumbnails());
        for (int i = 0; i < 3; ++i) {
            QVERIFY(thumb(i)->isEnabled());
            const auto info = ReadPictureInfo(folder + '/' + thumb(i)->toolTip(), 15, 15);
            QVERIFY(info);
            click(i);
            const QString size = Control<QLabel>(side(), "lblKB")->text().section('\n', 0, 0);
            QCOMPARE(size, QStringLiteral("%1 x %2").arg(info->pixelSize.width()).arg(info->pixelSize.height()));
            QVERIFY(size != QLatin1String("0 x 0"));
        }
    }

    void rightClickSelectsThenMenu()
    {
        startOn(4, QSize(40, 30));
        QVERIFY(ClickThumbnails());
        frmInvisible &menu = Forms::frmInvisible();
        Control<QAction>(menu, "mnuBulkRename")->setVisible(true);
        Control<QAction>(menu, "mnuEdit")->setEnabled(false);
        click(2, 0, 2);
        QCOMPARE(thumb(2)->Tag, QStringLiteral("selected00"));
        QVERIFY(Control<FileListBox>(side(), "File1")->Selected(2));
        QCOMPARE(State().PopupSource, QStringLiteral("Thumb"));
        QCOMPARE(State().CurrentThumb, 2);
        QVERIFY(Control<QAction>(menu, "mnuEdit")->isEnabled());
        QVERIFY(!Control<QAction>(menu, "mnuBulkRename")->isVisible());
        QVERIFY(Control<QAction>(menu, "mnuRename")->isVisible());
        Control<QMenu>(menu, "mnuFile")->hide();
    }

    void thumbnailWithoutListEntry()
    {
        startOn(4, QSize(40, 30));
        QVERIFY(ClickThumbnails());
        QVERIFY(QFile::rename(file(1), folder + "/renamed.jpg"));
        click(1);
        QCOMPARE(thumb(1)->Tag, QStringLiteral("selected00"));
        for (int i = 0; i < Control<FileListBox>(side(), "File1")->ListCount(); ++i) {
            QVERIFY(!Control<FileListBox>(side(), "File1")->Selected(i));
        }
        viewer().Thumb1_DblClick(1);
        QVERIFY(State().ThumbsLoaded);
    }

    void doubleClickOpensThePicture()
    {
        startOn(4, QSize(40, 30));
        QVERIFY(ClickThumbnails());
        viewer().Thumb1_DblClick(2);
        QCOMPARE(State().CurrentThumb, 2);
        QVERIFY(!State().ThumbsLoaded);
        QVERIFY(!thumb(0)->isVisible());
        QCOMPARE(State().CurrentFile, file(2));
        QVERIFY(Control<PictureImage>(viewer(), "Image1")->isVisible());
        QCOMPARE(Control<FileListBox>(side(), "File1")->ListIndex(), 2);
    }

    // A real double-click leaves the page: the thumbnail that sent it is released only once its
    // event is over (the sanitizer build checks no released control is touched).
    void realDoubleClickLeavesThePage()
    {
        startOn(5, QSize(40, 30));
        QVERIFY(ClickThumbnails());
        QTest::mouseDClick(thumb(3), Qt::LeftButton);
        QTRY_VERIFY(!State().ThumbsLoaded);
        QCOMPARE(State().CurrentFile, file(3));
        QVERIFY(Control<PictureImage>(viewer(), "Image1")->isVisible());
        QCOMPARE(viewer().thumbnailCount(), 1);
    }

    // A click on a second folder that arrives while the first one opens is taken after it, not
    // inside it: the second folder is what shows.
    void secondFolderClickWhileTheFirstOpens()
    {
        makeFolder();
        const QString other = program->env.path(QStringLiteral("other"));
        QDir().mkpath(other);
        for (int i = 0; i < 6; ++i) {
            QVERIFY(WriteJpeg(file(i), 1600, 1200, QColor(20 * i, 100, 100)));
        }
        QVERIFY(WriteJpeg(other + "/only.jpg", 50, 40));
        SaveSetting(AppName, "Directories", "other", other);
        SaveSetting(AppName, "Settings", "Caption1", "pics");
        SaveSetting(AppName, "Settings", "Caption2", "other");
        startProgram(6);
        auto *first = Element<ARButton>(side(), "cmdFolder", 0);
        auto *second = Element<ARButton>(side(), "cmdFolder", 1);
        QTest::mouseClick(second, Qt::LeftButton);
        QTRY_COMPARE(State().Basename, QStringLiteral("other"));
        // The second click is queued before the first is handled.
        const QPoint middle = second->rect().center();
        QCoreApplication::postEvent(second,
                                    new QMouseEvent(QEvent::MouseButtonPress, middle, second->mapToGlobal(middle),
                                                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(second,
                                    new QMouseEvent(QEvent::MouseButtonRelease, middle, second->mapToGlobal(middle),
                                                    Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
        QTest::mouseClick(first, Qt::LeftButton);
        QTRY_COMPARE(State().Basename, QStringLiteral("other"));
        QTRY_COMPARE(Control<FileListBox>(side(), "File1")->ListCount(), 1);
        QCOMPARE(State().CurrentFile, other + "/only.jpg");
    }

    void dragSetsTheAction()
    {
        startOn(3, QSize(40, 30));
        SetFileDragHandler([](QWidget *, const QString &) {});
        QVERIFY(ClickThumbnails());
        State().DropAction = "MOVE";
        viewer().Thumb1_MouseMove(0, 1, 2, 0, 0);
        QCOMPARE(State().DropAction, QStringLiteral("COPY"));
        viewer().Thumb1_MouseMove(0, 1, 1, 0, 0); // Shift keeps the previous action
        QCOMPARE(State().DropAction, QStringLiteral("COPY"));
        viewer().Thumb1_MouseMove(0, 0, 0, 0, 0); // no button: no drag
        QCOMPARE(State().DropAction, QStringLiteral("COPY"));
    }

    // The shared cache: written after a page, read back by a new program, ignored when stale or
    // larger than its size allows.
    void sharedCache()
    {
        QTemporaryDir dir;
        const QString root = dir.filePath("thumbnails");
        const QString pic = dir.filePath("photo 1.jpg");
        QVERIFY(WriteJpeg(pic, 1200, 900, Qt::red));
        {
            ThumbnailSource source(root);
            const auto first = source.load({pic}, 170, 15, 15).results();
            QCOMPARE(first.size(), 1);
            QVERIFY(first[0].info);
            QCOMPARE(first[0].image.size(), QSize(170, 128));
            source.writePending();
            source.waitForWrites();
        }
        const QString cached = ThumbnailSource::SharedThumbnailPath(root, 256, pic);
        QVERIFY(cached.contains("/large/"));
        QImage written(cached);
        QCOMPARE(written.size(), QSize(256, 192));
        QCOMPARE(written.text("Thumb::URI"), QUrl::fromLocalFile(pic).toString(QUrl::FullyEncoded));
        QVERIFY(written.text("Thumb::URI").contains("photo%201.jpg"));
        QCOMPARE(written.text("Thumb::MTime").toLongLong(), QFileInfo(pic).lastModified().toSecsSinceEpoch());
        QCOMPARE(QFileInfo(cached).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
        QVERIFY(QDir(QFileInfo(cached).absolutePath()).entryList(QDir::Files).size() == 1); // no temporary left

        // A new program takes the cached picture (marked here in blue) instead of decoding.
        QImage marked = written;
        marked.fill(Qt::blue);
        QVERIFY(marked.save(cached));
        {
            ThumbnailSource source(root);
            const auto again = source.load({pic}, 170, 15, 15).results();
            QCOMPARE(again[0].image.pixelColor(80, 60), QColor(Qt::blue));
            QCOMPARE(again[0].info->pixelSize, QSize(1200, 900));
        }
        // Once the file changes, the cached picture no longer describes it.
        QVERIFY(WriteJpeg(pic, 1200, 900, Qt::green));
        QFile f(pic);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(10), QFileDevice::FileModificationTime));
        f.close();
        {
            ThumbnailSource source(root);
            const auto changed = source.load({pic}, 170, 15, 15).results();
            QVERIFY(changed[0].image.pixelColor(80, 60).green() > 200);
        }
        // A cache file larger than its size says is not trusted.
        QImage huge(3000, 3000, QImage::Format_RGB32);
        huge.fill(Qt::blue);
        huge.setText("Thumb::URI", QString::fromUtf8(ThumbnailSource::FileUri(pic)));
        huge.setText("Thumb::MTime", QString::number(QFileInfo(pic).lastModified().toSecsSinceEpoch()));
        QVERIFY(huge.save(cached));
        {
            ThumbnailSource source(root);
            const auto guarded = source.load({pic}, 170, 15, 15).results();
            QVERIFY(guarded[0].image.pixelColor(80, 60).green() > 200);
        }
    }

    void memoryCacheAndUnreadable()
    {
        QTemporaryDir dir;
        const QString pic = dir.filePath("a.jpg");
        const QString text = dir.filePath("b.jpg");
        QVERIFY(WriteJpeg(pic, 100, 50, Qt::red));
        QFile t(text);
        QVERIFY(t.open(QIODevice::WriteOnly));
        t.write("plain text");
        t.close();
        ThumbnailSource source(QString{}); // no shared cache
        auto results = source.load({text, pic, dir.filePath("missing.jpg")}, 140, 15, 15).results();
        QCOMPARE(results.size(), 3);
        QVERIFY(!results[0].info);
        QVERIFY(results[1].info);
        QCOMPARE(results[1].image.size(), QSize(100, 50)); // never enlarged
        QVERIFY(!results[2].info);
        QVERIFY(!QDir(dir.filePath("thumbnails")).exists());

        // Kept in memory by path, size and time: a file rewritten to the same size and time gives
        // the kept picture (red), one whose time changed is decoded afresh (blue).
        const QDateTime stamp = QFileInfo(pic).lastModified();
        const qint64 size = QFileInfo(pic).size();
        QVERIFY(WriteJpeg(pic, 100, 50, Qt::blue));
        auto setTime = [&](const QDateTime &when) {
            QFile f(pic);
            QVERIFY(f.open(QIODevice::ReadWrite));
            // Bytes after the end of a JPEG are ignored by its decoder; they even out the sizes.
            if (f.size() < size) {
                f.seek(f.size());
                f.write(QByteArray(size - f.size(), '\0'));
            }
            QVERIFY(f.setFileTime(when, QFileDevice::FileModificationTime));
        };
        setTime(stamp);
        if (QFileInfo(pic).size() != size) {
            QSKIP("the blue picture came out larger than the red one");
        }
        const auto kept = source.load({pic}, 140, 15, 15).results();
        QVERIFY(kept[0].image.pixelColor(50, 25).red() > 200);
        // ...and a file changed since is decoded afresh.
        setTime(stamp.addSecs(5));
        const auto fresh = source.load({pic}, 140, 15, 15).results();
        QVERIFY(fresh[0].image.pixelColor(50, 25).blue() > 200);
    }
};

QTEST_MAIN(ThumbnailTest)
#include "tst_thumbnails.moc"
