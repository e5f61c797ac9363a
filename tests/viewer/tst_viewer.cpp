// SPDX-License-Identifier: GPL-2.0-or-later
#include "Controls.h"
#include "GifWriter.h"
#include "ProgramUnderTest.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/FileNames.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "controls/ARButton.h"
#include "controls/PictureImage.h"
#include "panel/FileListBox.h"
#include "panel/frmSide.h"
#include "viewer/AnimationPlayer.h"
#include "viewer/FittedLoader.h"
#include "viewer/ViewerRules.h"
#include "viewer/frmPictureViewer.h"
#include "viewer/frmSplash.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QScopeGuard>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <memory>

using Forms::Form;

class ViewerTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProgramUnderTest> program;
    IsolatedEnvironment *env = nullptr;

    static void picture(const QString &path, int w, int h) { QVERIFY(WriteJpeg(path, w, h)); }

    // A registered folder with these pictures, the program started on it.
    QString startOn(const QList<QSize> &sizes)
    {
        const QString dir = env->path("pics");
        QDir().mkpath(dir);
        for (int i = 0; i < sizes.size(); ++i) {
            picture(dir + QStringLiteral("/%1.jpg").arg(i), sizes[i].width(), sizes[i].height());
        }
        SaveSetting(AppName, "Directories", "pics", dir);
        SaveSetting(AppName, "Settings", "Basename", "pics");
        if (EntryProcedure() != Road::Normal) {
            return {};
        }
        return dir;
    }

    frmPictureViewer &viewer() { return Forms::frmPictureViewer(); }

    // A folder "anim" with a.gif (three solid frames, red, green and blue, `delays` in hundredths
    // of a second, `size` pixels) and b.jpg, the program started on a.gif.
    QString startOnAnimation(QSize size, const QList<int> &delays, bool loop = true)
    {
        const QString dir = env->path("anim");
        QDir().mkpath(dir);
        QList<GifFrame> frames;
        for (int i = 0; i < delays.size(); ++i) {
            frames.append({QRect(QPoint(0, 0), size), delays.at(i), [i](int, int) { return i % 3; }});
        }
        if (!WriteGif(dir + "/a.gif", size, frames, loop) || !WriteJpeg(dir + "/b.jpg", 100, 80, Qt::white)) {
            return {};
        }
        SaveSetting(AppName, "Directories", "anim", dir);
        SaveSetting(AppName, "Settings", "Basename", "anim");
        if (EntryProcedure() != Road::Normal) {
            return {};
        }
        return dir;
    }

    AnimationPlayer *player() { return viewer().findChild<AnimationPlayer *>(); }
    QRgb shownAt(const char *control, QPoint at)
    {
        return Control<PictureImage>(viewer(), control)->picture().pixel(at);
    }

