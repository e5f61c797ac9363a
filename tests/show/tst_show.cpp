// SPDX-License-Identifier: GPL-2.0-or-later
#include "Controls.h"
#include "ProgramUnderTest.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/KeyCodes.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/platform/ScreenSaver.h"
#include "controls/HelpWindow.h"
#include "files/frmInvisible.h"
#include "panel/FileListBox.h"
#include "panel/frmSide.h"
#include "show/Grad.h"
#include "show/SlideRules.h"
#include "show/SlideShow.h"
#include "viewer/frmPictureViewer.h"

#include "controls/PictureImage.h"

#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QSet>
#include <QTest>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <memory>

using Forms::Form;

namespace {

constexpr std::int32_t kRed = 0x0000FF; // 0x00BBGGRR
constexpr std::int32_t kBlue = 0xFF0000;

QImage painted(int w, int h, std::int32_t c1, std::int32_t c2, int angle, QColor under = Qt::green)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(under);
    PaintGradient(image, c1, c2, angle);
    return image;
}

// Mostly red or mostly blue.
bool reddish(QRgb c)
{
    return qRed(c) > 200 && qBlue(c) < 60;
}

bool bluish(QRgb c)
{
    return qBlue(c) > 200 && qRed(c) < 60;
}

class FakeScreenSaver : public ScreenSaverControl
{
public:
    int held = 0;
    int inhibits = 0;
    bool inhibit() override
    {
        ++inhibits;
        ++held;
        return true;
    }
    void release() override { --held; }
};

} // namespace

class ShowTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProgramUnderTest> program;
    IsolatedEnvironment *env = nullptr;
    ScriptedDialogs *dialogs = nullptr;
    FakeScreenSaver saver;

    QString startWith(int pictures, const QString &slideTime = QStringLiteral("4"), bool manual = false)
    {
        const QString dir = env->path("show");
        QDir().mkpath(dir);
        for (int i = 0; i < pictures; ++i) {
            WriteJpeg(dir + QStringLiteral("/%1.jpg").arg(i), 60 + i, 40);
        }
        SaveSetting(AppName, "Directories", "show", dir);
        SaveSetting(AppName, "Settings", "Basename", "show");
        if (!slideTime.isEmpty()) { // no interval: a fresh profile, which has none
            SaveSetting(AppName, "Settings", "SlideTime", slideTime);
            SaveSetting(AppName, "Settings", "ManualShow", manual ? "True" : "False");
        }
        if (EntryProcedure() != Road::Normal) {
            return {};
        }
        return dir;
    }

    frmSide &side() { return Forms::frmSide(); }
    frmPictureViewer &viewer() { return Forms::frmPictureViewer(); }

