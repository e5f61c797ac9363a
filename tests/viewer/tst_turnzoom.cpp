// SPDX-License-Identifier: GPL-2.0-or-later
#include "Controls.h"
#include "ProgramUnderTest.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/picture/Picture.h"
#include "controls/PictureImage.h"
#include "files/JpegTransform.h"
#include "files/frmInvisible.h"
#include "panel/FileListBox.h"
#include "panel/frmSide.h"
#include "viewer/frmPictureViewer.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QtTest>

namespace {

QByteArray Read(const QString &path)
{
    return ReadWholeFile(path).value_or(QByteArray("<unreadable>"));
}

// A JPEG whose pixels all differ from their mirror images, so every turn changes its bytes.
bool WriteShadedJpeg(const QString &path, int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.setPixel(x, y, qRgb(x * 255 / w, y * 255 / h, (x * y) % 256));
        }
    }
    return image.save(path, "JPEG", 90);
}

QSize SizeOf(const QString &path)
{
    const auto info = ReadPictureInfo(path, 15, 15);
    return info ? info->pixelSize : QSize();
}

} // namespace

class TestTurnZoom : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProgramUnderTest> program;
    QString pics;
    FileListBox *list = nullptr;

    // The program on a folder of these JPEGs (name, width, height), the first one shown.
    void start(const QList<std::tuple<QString, int, int>> &files)
    {
        program = std::make_unique<ProgramUnderTest>();
        pics = program->env.path("pics");
        QDir().mkpath(pics);
        for (const auto &[name, w, h] : files) {
            QVERIFY(WriteShadedJpeg(pics + '/' + name, w, h));
        }
        SaveSetting(AppName, "Directories", "pics", pics);
        SaveSetting(AppName, "Settings", "Basename", "pics");
        QCOMPARE(EntryProcedure(), Road::Normal);
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::Side) && Forms::frmPictureViewer().isVisible());
        list = Control<FileListBox>(Forms::frmSide(), "File1");
        QTRY_COMPARE(list->ListCount(), files.size());
    }