private slots:
    void init()
    {
        program = std::make_unique<ProgramUnderTest>();
        env = &program->env;
    }

    void cleanup() { program.reset(); }

    void fittedGeometry_data()
    {
        QTest::addColumn<float>("sw");
        QTest::addColumn<float>("sh");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<bool>("slideShow");
        QTest::addColumn<QRect>("rect");
        QTest::addColumn<bool>("fullSize");
        // 1024 x 768: the free width is 1024 - 190 = 834.
        QTest::newRow("exactly the free width")
            << 1024.f << 768.f << QSize(834, 400) << false << QRect(180, 184, 834, 400) << true;
        QTest::newRow("one pixel wider") << 1024.f << 768.f << QSize(835, 400) << false << QRect(180, 184, 834, 400)
                                         << true;
        QTest::newRow("free width + 10: reduced, not magnified")
            << 1024.f << 768.f << QSize(844, 200) << false << QRect(180, 285, 834, 198) << true;
        QTest::newRow("width beyond the panel test")
            << 1024.f << 768.f << QSize(855, 200) << false << QRect(180, 286, 834, 195) << false;
        QTest::newRow("tall and narrow") << 1024.f << 768.f << QSize(300, 2000) << false << QRect(539, 0, 115, 768)
                                         << false; // centred in the free area
        QTest::newRow("small, centred") << 1024.f << 768.f << QSize(101, 51) << false << QRect(546, 358, 101, 51)
                                        << true;
        QTest::newRow("slide show uses the whole screen")
            << 1024.f << 768.f << QSize(2048, 768) << true << QRect(0, 192, 1024, 384) << false;
        // 457.5 high: 458 (halves to even), top 71.25.
        QTest::newRow("800x600") << 800.f << 600.f << QSize(4000, 3000) << false << QRect(180, 71, 610, 458) << false;
        // Left (610 - 1) / 2 + 180 = 484.5: 484.
        QTest::newRow("1 x 1") << 800.f << 600.f << QSize(1, 1) << false << QRect(484, 300, 1, 1) << true;
    }

    void fittedGeometry()
    {
        QFETCH(float, sw);
        QFETCH(float, sh);
        QFETCH(QSize, picture);
        QFETCH(bool, slideShow);
        QFETCH(QRect, rect);
        QFETCH(bool, fullSize);
        const FittedPicture fit = FitPicture(picture, sw, sh, slideShow);
        QCOMPARE(fit.rect, rect);
        QCOMPARE(fit.shownFullSize, fullSize);
        QCOMPARE(fit.cursor, fullSize ? QStringLiteral("NORMAL") : QStringLiteral("MAGNIFIER"));
    }

    void magnifiedPlacement()
    {
        // A click at the top-left corner of a big reduced picture: its corner goes to (170, 0).
        MagnifiedPicture m = MagnifyPicture(QSize(4000, 3000), QSize(834, 626), QPointF(0, 0), 1024, 768);
        QCOMPARE(m.picture.topLeft(), QPoint(170, 0));
        QVERIFY(m.vertical && m.horizontal && m.corner);
        QCOMPARE(m.cornerRect, QRect(1007, 751, 17, 17));
        QCOMPARE(m.hMax, 4000 - 854 + 17);
        QCOMPARE(m.vMax, 3000 - 768 + 17);
        QCOMPARE(m.hPage, 791); // 3163 / 4 = 790.75
        // The bottom-right corner puts the picture's corner at the screen's.
        m = MagnifyPicture(QSize(4000, 3000), QSize(834, 626), QPointF(834, 626), 1024, 768);
        QCOMPARE(m.picture.bottomRight(), QPoint(1023, 767));
        // The middle goes to the middle of the free area.
        m = MagnifyPicture(QSize(4000, 3000), QSize(834, 626), QPointF(417, 313), 1024, 768);
        QCOMPARE(m.picture.center().x() + 1, 85 + 512);

        // Overhang of 2 pixels: range 4, page step 1; the vertical bar touches the picture.
        m = MagnifyPicture(QSize(400, 770), QSize(399, 768), QPointF(10, 10), 1024, 768);
        QVERIFY(m.vertical && !m.horizontal && !m.corner);
        QCOMPARE(m.vMax, 4);
        QCOMPARE(m.vPage, 1);
        QCOMPARE(m.vScroll.left(), m.picture.right() + 1);
        QCOMPARE(m.vScroll.height(), 768);

        // Horizontal only: the bar sits under the picture.
        m = MagnifyPicture(QSize(2000, 300), QSize(834, 125), QPointF(0, 60), 1024, 768);
        QVERIFY(m.horizontal && !m.vertical);
        QCOMPARE(m.hScroll.top(), m.picture.bottom() + 1);
        QCOMPARE(m.hScroll.left(), 170);

        // A 40,000-pixel panorama pans all the way: its right edge reaches the vertical bar.
        m = MagnifyPicture(QSize(40000, 1000), QSize(834, 21), QPointF(0, 10), 1024, 768);
        QCOMPARE(m.hMax, 40000 - 854 + 17);
        const QPoint end = PannedPosition(m.hMax, 0, m);
        QCOMPARE(end.x() + 40000, 1024 - 17);
    }

    void magnifyScrollAndReturn()
    {
        QVERIFY(!startOn({QSize(2400, 1800)}).isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        QVERIFY(Control<PictureImage>(viewer(), "Image1")->isVisible());
        QVERIFY(!State().ShownFullSize);
        QCOMPARE(Control<PictureImage>(viewer(), "Image1")->geometry(), QRect(180, 71, 834, 626));
        // Scaled once to exactly the size it is drawn at (from a decode no larger than needed).
        QCOMPARE(Control<PictureImage>(viewer(), "Image1")->picture().size(), QSize(834, 626));
        QTest::mouseClick(Control<PictureImage>(viewer(), "Image1"), Qt::LeftButton, {},
                          QPoint(1, 1)); // (0, 0) would mean the middle
        QVERIFY(Control<PictureImage>(viewer(), "Picture1")->isVisible());
        QVERIFY(!Control<PictureImage>(viewer(), "Image1")->isVisible());
        QCOMPARE(Control<PictureImage>(viewer(), "Picture1")->geometry(), QRect(170, 0, 2400, 1800));
        QVERIFY(Control<QScrollBar>(viewer(), "VScroll1")->isVisible() &&
                Control<QScrollBar>(viewer(), "HScroll1")->isVisible());
        QVERIFY(Control<ARButton>(viewer(), "cmdScrollButt")->isVisible());
        QVERIFY(State().ShownFullSize);
        QVERIFY(Control<FileListBox>(Forms::frmSide(), "File1")->hasFocus() || !Forms::frmSide().isActiveWindow());
        // Scroll bars pan the picture.
        Control<QScrollBar>(viewer(), "VScroll1")->setValue(100);
        QCOMPARE(Control<PictureImage>(viewer(), "Picture1")->y(), -100);
        Control<QScrollBar>(viewer(), "HScroll1")->setValue(Control<QScrollBar>(viewer(), "HScroll1")->maximum());
        QCOMPARE(Control<PictureImage>(viewer(), "Picture1")->geometry().right(), 1024 - 17 - 1);
        // The wheel scrolls down, with Shift sideways.
        QWheelEvent down(QPointF(500, 300), viewer().mapToGlobal(QPointF(500, 300)), QPoint(), QPoint(0, -120),
                         Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Control<PictureImage>(viewer(), "Picture1"), &down);
        QCOMPARE(Control<QScrollBar>(viewer(), "VScroll1")->value(), 160);
        // A click on the full-size picture returns to the fitted view.
        QTest::mouseClick(Control<PictureImage>(viewer(), "Picture1"), Qt::LeftButton, {}, QPoint(500, 300));
        QVERIFY(Control<PictureImage>(viewer(), "Image1")->isVisible());
        QVERIFY(!Control<PictureImage>(viewer(), "Picture1")->isVisible());
        QVERIFY(!Control<QScrollBar>(viewer(), "VScroll1")->isVisible());
    }

    void naturalSizePictureDoesNotMagnify()
    {
        QVERIFY(!startOn({QSize(844, 200)}).isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        QVERIFY(State().ShownFullSize);
        QTest::mouseClick(Control<PictureImage>(viewer(), "Image1"), Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(!Control<PictureImage>(viewer(), "Picture1")->isVisible());
        QVERIFY(Control<PictureImage>(viewer(), "Image1")->isVisible());
    }

    void rightClickOnThePictureOpensTheMenu()
    {
        QVERIFY(!startOn({QSize(100, 100)}).isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        QTest::mouseClick(Control<PictureImage>(viewer(), "Image1"), Qt::RightButton, {}, QPoint(5, 5));
        QCOMPARE(State().PopupSource, QStringLiteral("Image"));
    }

    void animatedGifPlays()
    {
        const QString dir = env->path("gif");
        QDir().mkpath(dir);
        QVERIFY(QFile::copy(QStringLiteral(VV_TEST_DATA "/pictures/animated.gif"), dir + "/anim.gif"));
        SaveSetting(AppName, "Directories", "gif", dir);
        SaveSetting(AppName, "Settings", "Basename", "gif");
        QCOMPARE(EntryProcedure(), Road::Normal);
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        const QRgb first = Control<PictureImage>(viewer(), "Image1")->picture().pixel(5, 5);
        QTRY_VERIFY(Control<PictureImage>(viewer(), "Image1")->picture().pixel(5, 5) != first);
    }

    void animationPlaysItsFramesInTurnAndStopsWhenLeft()
    {
        // The first frame stays long enough for a loaded machine to look at it before the second.
        const QString dir = startOnAnimation(QSize(120, 90), {60, 5, 5});
        QVERIFY(!dir.isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        // The first frame shows at once, from the loaded picture.
        QCOMPARE(shownAt("Image1", QPoint(60, 45)), qRgb(255, 0, 0));
        QVERIFY(player() != nullptr);
        // Then green, blue, and red again: it loops.
        QList<QRgb> seen;
        connect(player(), &AnimationPlayer::frameReady, this,
                [&seen](const QImage &frame) { seen << frame.pixel(60, 45); });
        QTRY_VERIFY(seen.size() >= 4);
        QCOMPARE(seen.mid(0, 4), (QList<QRgb>{qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 0, 0), qRgb(0, 255, 0)}));
        QCOMPARE(shownAt("Image1", QPoint(60, 45)), seen.last());

        // Down: the JPEG, and no frame comes after it.
        FileListBox *list = Control<FileListBox>(Forms::frmSide(), "File1");
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(State().CurrentFile, dir + "/b.jpg");
        QVERIFY(player() == nullptr);
        QTest::qWait(200);
        QCOMPARE(shownAt("Image1", QPoint(50, 40)), qRgb(255, 255, 255));

        // Back, then the thumbnail page: it stops there too.
        QTest::keyClick(list, Qt::Key_Up);
        QVERIFY(player() != nullptr);
        QVERIFY(ClickThumbnails());
        QVERIFY(player() == nullptr);
    }

    void framesKeepTheirOwnDelays()
    {
        // The first two frames stay 600 ms, the last 50 ms; a frame never comes before its time.
        // (The first frame's long stay leaves a loaded machine time to listen before the second.)
        QVERIFY(!startOnAnimation(QSize(40, 30), {60, 60, 5}, false).isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        QElapsedTimer clock;
        clock.start();
        QList<qint64> at;
        connect(player(), &AnimationPlayer::frameReady, this, [&] { at << clock.elapsed(); });
        QTRY_VERIFY_WITH_TIMEOUT(player()->finished(), 10000);
        // Played once (the file asks for no loop), ending on its last frame.
        QCOMPARE(at.size(), 2);
        QCOMPARE(shownAt("Image1", QPoint(20, 15)), qRgb(0, 0, 255));
        // Coarse timers may fire up to 5% early.
        QVERIFY2(at.at(1) - at.at(0) >= 570, qPrintable(QString::number(at.at(1) - at.at(0))));
    }

    void fullSizeAnimationPlaysAtItsNaturalSize()
    {
        // Wider than the free area: reduced, and a click shows it at full size, still playing.
        QVERIFY(!startOnAnimation(QSize(1600, 400), {5, 5, 5}).isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        PictureImage *image = Control<PictureImage>(viewer(), "Image1");
        QVERIFY(image->width() < 1600);
        QTest::mouseClick(image, Qt::LeftButton, {}, QPoint(10, 10));
        PictureImage *full = Control<PictureImage>(viewer(), "Picture1");
        QTRY_VERIFY(full->isVisible());
        QVERIFY(player() != nullptr);
        QSet<QRgb> colours;
        QSet<QSize> sizes;
        connect(player(), &AnimationPlayer::frameReady, this, [&](const QImage &frame) {
            sizes << frame.size();
            colours << frame.pixel(800, 200);
        });
        QTRY_VERIFY(colours.size() == 3);
        QCOMPARE(sizes, QSet<QSize>{QSize(1600, 400)});
        QCOMPARE(full->picture().size(), QSize(1600, 400));
        QVERIFY(image->isHidden());
        // A click on the full-size picture goes back to the fitted view, playing afresh.
        QTest::mouseClick(full, Qt::LeftButton, {}, QPoint(10, 10));
        QTRY_VERIFY(image->isVisible());
        QVERIFY(player() != nullptr);
        QCOMPARE(player()->shownSize(), image->size());
    }

    void playerComposesNoCanvasBeyondTheAnimationLimit()
    {
        // A file replaced after its first frame was shown now declares a 10000 x 10000 canvas: the
        // player reads its header again and plays nothing, even where the decoder would allow such a
        // canvas (the program raises its allocation limit for still pictures).
        const int limit = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(400);
        const auto restore = qScopeGuard([limit] { QImageReader::setAllocationLimit(limit); });
        const QString path = env->path("huge.gif");
        const QRect dot(0, 0, 1, 1);
        QVERIFY(WriteGif(path, QSize(10000, 10000),
                         {{dot, 5, [](int, int) { return 0; }}, {dot, 5, [](int, int) { return 1; }}}));
        AnimationPlayer player(OpenRegularFile(path), QSize(100, 100));
        QTRY_VERIFY(player.finished());
        QCOMPARE(player.framesShown(), 0);
        // The same at the limit's edge plays.
        QVERIFY(WriteGif(path, QSize(5000, 5000),
                         {{dot, 5, [](int, int) { return 0; }}, {dot, 5, [](int, int) { return 1; }}}));
        AnimationPlayer playing(OpenRegularFile(path), QSize(100, 100));
        QTRY_VERIFY(playing.framesShown() >= 1);
    }

    void prefetchNeverHandsOutAChangedFile()
    {
        const QString path = env->path("p.jpg");
        picture(path, 300, 200);
        ScreenForFit screen;
        FittedPrefetch prefetch;
        prefetch.prefetch({path}, screen);
        auto load = prefetch.take(path, screen);
        QVERIFY(load && load->picture);
        QCOMPARE(load->picture->bitmapSize(), QSize(300, 200));
        // Taken once: a second take has nothing.
        QVERIFY(!prefetch.take(path, screen));
        prefetch.prefetch({path}, screen);
        QTest::qWait(50);
        picture(path, 500, 100); // replaced before it is shown
        QVERIFY(!prefetch.take(path, screen));
        // Another screen is another load.
        prefetch.prefetch({path}, screen);
        ScreenForFit other = screen;
        other.slideShow = true;
        QVERIFY(!prefetch.take(path, other));

        // A picture kept as the viewer moves on comes back as it was loaded, while its file is
        // unchanged; replaced, it is never handed out.
        const auto stamp = StampOf(path);
        QVERIFY(stamp);
        const FittedLoad shown = LoadFitted(path, screen);
        prefetch.keep(path, screen, shown, *stamp);
        FileStamp found;
        const auto kept = prefetch.take(path, screen, &found);
        QVERIFY(kept && kept->picture);
        QVERIFY(kept->picture->image.constBits() == shown.picture->image.constBits()); // not decoded again
        QCOMPARE(found.inode, stamp->inode);
        prefetch.keep(path, screen, shown, *stamp);
        QTest::qWait(20);
        picture(path, 120, 100);
        QVERIFY(!prefetch.take(path, screen));
    }

    // Only what is wanted is held, three at most; pictures kept as the viewer moves on never push
    // out a wanted one, and the list stays bounded.
    void prefetchHoldsWhatIsWanted()
    {
        const ScreenForFit screen;
        QStringList paths;
        for (int i = 0; i < 6; ++i) {
            paths << env->path(QStringLiteral("w%1.jpg").arg(i));
            picture(paths.last(), 40 + i, 30);
        }
        FittedPrefetch prefetch;
        prefetch.prefetch(paths, screen);
        QCOMPARE(prefetch.held(screen), paths.first(3));
        // A jump: what is no longer wanted is let go.
        prefetch.prefetch({paths[1], paths[4]}, screen);
        QCOMPARE(prefetch.held(screen), (QStringList{paths[1], paths[4]}));
        // Loaded already, they are still wanted.
        QTRY_VERIFY(!prefetch.pending(paths[1], screen) && !prefetch.pending(paths[4], screen));
        const FittedLoad shown = LoadFitted(paths[0], screen);
        for (const int i : {0, 2, 3, 5}) {
            prefetch.keep(paths[i], screen, shown, *StampOf(paths[i]));
        }
        const QStringList held = prefetch.held(screen);
        QCOMPARE(held.size(), 4);
        QVERIFY(held.contains(paths[1]) && held.contains(paths[4]));
        const auto load = prefetch.take(paths[4], screen);
        QVERIFY(load && load->picture);
        QCOMPARE(load->picture->bitmapSize(), QSize(44, 30));
        // Nothing wanted: nothing held.
        prefetch.prefetch({}, screen);
        QVERIFY(prefetch.held(screen).isEmpty());
    }

    void steppingShowsTheRightPictures()
    {
        const QString dir = startOn({QSize(100, 50), QSize(200, 60), QSize(300, 70), QSize(400, 80)});
        QVERIFY(!dir.isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        FileListBox *list = Control<FileListBox>(Forms::frmSide(), "File1");
        list->setFocus();
        for (int i = 1; i < 4; ++i) {
            QTest::keyClick(list, Qt::Key_Down);
            QCOMPARE(State().CurrentFile, dir + QStringLiteral("/%1.jpg").arg(i));
            QCOMPARE(Control<PictureImage>(viewer(), "Image1")->geometry().width(), 100 * (i + 1));
        }
        // A neighbour replaced after it was prefetched still shows as it is now.
        picture(dir + "/2.jpg", 222, 90);
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(Control<PictureImage>(viewer(), "Image1")->geometry().size(), QSize(222, 90));
    }

    // Ahead of the keys: the next two the way the user walks, and the one behind. A picture replaced
    // on disk while it waits ahead is shown as it is now.
    void picturesAheadFollowTheWalk()
    {
        const QString dir =
            startOn({QSize(100, 50), QSize(200, 60), QSize(300, 70), QSize(400, 80), QSize(500, 90), QSize(600, 100)});
        QVERIFY(!dir.isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        FileListBox *list = Control<FileListBox>(Forms::frmSide(), "File1");
        list->setFocus();
        const auto file = [&dir](int i) { return dir + QStringLiteral("/%1.jpg").arg(i); };
        const auto ahead = [this] {
            const QStringList held = viewer().picturesAhead();
            return QSet<QString>(held.cbegin(), held.cend());
        };
        QTest::keyClick(list, Qt::Key_Down);
        QTRY_COMPARE(ahead(), (QSet<QString>{file(2), file(3), file(0)}));
        QTest::keyClick(list, Qt::Key_Down);
        QTRY_COMPARE(ahead(), (QSet<QString>{file(3), file(4), file(1)}));
        picture(file(4), 444, 99);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);

        QCOMPARE(State().CurrentFile, file(4));
        QCOMPARE(Control<PictureImage>(viewer(), "Image1")->geometry().size(), QSize(444, 99));
        // Turning back: the two before, and the one just left (kept, not decoded again).
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(State().CurrentFile, file(3));
        QTRY_COMPARE(ahead(), (QSet<QString>{file(2), file(1), file(4)}));
    }

    void splashArtworkAndSize()
    {
        qputenv("VANTREL_SCREEN", "800x600@12");
        QCOMPARE(EntryProcedure(), Road::Normal);
        frmSplash &splash = Forms::frmSplash();
        QCOMPARE(splash.size(), QSize(320, 180));
        QCOMPARE(splash.pos(), QPoint(240, 210));
        const QImage shot = splash.grab().toImage();
        QVERIFY(shot.pixelColor(160, 90) != QColor(0xC0, 0xC0, 0xC0)); // the artwork, not the bare background
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
    }
};

QTEST_MAIN(ViewerTest)
#include "tst_viewer.moc"