private slots:
    void init()
    {
        program = std::make_unique<ProgramUnderTest>();
        env = &program->env;
        dialogs = &program->dialogs;
        saver = FakeScreenSaver();
        SetScreenSaverControl(&saver);
    }

    void cleanup()
    {
        program.reset();
        SetScreenSaverControl(nullptr);
    }

    // ---- The gradient ----

    void sweepDirections_data()
    {
        QTest::addColumn<int>("angle");
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<QPoint>("end");
        QTest::newRow("0: left to right") << 0 << QPoint(1, 50) << QPoint(198, 50);
        QTest::newRow("90: bottom to top") << 90 << QPoint(100, 98) << QPoint(100, 1);
        QTest::newRow("180: right to left") << 180 << QPoint(198, 50) << QPoint(1, 50);
        QTest::newRow("270: top to bottom") << 270 << QPoint(100, 1) << QPoint(100, 98);
        QTest::newRow("45: from the bottom-left") << 45 << QPoint(1, 98) << QPoint(198, 1);
        QTest::newRow("315: from the top-left") << 315 << QPoint(1, 1) << QPoint(198, 98);
        QTest::newRow("135: from the bottom-right") << 135 << QPoint(198, 98) << QPoint(1, 1);
        QTest::newRow("225: from the top-right") << 225 << QPoint(198, 1) << QPoint(1, 98);
    }

    void sweepDirections()
    {
        QFETCH(int, angle);
        QFETCH(QPoint, start);
        QFETCH(QPoint, end);
        const QImage image = painted(200, 100, kRed, kBlue, angle);
        QVERIFY2(reddish(image.pixel(start)), qPrintable(QColor(image.pixel(start)).name()));
        QVERIFY2(bluish(image.pixel(end)), qPrintable(QColor(image.pixel(end)).name()));
        // Every pixel inside the edges is painted: no green shows through.
        for (int y = 1; y < 99; y += 7) {
            for (int x = 1; x < 199; x += 7) {
                QVERIFY(QColor(image.pixel(x, y)) != QColor(Qt::green));
            }
        }
    }

    void specialAngles()
    {
        // 360 sweeps down like 270 (its first line also covers the top row, which 270 leaves).
        const QImage at360 = painted(120, 80, kRed, kBlue, 360);
        const QImage at270 = painted(120, 80, kRed, kBlue, 270);
        QCOMPARE(at360.copy(0, 1, 120, 79), at270.copy(0, 1, 120, 79));
        for (const auto &[designed, painted_as] : {std::pair{22, 23}, {140, 141}, {202, 203}, {320, 321}}) {
            QCOMPARE(painted(120, 80, kRed, kBlue, designed), painted(120, 80, kRed, kBlue, painted_as));
        }
        // Out of range: almost nothing is painted.
        for (const int angle : {-10, 361, 1000}) {
            const QImage image = painted(120, 80, kRed, kBlue, angle);
            int green = 0;
            for (int y = 0; y < 80; ++y) {
                for (int x = 0; x < 120; ++x) {
                    green += QColor(image.pixel(x, y)) == QColor(Qt::green) ? 1 : 0;
                }
            }
            QVERIFY2(green > 120 * 80 * 9 / 10, qPrintable(QString::number(angle)));
        }
    }

    void equalColoursFillOneColour()
    {
        const QImage image = painted(50, 30, 0x336699, 0x336699, 45);
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 50; ++x) {
                QCOMPARE(image.pixel(x, y), qRgb(0x99, 0x66, 0x33));
            }
        }
    }

    void tinySurfaceAndOddColours()
    {
        const QImage tiny = painted(10, 10, 0x000000, 0xFFFFFF, 45);
        QVERIFY(!tiny.isNull());
        const QImage one = painted(1, 1, 0x000000, 0xFFFFFF, 0);
        QVERIFY(!one.isNull());
        // A colour longer than six hexadecimal digits splits by its text: 0x8000000F is red 0x0F,
        // green 0, blue 0x80.
        const auto lines = GradientSweep(100, 100, static_cast<std::int32_t>(0x8000000Fu), 0x8000000F, 0);
        QVERIFY(!lines.empty());
        QCOMPARE(lines.front().colour, qRgb(0x0F, 0x00, 0x80));
    }

    void sweepIsQuickEnoughToKeep()
    {
        // Drawn once and kept: the viewer repaints from the kept picture.
        const auto lines = GradientSweep(1920, 1080, kRed, kBlue, 45);
        QVERIFY(lines.size() > 2900 && lines.size() < 3500);
    }

    void lineCountsAreExact()
    {
        // The count worked out from the decimal band: B whole lines a round, and in every cycle of
        // eleven rounds d + 1 rounds with one more (d the band's tenths digit).
        const auto expected = [](int w, int h, int angle) {
            const int steps = 255; // the default colours differ by 255 in red
            const double a = angle < 270 ? angle + 90 : angle == 360 ? 360 : angle - 270;
            const long double t = std::fabs(std::tan(a * 3.14159265358979 / 180));
            const bool horizontal = (a < 45) || (a >= 135 && a < 225) || (a >= 315);
            const long double sweep = horizontal ? t * w + h : h / t + w;
            const long double band = sweep / steps;
            const auto tenths = static_cast<int>(std::floor(band * 10 + 1e-9L));
            const int whole = tenths / 10;
            const int digit = tenths % 10;
            int count = 0;
            for (int round = 0; round < steps + 20; ++round) {
                const int inCycle = round % 11 + 1;
                count += whole + (inCycle >= 10 - digit && inCycle <= 10 ? 1 : 0);
            }
            return std::pair{count, sweep};
        };
        for (const QSize size : {QSize(640, 480), QSize(800, 600), QSize(1024, 768), QSize(1366, 768)}) {
            for (int angle = 0; angle <= 360; ++angle) {
                const int designed = angle == 22 || angle == 140 || angle == 202 || angle == 320 ? angle + 1 : angle;
                const auto [count, sweep] = expected(size.width(), size.height(), designed);
                const GradientPlan plan = PlanGradient(size.width(), size.height(), 16744448, 16777215, angle);
                const QString where = QStringLiteral("%1x%2 at %3").arg(size.width()).arg(size.height()).arg(angle);
                QCOMPARE(static_cast<int>(plan.colours.size()), count);
                // ...and the last line lies at or past the far edge.
                QVERIFY2(plan.colours.size() >= static_cast<std::size_t>(std::ceil(sweep)), qPrintable(where));
            }
        }
        // Seen wrong before: 4.0 lines a band read as 3.9999999999999996.
        QCOMPARE(PlanGradient(1024, 768, 16744448, 16777215, 359).colours.size(), std::size_t(1125));
    }

    void everyPixelIsPainted()
    {
        for (const QSize size : {QSize(97, 61), QSize(640, 480)}) {
            for (int angle = 0; angle <= 360; ++angle) {
                const QImage image = painted(size.width(), size.height(), 16744448, 16777215, angle);
                const QRgb green = qRgb(0, 255, 0);
                for (int y = 0; y < image.height(); ++y) {
                    const auto *row = reinterpret_cast<const QRgb *>(image.constScanLine(y));
                    const bool clean = std::none_of(row, row + image.width(), [&](QRgb c) { return c == green; });
                    QVERIFY2(clean, qPrintable(QStringLiteral("%1x%2 at %3, row %4")
                                                   .arg(size.width())
                                                   .arg(size.height())
                                                   .arg(angle)
                                                   .arg(y)));
                }
            }
        }
    }

    void fillFollowsTheLines()
    {
        // Every pixel a drawn line touches shows that line's colour, give or take a pixel (two at
        // the edges, where the lines are cut off; the corners, where a line that grazes the surface
        // from outside may be drawn, are left out).
        const QRgb green = qRgb(0, 255, 0);
        for (int angle = 0; angle <= 360; ++angle) {
            QImage lines(120, 80, QImage::Format_RGB32);
            lines.fill(green);
            {
                QPainter p(&lines);
                // Line 0, from the start corner to the origin, may cross the far end of the sweep:
                // the fill does not repeat that stray line.
                const auto sweep = GradientSweep(120, 80, kRed, kBlue, angle);
                for (std::size_t n = 1; n < sweep.size(); ++n) {
                    p.setPen(QColor::fromRgb(sweep[n].colour));
                    p.drawLine(sweep[n].line);
                }
            }
            const QImage filled = painted(120, 80, kRed, kBlue, angle);
            int off = 0;
            for (int y = 0; y < 80; ++y) {
                for (int x = 0; x < 120; ++x) {
                    const bool edge = x == 0 || y == 0 || x == 119 || y == 79;
                    const int reach = edge ? 2 : 1;
                    const bool corner = (x == 0 || x == 119) && (y == 0 || y == 79);
                    bool near = corner || lines.pixel(x, y) == green;
                    for (int dy = -reach; dy <= reach && !near; ++dy) {
                        for (int dx = -reach; dx <= reach && !near; ++dx) {
                            const QPoint q(x + dx, y + dy);
                            near = filled.valid(q) && filled.pixel(q) == lines.pixel(x, y);
                        }
                    }
                    off += near ? 0 : 1;
                }
            }
            QVERIFY2(off == 0, qPrintable(QStringLiteral("%1 pixels off at %2").arg(off).arg(angle)));
        }
    }

    void edgesTakeTheColourOfTheLineNextToThem()
    {
        // The default colours: a deep blue start, (nearly) white at the end. The start edge is the
        // first line, or the second where the first runs from a corner to the origin across the
        // surface; the far edge is the one colour of the line there.
        const QRgb first = qRgb(0x00, 0x80, 0xFF);
        const QRgb second = qRgb(0x01, 0x80, 0xFF); // one step on
        const struct
        {
            int angle;
            QRect start;
            QRgb startColour;
            QRect end;
        } edges[] = {{270, QRect(0, 0, 640, 1), first, QRect(0, 479, 640, 1)},
                     {0, QRect(0, 0, 1, 480), first, QRect(639, 0, 1, 480)},
                     {90, QRect(0, 479, 640, 1), second, QRect(0, 0, 640, 1)},
                     {180, QRect(639, 0, 1, 480), first, QRect(0, 0, 1, 480)}}; // two lines a colour
        for (const auto &e : edges) {
            const QImage image = painted(640, 480, 16744448, 16777215, e.angle, Qt::red);
            for (int y = e.start.top(); y <= e.start.bottom(); ++y) {
                for (int x = e.start.left(); x <= e.start.right(); ++x) {
                    QCOMPARE(image.pixel(x, y), e.startColour);
                }
            }
            const QRgb last = image.pixel(e.end.topLeft());
            QVERIFY(qRed(last) > 0xF0 && qGreen(last) > 0xF0 && qBlue(last) == 0xFF);
            for (int y = e.end.top(); y <= e.end.bottom(); ++y) {
                for (int x = e.end.left(); x <= e.end.right(); ++x) {
                    QCOMPARE(image.pixel(x, y), last);
                }
            }
        }
    }

    // ---- Stepping ----

    void slideOrder()
    {
        QCOMPARE(NextSlide(0, 5, false, 0), 1); // nothing selected: entry 0 first
        QCOMPARE(NextSlide(4, 5, false, 0), 5);
        QCOMPARE(NextSlide(5, 5, false, 0), 1); // wraps
        QCOMPARE(NextSlide(1, 1, false, 0), 1); // one picture repeats
        QCOMPARE(NextSlide(7, 3, false, 0), 1); // files deleted under the show: start again
        QCOMPARE(NextSlide(3, 5, true, 0.0f), 1);
        QCOMPARE(NextSlide(3, 5, true, 0.999f), 5);
        QCOMPARE(NextSlide(3, 5, true, 0.5f), 3);
        QCOMPARE(ManualSlideIndex(1, 5, false, 37, 0), 5); // Left on the first goes to the last
        QCOMPARE(ManualSlideIndex(3, 5, false, 37, 0), 2);
        QCOMPARE(ManualSlideIndex(5, 5, false, 39, 0), 1);
        QCOMPARE(ManualSlideIndex(3, 5, false, 40, 0), 3);   // other keys: nothing
        QCOMPARE(ManualSlideIndex(3, 5, true, 37, 0.1f), 1); // random: both keys pick at random
        QCOMPARE(ManualSlideIndex(3, 5, true, 39, 0.9f), 5);
        for (int i = 0; i < 50; ++i) {
            const float r = RandomUnit();
            QVERIFY(r >= 0.0f && r < 1.0f);
        }
    }

    // ---- The show ----

    void refusals()
    {
        SaveSetting(AppName, "Directories", "gone", env->path("gone"));
        SaveSetting(AppName, "Settings", "Basename", "gone");
        QCOMPARE(EntryProcedure(), Road::Normal);
        QTRY_VERIFY(Forms::IsLoaded(Form::PictureViewer) && viewer().isVisible());
        side().cmdSlide_Click();
        QCOMPARE(dialogs->asked.size(), 1);
        QCOMPARE(dialogs->asked[0].prompt, QStringLiteral("The selected folder is currently unavailable."));
        QCOMPARE(dialogs->asked[0].style, int(vbExclamation));
        QCOMPARE(dialogs->asked[0].title, QStringLiteral("Vantrel Viewer"));
        QVERIFY(!State().SlideShowOn);
        QVERIFY(side().isVisible());
        QDir().mkpath(env->path("empty"));
        SaveSetting(AppName, "Directories", "empty", env->path("empty"));
        Control<QComboBox>(side(), "cmbFolders")->addItem("empty");
        Control<QComboBox>(side(), "cmbFolders")
            ->setCurrentIndex(Control<QComboBox>(side(), "cmbFolders")->findText("empty"));
        side().cmdSlide_Click();
        QCOMPARE(dialogs->asked.size(), 2);
        QCOMPARE(dialogs->asked[1].prompt, QStringLiteral("There are currently no images in the selected folder."));
        QVERIFY(!State().SlideShowOn);
        QCOMPARE(saver.inhibits, 0);
    }

    void timedShowStartsStepsAndStops()
    {
        const QString dir = startWith(3, QStringLiteral("255"));
        QVERIFY(!dir.isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        side().cmdSlide_Click();
        QVERIFY(State().SlideShowOn);
        QVERIFY(!side().isVisible());
        QCOMPARE(side().slideShow().index(), 1);
        QVERIFY(Control<QTimer>(side(), "tmrSlide")->isActive());
        QCOMPARE(Control<QTimer>(side(), "tmrSlide")->interval(), 255000); // wider than the 16 bits it once had
        QCOMPARE(saver.held, 1);
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
        QVERIFY(viewer().isTopmost());
        // During the show the picture uses the whole screen.
        const QRect shown = Control<PictureImage>(viewer(), "Image1")->geometry();
        QCOMPARE(shown.center().x(), 511);
        side().tmrSlide_Timer();
        QCOMPARE(State().CurrentFile, dir + "/1.jpg");
        side().tmrSlide_Timer();
        side().tmrSlide_Timer();
        QCOMPARE(State().CurrentFile, dir + "/0.jpg"); // wrapped
        // Arrows do not step a timed show: any key stops it.
        viewer().Form_KeyDown(39, 0);
        QVERIFY(!State().SlideShowOn);
        QVERIFY(side().isVisible());
        QVERIFY(!Control<QTimer>(side(), "tmrSlide")->isActive());
        QCOMPARE(saver.held, 0);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr ||
                QGuiApplication::overrideCursor()->shape() != Qt::BlankCursor);
        QVERIFY(!viewer().isTopmost());
        QCOMPARE(State().CurrentFile, dir + "/0.jpg"); // shown again in the panel's layout
        QVERIFY(Control<PictureImage>(viewer(), "Image1")->geometry().left() >= 180);
    }

    void theShowKeepsBothWindowsAndASecondStartLeavesItRunning()
    {
        QVERIFY(!startWith(3).isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible() && side().isVisible());
        // The panel names the viewer's window as its owner: neither may be re-created by the show.
        const WId viewerWindow = viewer().winId();
        const WId panelWindow = side().winId();
        QCOMPARE(side().windowHandle()->transientParent(), viewer().windowHandle());
        side().cmdSlide_Click();
        QVERIFY(viewer().isTopmost());
        ActivateViewer(); // what a second start asks of this one
        QVERIFY(State().SlideShowOn);
        QVERIFY(!side().isVisible());
        QVERIFY(viewer().isVisible());
        QCOMPARE(viewer().winId(), viewerWindow);
        viewer().Form_KeyDown(27, 0);
        QVERIFY(!State().SlideShowOn);
        QVERIFY(side().isVisible());
        QVERIFY(!viewer().isTopmost());
        QCOMPARE(viewer().winId(), viewerWindow);
        QCOMPARE(side().winId(), panelWindow);
        QCOMPARE(side().windowHandle()->transientParent(), viewer().windowHandle());
    }

    void manualShowMovesByTheArrows()
    {
        const QString dir = startWith(3, QStringLiteral("4"), true);
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        side().cmdSlide_Click();
        QVERIFY(State().SlideShowOn);
        QVERIFY(!Control<QTimer>(side(), "tmrSlide")->isActive());
        QTest::keyClick(&viewer(), Qt::Key_Left); // Left on the first: the last
        QCOMPARE(State().CurrentFile, dir + "/2.jpg");
        QTest::keyClick(&viewer(), Qt::Key_Right);
        QCOMPARE(State().CurrentFile, dir + "/0.jpg");
        // Shift does not matter for the arrows (sent without the press of Shift itself).
        QKeyEvent shiftRight(QEvent::KeyPress, Qt::Key_Right, Qt::ShiftModifier);
        QCoreApplication::sendEvent(&viewer(), &shiftRight);
        QCOMPARE(State().CurrentFile, dir + "/1.jpg");
        QVERIFY(State().SlideShowOn);
        QTest::keyClick(&viewer(), Qt::Key_Escape); // any other key ends it
        QVERIFY(!State().SlideShowOn);
    }

    void everyOtherKeyStopsTheShow_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("keypad");
        QTest::addColumn<int>("code");
        QTest::newRow("period") << int(Qt::Key_Period) << false << 190;
        QTest::newRow("minus") << int(Qt::Key_Minus) << false << 189;
        QTest::newRow("comma") << int(Qt::Key_Comma) << false << 188;
        QTest::newRow("slash") << int(Qt::Key_Slash) << false << 191;
        QTest::newRow("question mark: the slash key") << int(Qt::Key_Question) << false << 191;
        QTest::newRow("exclamation mark: the 1 key") << int(Qt::Key_Exclam) << false << 49;
        QTest::newRow("keypad plus") << int(Qt::Key_Plus) << true << 107;
        QTest::newRow("keypad minus") << int(Qt::Key_Minus) << true << 109;
        QTest::newRow("keypad times") << int(Qt::Key_Asterisk) << true << 106;
        QTest::newRow("keypad divide") << int(Qt::Key_Slash) << true << 111;
        QTest::newRow("keypad 7") << int(Qt::Key_7) << true << 103;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << true << 13;
        QTest::newRow("Caps Lock") << int(Qt::Key_CapsLock) << false << 20;
        QTest::newRow("Num Lock") << int(Qt::Key_NumLock) << false << 144;
        QTest::newRow("Scroll Lock") << int(Qt::Key_ScrollLock) << false << 145;
        QTest::newRow("lone Shift") << int(Qt::Key_Shift) << false << 16;
        QTest::newRow("lone Ctrl") << int(Qt::Key_Control) << false << 17;
        QTest::newRow("lone Alt") << int(Qt::Key_Alt) << false << 18;
        QTest::newRow("Super") << int(Qt::Key_Super_L) << false << 91;
        QTest::newRow("Up") << int(Qt::Key_Up) << false << 38;
        QTest::newRow("F12") << int(Qt::Key_F12) << false << 123;
        QTest::newRow("a letter of another alphabet") << int(Qt::Key_Adiaeresis) << false << 255;
    }

    void everyOtherKeyStopsTheShow()
    {
        QFETCH(int, key);
        QFETCH(bool, keypad);
        QFETCH(int, code);
        QCOMPARE(VirtualKeyCode(key, keypad), code);
        QVERIFY(!startWith(2, QStringLiteral("4"), true).isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        side().cmdSlide_Click();
        QVERIFY(State().SlideShowOn);
        QKeyEvent press(QEvent::KeyPress, key, keypad ? Qt::KeypadModifier : Qt::NoModifier);
        QCoreApplication::sendEvent(&viewer(), &press);
        QVERIFY(!State().SlideShowOn);
        QVERIFY(side().isVisible());
    }

    void randomShowPicksFromTheFolder()
    {
        SaveSetting(AppName, "Settings", "RandomShow", "True");
        const QString dir = startWith(4);
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        side().cmdSlide_Click();
        QSet<QString> seen;
        for (int i = 0; i < 40; ++i) {
            side().tmrSlide_Timer();
            QVERIFY(side().slideShow().index() >= 1 && side().slideShow().index() <= 4);
            QCOMPARE(State().CurrentFile, dir + QStringLiteral("/%1.jpg").arg(side().slideShow().index() - 1));
            seen << State().CurrentFile;
        }
        QVERIFY(seen.size() >= 3);
        // Both arrows pick at random in a random manual show too.
        State().ManualShow = true;
        viewer().Form_KeyDown(37, 0);
        QVERIFY(State().SlideShowOn);
    }

    void aFreshProfilesShowAdvancesByItself_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("no interval stored") << QString();
        QTest::newRow("0, which no dialog stores") << QStringLiteral("0");
    }

    void aFreshProfilesShowAdvancesByItself()
    {
        QFETCH(QString, stored);
        const QString dir = startWith(2, stored);
        QVERIFY(!dir.isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        QCOMPARE(State().CurrentFile, dir + "/0.jpg");
        QTest::mouseClick(Control<ARButton>(side(), "cmdSlide"), Qt::LeftButton);
        QVERIFY(State().SlideShowOn);
        // The 4 seconds the settings dialog would show, and the show moves on without a key.
        QCOMPARE(Control<QTimer>(side(), "tmrSlide")->interval(), 4000);
        QTRY_COMPARE_WITH_TIMEOUT(State().CurrentFile, dir + "/1.jpg", 20000);
        QVERIFY(State().SlideShowOn);
    }

    void keysOutsideAShow()
    {
        QVERIFY(!startWith(1).isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        viewer().Form_KeyDown(112, 2); // F1 with any modifier
        QVERIFY(HelpWindow::instance() != nullptr);
        HelpWindow::closeInstance();
        // Delete with any modifier; P and R with Alt alone (the mask is compared whole); Ctrl+R turns.
        QStringList asked;
        connect(&Forms::frmInvisible(), &frmInvisible::commandRequested, this,
                [&asked](const QString &name) { asked << name; });
        const struct
        {
            int key;
            int shift;
            const char *command;
        } cases[] = {{46, 0, "Delete"},  {46, 2, "Delete"}, {80, 4, "Print"},     {80, 6, nullptr}, {80, 0, nullptr},
                     {82, 4, "Refresh"}, {82, 5, nullptr},  {82, 2, "Transform"}, // Ctrl+R turns the picture right
                     {39, 0, nullptr},   {65, 4, nullptr}};
        for (const auto &c : cases) {
            asked.clear();
            viewer().Form_KeyDown(c.key, c.shift);
            QCOMPARE(asked, c.command ? QStringList{QString::fromLatin1(c.command)} : QStringList());
            QVERIFY(!State().SlideShowOn);
            QVERIFY(side().isVisible());
        }
    }

    void dragFromThePictureChoosesMoveOrCopy()
    {
        QVERIFY(!startWith(1).isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        viewer().Image1_MouseMove(1, 0, 10, 10);
        QCOMPARE(State().DropAction, QStringLiteral("MOVE"));
        viewer().Image1_MouseMove(1, 2, 10, 10);
        QCOMPARE(State().DropAction, QStringLiteral("COPY"));
        viewer().Image1_MouseMove(1, 3, 10, 10); // Ctrl+Shift: left as it was
        QCOMPARE(State().DropAction, QStringLiteral("COPY"));
        viewer().Image1_MouseMove(0, 0, 10, 10); // no button: no drag
        QCOMPARE(State().DropAction, QStringLiteral("COPY"));
    }

    void screenSaverRunEndsOnARealMove()
    {
        QVERIFY(!startWith(0).isEmpty()); // a normal start first, registering the folder
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        for (const QString &name : {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}) {
            WriteJpeg(env->path("show/") + name, 30, 20);
        }
        side().cmdQuit_Click();
        Forms::FlushUnloaded();
        ResetState();
        SaveSetting(AppName, "ScreenSaver", "Mode", "On");
        QCOMPARE(EntryProcedure(), Road::ScreenSaver);
        QVERIFY(State().SlideShowOn);
        // The first move only records where the pointer is.
        viewer().Form_MouseMove(0, 0, 300, 200);
        QVERIFY(Forms::IsLoaded(Form::PictureViewer));
        QCOMPARE(State().MouseLastX, 300);
        viewer().Form_MouseMove(0, 0, 300, 200); // the same place: nothing
        QVERIFY(Forms::IsLoaded(Form::PictureViewer));
        viewer().Form_MouseMove(0, 0, 305, 200); // moved: the run ends
        QVERIFY(!Forms::IsLoaded(Form::PictureViewer));
        QCOMPARE(GetSetting(AppName, "ScreenSaver", "Mode"), QStringLiteral("Off"));
    }

    void plainBackgroundWhenTheColoursAreEqual()
    {
        SaveSetting(AppName, "Settings", "SlideColor", "255");
        SaveSetting(AppName, "Settings", "SlideColor2", "255");
        QVERIFY(!startWith(1).isEmpty());
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && viewer().isVisible());
        QVERIFY(viewer().background().isNull());
        QCOMPARE(viewer().palette().color(QPalette::Window), QColor(255, 0, 0));
        SaveSetting(AppName, "Settings", "SlideColor2", "16711680");
        State().SlideColor2 = QStringLiteral("16711680");
        side().GradientShow();
        QCOMPARE(viewer().background().size(), viewer().size());
    }
};

QTEST_MAIN(ShowTest)
#include "tst_show.moc"