private slots:
    void cleanup() { program.reset(); }

    // Ctrl+R turns the picture shown right, the menu offers to take it back, Ctrl+Z does.
    void rotateByKeysAndTakeBack()
    {
        start({{"a.jpg", 64, 48}, {"b.jpg", 64, 48}});
        list->setListIndex(0);
        const QByteArray original = Read(pics + "/a.jpg");
        QTest::keyClick(list, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(SizeOf(pics + "/a.jpg"), QSize(48, 64));
        QTRY_COMPARE(Forms::frmPictureViewer().pictureFile(), pics + "/a.jpg");
        QCOMPARE(list->FileName(), QStringLiteral("a.jpg"));
        frmInvisible &menu = Forms::frmInvisible();
        menu.popupMenu(QPoint(0, 0));
        QCOMPARE(Control<QAction>(menu, "mnuUndo")->text(), QStringLiteral("Undo Rotate Right"));
        Control<QMenu>(menu, "mnuFile")->hide();
        QCOMPARE(menu.undoJournal().size(), std::size_t(1));
        QTest::keyClick(list, Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(menu.undoJournal().size(), std::size_t(2));
        QTest::keyClick(list, Qt::Key_L, Qt::ControlModifier);
        QCOMPARE(menu.undoJournal().size(), std::size_t(3));
        QCOMPARE(SizeOf(pics + "/a.jpg"), QSize(48, 64)); // right, then left twice: a quarter left
        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(menu.undoJournal().size(), std::size_t(2));
        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(menu.undoJournal().size(), std::size_t(1));
        QVERIFY(Read(pics + "/a.jpg") != original);
        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Read(pics + "/a.jpg"), original);
        QVERIFY(menu.undoJournal().isEmpty());
        QVERIFY(program->dialogs.asked.isEmpty());
    }

    // The menu's Flip acts on the whole selection; a file that is no JPEG is refused by name.
    void flipSelectionFromTheMenu()
    {
        start({{"a.jpg", 64, 48}, {"b.jpg", 32, 16}});
        QImage(8, 8, QImage::Format_RGB32).save(pics + "/c.bmp", "BMP");
        Forms::frmSide().refreshList();
        QTRY_COMPARE(list->ListCount(), 3);
        const QByteArray a = Read(pics + "/a.jpg");
        const QByteArray c = Read(pics + "/c.bmp");
        list->setListIndex(0);
        QTest::keyClick(list, Qt::Key_End, Qt::ShiftModifier);
        frmInvisible &menu = Forms::frmInvisible();
        menu.popupMenu(QPoint(0, 0));
        QCOMPARE(list->ListCount(), 3);
        QVERIFY(list->Selected(0) && list->Selected(2));
        Control<QAction>(menu, "mnuFlipHorizontal")->trigger();
        Control<QMenu>(menu, "mnuFile")->hide();
        QVERIFY(Read(pics + "/a.jpg") != a);
        QCOMPARE(Read(pics + "/c.bmp"), c);
        QCOMPARE(program->dialogs.asked.size(), 1);
        QVERIFY(program->dialogs.asked.last().prompt.contains("\"c.bmp\" cannot be turned"));
        QCOMPARE(menu.undoJournal().newest().files.size(), std::size_t(2));
    }

    // Edges that are not whole blocks: the user is asked; No changes nothing, Yes trims.
    void partialBlocksAsk()
    {
        start({{"odd.jpg", 70, 45}});
        list->setListIndex(0);
        const QByteArray original = Read(pics + "/odd.jpg");
        program->dialogs.msgAnswers = {vbNo};
        QTest::keyClick(list, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(program->dialogs.asked.size(), 1);
        QCOMPARE(program->dialogs.asked.last().style, int(vbYesNo | vbQuestion));
        QCOMPARE(Read(pics + "/odd.jpg"), original);
        QVERIFY(Forms::frmInvisible().undoJournal().isEmpty());
        program->dialogs.msgAnswers = {vbYes};
        QTest::keyClick(list, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(SizeOf(pics + "/odd.jpg"), QSize(32, 70));
        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Read(pics + "/odd.jpg"), original);
    }

    // The full-size view zooms by steps with + and - and with Ctrl+wheel around the pointer; a
    // click still goes back to the fitted view.
    void zoomSteps()
    {
        start({{"big.jpg", 2400, 1800}});
        list->setListIndex(0);
        frmPictureViewer &viewer = Forms::frmPictureViewer();
        auto *image = Control<PictureImage>(viewer, "Image1");
        auto *picture = Control<PictureImage>(viewer, "Picture1");
        QTRY_VERIFY(image->isVisible());
        QTest::mouseClick(image, Qt::LeftButton, {}, image->rect().center());
        QTRY_VERIFY(State().ShownFullSize && picture->isVisible());
        QCOMPARE(picture->size(), QSize(2400, 1800));

        QTest::keyClick(list, Qt::Key_Minus);
        QCOMPARE(viewer.zoom(), 2.0 / 3);
        QCOMPARE(picture->size(), QSize(1600, 1200));
        QCOMPARE(picture->picture().size(), QSize(1600, 1200)); // decoded at the size shown
        QTest::keyClick(list, Qt::Key_Plus);
        QCOMPARE(viewer.zoom(), 1.0);
        QTest::keyClick(list, Qt::Key_Plus);
        QCOMPARE(picture->size(), QSize(3600, 2700));

        // Ctrl+wheel: the picture point under the pointer stays under it.
        const QPoint at(600, 400);
        const QPointF before = QPointF(at - picture->pos()) / viewer.zoom();
        QWheelEvent wheel(QPointF(at - picture->pos()), QPointF(viewer.mapToGlobal(at)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(picture, &wheel);
        QCOMPARE(viewer.zoom(), 1.0);
        const QPointF after = QPointF(at - picture->pos()) / viewer.zoom();
        QVERIFY2(
            (before - after).manhattanLength() <= 2,
            qPrintable(QStringLiteral("%1,%2 -> %3,%4").arg(before.x()).arg(before.y()).arg(after.x()).arg(after.y())));
        // Zoomed all the way out, the fitted scale is a step.
        for (int k = 0; k < 10; ++k) {
            QTest::keyClick(list, Qt::Key_Minus);
        }
        QVERIFY(picture->width() <= 1024 - 170);
        QTest::mouseClick(picture, Qt::LeftButton, {}, picture->rect().center());
        QTRY_VERIFY(!State().ShownFullSize && image->isVisible());
    }

    // Ctrl+I shows what the camera recorded, away from the panel; it follows the picture shown
    // and goes with Ctrl+I again.
    void informationWindow()
    {
        start({{"a.jpg", 64, 48}, {"b.jpg", 30, 20}});
        list->setListIndex(0);
        frmPictureViewer &viewer = Forms::frmPictureViewer();
        auto *info = Control<QLabel>(viewer, "lblInformation");
        QTest::keyClick(list, Qt::Key_I, Qt::ControlModifier);
        QTRY_VERIFY(info->isVisible());
        QVERIFY(info->text().contains("Name: a.jpg"));
        QVERIFY(info->text().contains("Dimensions: 64 x 48 pixels"));
        const QRect panel(Forms::frmSide().mapToGlobal(QPoint(0, 0)), Forms::frmSide().size());
        QVERIFY(!info->geometry().intersects(panel));
        QTest::keyClick(list, Qt::Key_Down);
        QTRY_VERIFY(info->text().contains("Name: b.jpg"));
        QVERIFY(info->text().contains("Dimensions: 30 x 20 pixels"));
        QTest::keyClick(list, Qt::Key_I, Qt::ControlModifier);
        QVERIFY(!info->isVisible());
        // The file menu's item does the same.
        frmInvisible &menu = Forms::frmInvisible();
        menu.popupMenu(QPoint(0, 0));
        Control<QAction>(menu, "mnuInfo")->trigger();
        Control<QMenu>(menu, "mnuFile")->hide();
        QTRY_VERIFY(info->isVisible());
        QTest::mouseClick(info, Qt::LeftButton);
        QVERIFY(!info->isVisible());
    }
};

QTEST_MAIN(TestTurnZoom)
#include "tst_turnzoom.moc"
