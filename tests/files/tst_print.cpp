// SPDX-License-Identifier: GPL-2.0-or-later
#include "Controls.h"
#include "CupsServer.h"
#include "PdfProbe.h"
#include "ProgramUnderTest.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/picture/Picture.h"
#include "common/platform/Modules.h"
#include "files/PrintJob.h"
#include "files/PrintModule.h"
#include "files/PrintRules.h"
#include "files/frmInvisible.h"
#include "panel/FileListBox.h"
#include "panel/frmSide.h"
#include "viewer/frmPictureViewer.h"

#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QMenu>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using Kind = PictureChoice::Kind;
Q_DECLARE_METATYPE(PictureChoice)

namespace {

// A picture with a dark frame, so its printed edges are found exactly.
bool WriteFramed(const QString &path, int w, int h, QImageIOHandler::Transformations t = {})
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(40, 110, 180));
    QImageWriter writer(path, "jpeg");
    writer.setTransformation(t);
    writer.setQuality(90);
    return writer.write(image);
}

// A4 with 10 mm margins: a printable area of 190 by 277 mm.
void SetUpPdf(QPrinter &printer, const QString &pdf)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                                      QPageLayout::Millimeter));
}

constexpr double kPointsPerMm = 72.0 / 25.4;

} // namespace

class PrintTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProgramUnderTest> program;
    std::unique_ptr<CupsServer> cups;
    QString pics;

    void startOn(const QList<QPair<QString, QSize>> &pictures)
    {
        program = std::make_unique<ProgramUnderTest>();
        pics = program->env.path("pics");
        QDir().mkpath(pics);
        for (const auto &[name, size] : pictures) {
            QVERIFY(WriteFramed(pics + '/' + name, size.width(), size.height()));
        }
        SaveSetting(AppName, "Directories", "pics", pics);
        SaveSetting(AppName, "Settings", "Basename", "pics");
        QCOMPARE(EntryProcedure(), Road::Normal);
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::Side) && Forms::frmPictureViewer().isVisible());
        QTRY_COMPARE(Forms::frmSide().listCount(), static_cast<int>(pictures.size()));
        QTRY_VERIFY(!Forms::frmPictureViewer().pictureFile().isEmpty());
    }
    static frmInvisible &menu() { return Forms::frmInvisible(); }
    ScriptedDialogs &dialogs() { return program->dialogs; }
    int messages() const
    {
        return static_cast<int>(std::count_if(program->dialogs.asked.cbegin(), program->dialogs.asked.cend(),
                                              [](const auto &a) { return a.kind == u"msg"; }));
    }

    // Runs the print command to a fresh PDF; the pixel sizes of the images it holds.
    QList<QSize> printed(const std::function<void()> &command)
    {
        static int serial = 0;
        const QString pdf = program->env.path(QStringLiteral("out%1.pdf").arg(++serial));
        dialogs().printerOutputFile = pdf;
        dialogs().printerAnswers = {true};
        command();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(!menu().busy(), 30000); }();
        if (!QFileInfo::exists(pdf)) {
            return {};
        }
        [&] { QCOMPARE(PdfProbe::pageCount(pdf), 1); }();
        return PdfProbe::imageSizes(pdf);
    }

private slots:
    void initTestCase()
    {
        qputenv("VANTREL_METAFILE_HELPER", QByteArrayLiteral(VV_METAFILE_HELPER));
        if (!PdfProbe::available()) {
            QSKIP("poppler-utils (pdfimages, pdftoppm, pdfinfo) is not installed");
        }
        cups = std::make_unique<CupsServer>();
    }
    void cleanupTestCase() { cups.reset(); }
    void cleanup()
    {
        program.reset();
        SetModuleFolders({});
    }

    // First of all, so that nothing in this program has loaded a module yet: without them a
    // start still shows pictures, printing says why it cannot print, and a metafile is damaged.
    void withoutTheModules()
    {
        QTemporaryDir empty;
        SetModuleFolders({empty.path()});
        startOn({{"a.jpg", QSize(400, 300)}});
        const QString pdf = program->env.path("none.pdf");
        dialogs().printerOutputFile = pdf;
        dialogs().printerAnswers = {true};
        menu().mnuPrint_Click();
        QTRY_VERIFY(!menu().busy());
        QCOMPARE(messages(), 1);
        QCOMPARE(dialogs().asked.last().prompt,
                 QStringLiteral("Printing is not available: vantrel-print.so is not installed."));
        QCOMPARE(dialogs().asked.last().style, int(vbCritical));
        QVERIFY(!QFileInfo::exists(pdf));

        PictureError error = PictureError::None;
        QVERIFY(!LoadPicture(QStringLiteral(VV_SAMPLES "/shapes.wmf"), PictureRequest{}, &error));
        QCOMPARE(int(error), int(PictureError::Damaged));
    }

    // Loaded only from a folder and a file no one else can change, and only a module of this build.
    void modulesOnlyFromFoldersNoOneElseWrites()
    {
        const QString built = QCoreApplication::applicationDirPath() + QStringLiteral("/vantrel-print.so");
        QTemporaryDir dir;
        const auto place = [&](const QString &folder, const char *name, QFile::Permissions folderMode,
                               QFile::Permissions fileMode) {
            const QString path = dir.filePath(folder);
            QDir().mkpath(path);
            const QString file = path + '/' + QLatin1String(name);
            QVERIFY(QFile::copy(built, file));
            QVERIFY(QFile::setPermissions(file, fileMode));
            QVERIFY(QFile::setPermissions(path, folderMode));
        };
        const QFile::Permissions rwx = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        const QFile::Permissions shared = rwx | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
        const QFile::Permissions groupWrites =
            QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup;
        const QFile::Permissions own = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther;
        place("shared", "a.so", shared, own);
        place("own", "b.so", rwx, groupWrites);
        place("own", "c.so", rwx, own);
        place("own", "d.so", rwx, own);
        const auto load = [](const char *name, int version, QString *why) {
            return LoadModule(name, kPrintModuleSymbol, version, why);
        };

        QString why;
        SetModuleFolders({dir.filePath("shared")});
        QVERIFY(!load("a.so", kPrintModuleVersion, &why));
        QVERIFY2(why.contains("another user can change it"), qPrintable(why));
        SetModuleFolders({dir.filePath("own")});
        QVERIFY(!load("b.so", kPrintModuleVersion, &why));
        QVERIFY2(why.contains("another user can change it"), qPrintable(why));
        QVERIFY(!load("d.so", kPrintModuleVersion + 1, &why));
        QVERIFY2(why.contains("another version of the program"), qPrintable(why));
        QVERIFY(!load("e.so", kPrintModuleVersion, &why));
        QCOMPARE(why, QStringLiteral("e.so is not installed"));

        // The first folder that has it, and once loaded the same table.
        SetModuleFolders({dir.filePath("shared"), dir.filePath("own")});
        const void *first = load("c.so", kPrintModuleVersion, &why);
        QVERIFY2(first != nullptr, qPrintable(why));
        QCOMPARE(static_cast<const PrintModule *>(first)->version, kPrintModuleVersion);
        QCOMPARE(load("c.so", kPrintModuleVersion, &why), first);
        QVERIFY(QFile::setPermissions(dir.filePath("shared"), rwx));
    }

    void geometry_data()
    {
        QTest::addColumn<double>("PW");
        QTest::addColumn<double>("PH");
        QTest::addColumn<QRectF>("expected"); // X0, Y0, PW, PH on a 10000 x 14000 area
        QTest::newRow("small, centred at natural size") << 3000.0 << 1500.0 << QRectF(3500, 6250, 3000, 1500);
        QTest::newRow("exactly the area") << 10000.0 << 14000.0 << QRectF(0, 0, 10000, 14000);
        QTest::newRow("panorama: full width, centred top to bottom")
            << 40000.0 << 10000.0 << QRectF(0, 5750, 10000, 2500);
        QTest::newRow("portrait: full height, centred left to right")
            << 10000.0 << 40000.0 << QRectF(3250, 0, 3500, 14000);
        QTest::newRow("the area's proportions, larger: fills it") << 20000.0 << 28000.0 << QRectF(0, 0, 10000, 14000);
        QTest::newRow("too wide only") << 12000.0 << 1000.0 << QRectF(0, 6583.333, 10000, 833.333);
        QTest::newRow("too tall only") << 1000.0 << 28000.0 << QRectF(4750, 0, 500, 14000);
        QTest::newRow("one twip") << 1.0 << 1.0 << QRectF(4999.5, 6999.5, 1, 1);
    }
    void geometry()
    {
        QFETCH(double, PW);
        QFETCH(double, PH);
        QFETCH(QRectF, expected);
        const PrintPlacement p = PrintGeometry(PW, PH, 10000, 14000);
        QVERIFY2(qAbs(p.X0 - expected.x()) < 0.01 && qAbs(p.Y0 - expected.y()) < 0.01,
                 qPrintable(QStringLiteral("%1,%2").arg(p.X0).arg(p.Y0)));
        QVERIFY2(qAbs(p.PW - expected.width()) < 0.01 && qAbs(p.PH - expected.height()) < 0.01,
                 qPrintable(QStringLiteral("%1x%2").arg(p.PW).arg(p.PH)));
        // 2540 HIMETRIC are one inch, 1440 twips.
        QCOMPARE(HimetricToTwips(2540), 1440.0);
    }

    void choice_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("page");
        QTest::addColumn<bool>("image");
        QTest::addColumn<int>("currentThumb");
        QTest::addColumn<int>("lastSet");
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<PictureChoice>("print");
        QTest::addColumn<PictureChoice>("wallpaper");
        const PictureChoice image{Kind::Image, -1};
        const PictureChoice none{};
        const QStringList two{"", "selected00", "", "selected01"};
        QTest::newRow("picture menu") << "Image" << false << true << 0 << -1 << QStringList() << image << image;
        QTest::newRow("file list menu") << "FileList" << false << true << 0 << -1 << QStringList() << image << image;
        QTest::newRow("thumbnail menu") << "Thumb" << true << false << 2 << 1 << two << PictureChoice{Kind::Thumb, 2}
                                        << PictureChoice{Kind::Thumb, 2};
        QTest::newRow("thumbnail menu, page left since")
            << "Thumb" << false << true << 2 << -1 << QStringList() << image << image;
        QTest::newRow("thumbnail menu on a deleted file")
            << "Thumb" << true << false << 1 << 0 << QStringList{"", "invalid"} << none << none;
        QTest::newRow("no menu yet, picture shown")
            << "" << false << true << 0 << -1 << QStringList() << image << image;
        QTest::newRow("no menu yet, nothing shown") << "" << false << false << 0 << -1 << QStringList() << none << none;
        QTest::newRow("no menu yet, page, two selected: the last")
            << "" << true << false << 0 << 1 << two << PictureChoice{Kind::Thumb, 3} << none;
        QTest::newRow("no menu yet, page, nothing selected")
            << "" << true << false << 0 << -1 << QStringList{"", ""} << none << none;
        QTest::newRow("no menu yet, page, set 7")
            << "" << true << false << 0 << 7 << QStringList{"selected07", "selected03"} << PictureChoice{Kind::Thumb, 0}
            << none;
        QTest::newRow("no menu yet, page, set of three digits")
            << "" << true << false << 0 << 100 << QStringList{"selected99", "selected100"}
            << PictureChoice{Kind::NothingToDo, -1} << none;
    }
    void choice()
    {
        QFETCH(QString, source);
        QFETCH(bool, page);
        QFETCH(bool, image);
        QFETCH(int, currentThumb);
        QFETCH(int, lastSet);
        QFETCH(QStringList, tags);
        QFETCH(PictureChoice, print);
        QFETCH(PictureChoice, wallpaper);
        const PictureSourceSnapshot s{source, page, image, currentThumb, lastSet, tags};
        const PictureChoice p = ChoosePrintPicture(s);
        QCOMPARE(int(p.kind), int(print.kind));
        QCOMPARE(p.thumb, print.thumb);
        const PictureChoice w = ChooseWallpaperPicture(s);
        QCOMPARE(int(w.kind), int(wallpaper.kind));
        QCOMPARE(w.thumb, wallpaper.thumb);
    }

    // Printed from the file at full resolution, placed as the geometry says, read back from the PDF.
    void pdfPlacement_data()
    {
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<QRectF>("millimetres"); // expected place on the page
        const double m = 10, W = 190, H = 277;
        const double pxMm = 25.4 / 96; // 15 twips per pixel
        QTest::newRow("small: natural size, centred")
            << QSize(400, 200) << QRectF(m + (W - 400 * pxMm) / 2, m + (H - 200 * pxMm) / 2, 400 * pxMm, 200 * pxMm);
        QTest::newRow("panorama: full width") << QSize(4000, 1000) << QRectF(m, m + (H - W / 4) / 2, W, W / 4);
        QTest::newRow("portrait: full height") << QSize(1000, 4000) << QRectF(m + (W - H / 4) / 2, m, H / 4, H);
        QTest::newRow("the page's proportions: fills it") << QSize(1900, 2770) << QRectF(m, m, W, H);
    }
    void pdfPlacement()
    {
        QFETCH(QSize, pixels);
        QFETCH(QRectF, millimetres);
        QTemporaryDir dir;
        const QString jpg = dir.filePath("p.jpg");
        const QString pdf = dir.filePath("p.pdf");
        QVERIFY(WriteFramed(jpg, pixels.width(), pixels.height()));
        QPrinter printer(QPrinter::HighResolution);
        SetUpPdf(printer, pdf);
        QCOMPARE(PrintPictureFile(jpg, printer, 15, 15), PrintResult::Printed);
        QCOMPARE(PdfProbe::pageCount(pdf), 1);
        QCOMPARE(PdfProbe::imageSizes(pdf), QList<QSize>{pixels});
        const QRect ink = PdfProbe::inkBox(PdfProbe::page(pdf, dir.filePath("page")));
        const QRectF points(millimetres.topLeft() * kPointsPerMm, millimetres.size() * kPointsPerMm);
        const auto near = [](double a, double b) { return qAbs(a - b) <= 1.5; };
        QVERIFY2(near(ink.left(), points.left()) && near(ink.top(), points.top()) &&
                     near(ink.right() + 1, points.right()) && near(ink.bottom() + 1, points.bottom()),
                 qPrintable(QStringLiteral("ink %1,%2 %3x%4, expected %5,%6 %7x%8")
                                .arg(ink.x())
                                .arg(ink.y())
                                .arg(ink.width())
                                .arg(ink.height())
                                .arg(points.x())
                                .arg(points.y())
                                .arg(points.width())
                                .arg(points.height())));
    }

    void jpegPrintsUpright()
    {
        QTemporaryDir dir;
        const QString jpg = dir.filePath("turned.jpg");
        const QString pdf = dir.filePath("turned.pdf");
        QVERIFY(WriteFramed(jpg, 600, 200, QImageIOHandler::TransformationRotate90));
        QPrinter printer(QPrinter::HighResolution);
        SetUpPdf(printer, pdf);
        QCOMPARE(PrintPictureFile(jpg, printer, 15, 15), PrintResult::Printed);
        QCOMPARE(PdfProbe::imageSizes(pdf), QList<QSize>{QSize(200, 600)});
        const QRect ink = PdfProbe::inkBox(PdfProbe::page(pdf, dir.filePath("page")));
        QVERIFY2(ink.height() > 2 * ink.width(), "printed on its side");
    }

    void metafilePrintsAsVectors()
    {
        QTemporaryDir dir;
        for (const char *name : {"shapes.wmf", "shapes.emf"}) {
            const QString pdf = dir.filePath(QString::fromLatin1(name) + ".pdf");
            QPrinter printer(QPrinter::HighResolution);
            SetUpPdf(printer, pdf);
            QCOMPARE(PrintPictureFile(QStringLiteral(VV_SAMPLES "/") + name, printer, 15, 15), PrintResult::Printed);
            QCOMPARE(PdfProbe::pageCount(pdf), 1);
            QVERIFY2(PdfProbe::imageSizes(pdf).isEmpty(), "drawn as an image, not as paths");
            QVERIFY(!PdfProbe::inkBox(PdfProbe::page(pdf, dir.filePath(name))).isEmpty());
        }
    }

    // Through a real CUPS queue: the page comes out of the cups-pdf backend.
    void realPrintQueue()
    {
        if (!cups->running()) {
            QSKIP(qPrintable("no CUPS server for the test: " + cups->why()));
        }
        QTemporaryDir dir;
        const QString jpg = dir.filePath("queued.jpg");
        QVERIFY(WriteFramed(jpg, 400, 200));
        QPrinter printer(QPrinter::HighResolution);
        printer.setPrinterName(cups->queue());
        QVERIFY2(printer.isValid(), "Qt does not see the queue");
        QCOMPARE(printer.outputFormat(), QPrinter::NativeFormat);
        QCOMPARE(PrintPictureFile(jpg, printer, 15, 15), PrintResult::Printed);
        QTRY_COMPARE_WITH_TIMEOUT(cups->output().size(), 1, 60000);
        const QString pdf = cups->output().first();
        QTRY_COMPARE_WITH_TIMEOUT(PdfProbe::pageCount(pdf), 1, 10000);
        QCOMPARE(PdfProbe::imageSizes(pdf), QList<QSize>{QSize(400, 200)});
        // 400 x 200 pixels at 96 per inch: 300 x 150 points, whatever the queue's paper.
        const QRect ink = PdfProbe::inkBox(PdfProbe::page(pdf, dir.filePath("page")));
        QVERIFY2(qAbs(ink.width() - 300) <= 2 && qAbs(ink.height() - 150) <= 2,
                 qPrintable(QStringLiteral("%1x%2").arg(ink.width()).arg(ink.height())));
    }

    void unreadablePrintsNothing()
    {
        QTemporaryDir dir;
        const QString bad = dir.filePath("bad.jpg");
        QFile f(bad);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\xff\xd8\xff\xe0 not really a jpeg");
        f.close();
        const QString pdf = dir.filePath("bad.pdf");
        QPrinter printer(QPrinter::HighResolution);
        SetUpPdf(printer, pdf);
        QCOMPARE(PrintPictureFile(bad, printer, 15, 15), PrintResult::CannotRead);
        QVERIFY(!QFileInfo::exists(pdf));
    }

    // The job carries the file's name; a wide picture gets a landscape page, a tall one a
    // portrait page, when the printer chooser is left as it opens.
    void theJobIsNamedAndTurnedAsThePicture()
    {
        startOn({{"a wide view.jpg", QSize(1600, 900)}, {"b.jpg", QSize(300, 500)}});
        const auto pageIsWide = [](const QString &pdf) {
            // "Page size:      842 x 595 pts (A4)"
            const QList<QByteArray> words = PdfProbe::infoField(pdf, "Page size").split(' ');
            return words.size() >= 3 && words.at(0).toDouble() > words.at(2).toDouble();
        };
        const QString wide = program->env.path("wide.pdf");
        dialogs().printerOutputFile = wide;
        dialogs().printerAnswers = {true};
        menu().mnuPrint_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!menu().busy(), 30000);
        QCOMPARE(PdfProbe::infoField(wide, "Title"), QByteArray("a wide view.jpg"));
        QVERIFY2(pageIsWide(wide), PdfProbe::infoField(wide, "Page size").constData());

        Control<FileListBox>(Forms::frmSide(), "File1")->setListIndex(1);
        QTRY_COMPARE(Forms::frmPictureViewer().pictureFile(), pics + "/b.jpg");
        const QString tall = program->env.path("tall.pdf");
        dialogs().printerOutputFile = tall;
        dialogs().printerAnswers = {true};
        menu().mnuPrint_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!menu().busy(), 30000);
        QCOMPARE(PdfProbe::infoField(tall, "Title"), QByteArray("b.jpg"));
        QVERIFY2(!pageIsWide(tall), PdfProbe::infoField(tall, "Page size").constData());
    }

    // The command chooses the picture as the views left it, and prints from its file.
    void printCommand()
    {
        startOn({{"a.jpg", QSize(1600, 1200)},
                 {"b.jpg", QSize(300, 500)},
                 {"c.jpg", QSize(700, 300)},
                 {"d.jpg", QSize(200, 220)}});
        frmPictureViewer &viewer = Forms::frmPictureViewer();

        // Cancelling the printer chooser prints nothing and says nothing.
        dialogs().printerAnswers = {false};
        const QString cancelled = program->env.path("cancelled.pdf");
        dialogs().printerOutputFile = cancelled;
        menu().mnuPrint_Click();
        QTRY_VERIFY(!menu().busy());
        QVERIFY(!QFileInfo::exists(cancelled));
        QCOMPARE(messages(), 0);

        // Before any menu: the picture shown, from its file, not the reduced one on screen.
        QCOMPARE(printed([] { menu().mnuPrint_Click(); }), QList<QSize>{QSize(1600, 1200)});
        // Nothing shown: the message, and no printer chooser.
        viewer.hidePicture();
        const int choosers = static_cast<int>(dialogs().asked.size());
        dialogs().printerAnswers = {true};
        menu().mnuPrint_Click();
        QTRY_COMPARE(dialogs().asked.size(), choosers + 1);
        QCOMPARE(dialogs().asked.last().prompt, QStringLiteral("You have not selected an image to print."));
        QCOMPARE(dialogs().asked.last().style, int(vbCritical));

        // The thumbnail page, two selected: the one selected last, by the print key.
        QVERIFY(ClickThumbnails());
        QVERIFY(State().ThumbsLoaded);
        viewer.Thumb1_MouseDown(1, 1, 0, 0, 0);
        viewer.Thumb1_MouseDown(3, 1, 2, 0, 0);
        QCOMPARE(printed([&] { viewer.Form_KeyDown(80, 4); }), QList<QSize>{QSize(200, 220)});
        // None selected: the message.
        viewer.ThumbBordersClose();
        menu().mnuPrint_Click();
        QCOMPARE(dialogs().asked.last().prompt, QStringLiteral("You have not selected an image to print."));

        // After the menu opened on a thumbnail, the print key prints that thumbnail again.
        viewer.Thumb1_MouseDown(2, 2, 0, 0, 0);
        Control<QMenu>(menu(), "mnuFile")->hide();
        QCOMPARE(State().PopupSource, QStringLiteral("Thumb"));
        QCOMPARE(printed([] { menu().mnuPrint_Click(); }), QList<QSize>{QSize(700, 300)});
        QCOMPARE(printed([&] { viewer.Form_KeyDown(80, 4); }), QList<QSize>{QSize(700, 300)});
    }
};

QTEST_MAIN(PrintTest)
#include "tst_print.moc"
