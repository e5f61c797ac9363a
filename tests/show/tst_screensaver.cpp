// SPDX-License-Identifier: GPL-2.0-or-later
// The screen-saver run: the logo's motion rules, ending with the password, the keys that must not
// touch files, stop signals, and a run killed outright.
#include "Controls.h"
#include "ProgramUnderTest.h"
#include "ScriptedPasswordPrompt.h"

#include "app/Forms.h"
#include "app/Startup.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/platform/SaverPassword.h"
#include "common/platform/SaverRunLock.h"
#include "common/platform/ScreenSaver.h"
#include "panel/frmSide.h"
#include "show/LogoRules.h"
#include "show/ScreenSaverRun.h"
#include "show/SlideShow.h"
#include "viewer/frmPictureViewer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <memory>

using Forms::Form;

namespace {

constexpr int W = 309;
constexpr int H = 45;
constexpr int SW = 800;
constexpr int SH = 600;
const LogoGeometry kGeometry{W, H, SW, SH};

// Hands out the given numbers in order and counts how many were taken.
struct Draws
{
    QList<float> values;
    int taken = 0;
    RandomDraw source()
    {
        return [this] {
            const float r = taken < values.size() ? values[taken] : 0.5f;
            ++taken;
            return r;
        };
    }
};

class FakeScreenSaver : public ScreenSaverControl
{
public:
    int held = 0;
    bool inhibit() override
    {
        ++held;
        return true;
    }
    void release() override { --held; }
};

// Everything under a folder: relative name -> content hash.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        files.insert(QDir(root).relativeFilePath(path), QCryptographicHash::hash(f.readAll(), QCryptographicHash::Md5));
    }
    return files;
}

} // namespace

Q_DECLARE_METATYPE(LogoState)

class ScreenSaverTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProgramUnderTest> program;
    std::unique_ptr<ScriptedPasswordPrompt> prompt;
    FakeScreenSaver saver;
    QString folder;

    // A folder with `pictures` pictures registered and current, then a run as the launcher starts
    // one: a dead run's mark cleared, "Mode" = "On", the program started.
    Road startRun(int pictures, bool logoShow = false, bool manual = false)
    {
        folder = program->env.path("pics");
        QDir().mkpath(folder);
        for (int i = 0; i < pictures; ++i) {
            WriteJpeg(folder + QStringLiteral("/p%1.jpg").arg(i), 80, 60);
        }
        SaveSetting(AppName, "Directories", "pics", folder);
        // A folder button to file pictures into, which no key of a run may use.
        QDir().mkpath(program->env.path("dest"));
        SaveSetting(AppName, "Directories", "dest", program->env.path("dest"));
        SaveSetting(AppName, "Settings", "Caption1", "dest");
        SaveSetting(AppName, "Settings", "Basename", "pics");
        SaveSetting(AppName, "Settings", "SlideTime", "4");
        SaveSetting(AppName, "Settings", "ManualShow", manual ? "True" : "False");
        SaveSetting(AppName, "ScreenSaver", "LogoShow", logoShow ? "1" : "0");
        PrepareSaverRunStart(SettingsFilePath(AppName));
        SaveSetting(AppName, "ScreenSaver", "Mode", "On");
        return EntryProcedure();
    }

    frmPictureViewer &viewer() { return Forms::frmPictureViewer(); }
    ScreenSaverRun &run() { return ScreenSaverRun::instance(); }
    QString mode() { return GetSetting(AppName, "ScreenSaver", "Mode"); }
    bool running() { return Forms::IsLoaded(Form::PictureViewer) && run().active(); }

private slots:
    void init()
    {
        program = std::make_unique<ProgramUnderTest>(QByteArrayLiteral("800x600@15"));
        prompt = std::make_unique<ScriptedPasswordPrompt>();
        saver = FakeScreenSaver();
        SetScreenSaverControl(&saver);
        run().setRandomSource({});
    }

    void cleanup()
    {
        prompt.reset();
        program.reset();
        SetScreenSaverControl(nullptr);
        QCOMPARE(run().active(), false);
    }

    // ---- The motion rules ----

    void start_data()
    {
        QTest::addColumn<float>("rx");
        QTest::addColumn<float>("ry");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::newRow("just off the left and top") << 0.0f << 0.0f << -W << -H;
        QTest::newRow("just inside the right and bottom") << 0.9999f << 0.9999f << SW - 1 << SH - 1;
        QTest::newRow("middle") << 0.5f << 0.5f << (SW + W) / 2 - W << (SH + H) / 2 - H;
    }
    void start()
    {
        QFETCH(float, rx);
        QFETCH(float, ry);
        Draws d{{rx, ry}};
        QFETCH(int, left);
        QFETCH(int, top);
        const LogoState s = StartLogo(kGeometry, d.source());
        QCOMPARE(s.left, left);
        QCOMPARE(s.top, top);
        QCOMPARE(s.dirX, 1);
        QCOMPARE(s.dirY, 1);
        QVERIFY(!s.turn);
        QCOMPARE(d.taken, 2);
    }

    void tick_data()
    {
        QTest::addColumn<LogoState>("before");
        QTest::addColumn<QList<float>>("draws");
        QTest::addColumn<LogoState>("after");
        QTest::addColumn<int>("taken");
        const QList<float> none;
        const QList<float> stay{0.5f};     // RandomTurn false
        const QList<float> through{0.05f}; // RandomTurn true

        // Starting partly beyond an edge: right and bottom turn back, left and top keep coming in.
        QTest::newRow("partly beyond right")
            << LogoState{SW - W + 5, 100, 1, 1, false} << none << LogoState{SW - W + 4, 101, -1, 1, false} << 0;
        QTest::newRow("partly beyond bottom")
            << LogoState{100, SH - H + 5, 1, 1, false} << none << LogoState{101, SH - H + 4, 1, -1, false} << 0;
        QTest::newRow("partly beyond left")
            << LogoState{-10, 100, -1, 1, false} << none << LogoState{-9, 101, 1, 1, false} << 0;
        QTest::newRow("partly beyond top")
            << LogoState{100, -10, 1, -1, false} << none << LogoState{101, -9, 1, 1, false} << 0;
        QTest::newRow("inside, no edge") << LogoState{100, 100, -1, -1, false} << none
                                         << LogoState{99, 99, -1, -1, false} << 0;

        // The four exact edge touches, bouncing or passing through.
        QTest::newRow("touch left, bounce")
            << LogoState{0, 100, -1, 1, false} << stay << LogoState{1, 101, 1, 1, false} << 1;
        QTest::newRow("touch left, pass")
            << LogoState{0, 100, -1, 1, false} << through << LogoState{-1, 101, -1, 1, true} << 1;
        QTest::newRow("touch right, bounce")
            << LogoState{SW - W, 100, 1, 1, false} << stay << LogoState{SW - W - 1, 101, -1, 1, false} << 1;
        QTest::newRow("touch right, pass")
            << LogoState{SW - W, 100, 1, 1, false} << through << LogoState{SW - W + 1, 101, 1, 1, true} << 1;
        QTest::newRow("touch top, bounce")
            << LogoState{100, 0, 1, -1, false} << stay << LogoState{101, 1, 1, 1, false} << 1;
        QTest::newRow("touch top, pass") << LogoState{100, 0, 1, -1, false} << through
                                         << LogoState{101, -1, 1, -1, true} << 1;
        QTest::newRow("touch bottom, bounce")
            << LogoState{100, SH - H, 1, 1, false} << stay << LogoState{101, SH - H - 1, 1, -1, false} << 1;
        QTest::newRow("touch bottom, pass")
            << LogoState{100, SH - H, 1, 1, false} << through << LogoState{101, SH - H + 1, 1, 1, true} << 1;
        // Moving away from an edge just touched still draws (the touch is all that counts).
        QTest::newRow("at left moving right")
            << LogoState{0, 100, 1, 1, false} << stay << LogoState{1, 101, 1, 1, false} << 1;

        // A corner draws twice; the second draw is the one that stays.
        QTest::newRow("corner: pass then bounce")
            << LogoState{0, 0, -1, -1, false} << QList<float>{0.05f, 0.5f} << LogoState{-1, 1, -1, 1, false} << 2;
        QTest::newRow("corner: bounce then pass")
            << LogoState{0, 0, -1, -1, false} << QList<float>{0.5f, 0.05f} << LogoState{1, -1, 1, -1, true} << 2;
        QTest::newRow("corner bottom-right: both bounce")
            << LogoState{SW - W, SH - H, 1, 1, false} << QList<float>{0.5f, 0.99f}
            << LogoState{SW - W - 1, SH - H - 1, -1, -1, false} << 2;

        // Passing through: no containment, no bounce, until wholly off the screen.
        QTest::newRow("passing, partly off")
            << LogoState{-5, 100, -1, 1, true} << none << LogoState{-6, 101, -1, 1, true} << 0;
        QTest::newRow("passing, at the edge")
            << LogoState{-W, 100, -1, 1, true} << none << LogoState{-W - 1, 101, -1, 1, true} << 0;

        // Wholly off: back in at a random side, one row or column showing, then the move.
        QTest::newRow("re-enter left") << LogoState{-W - 1, 100, 1, 1, true} << QList<float>{0.1f, 0.5f}
                                       << LogoState{1 - W + 1, (SH + H) / 2 - H + 1, 1, 1, false} << 2;
        QTest::newRow("re-enter top") << LogoState{100, -H - 1, 1, 1, true} << QList<float>{0.3f, 0.0f}
                                      << LogoState{-W + 1, 1 - H + 1, 1, 1, false} << 2;
        QTest::newRow("re-enter right") << LogoState{SW + 1, 100, -1, 1, true} << QList<float>{0.6f, 0.0f}
                                        << LogoState{SW - 2, -H + 1, -1, 1, false} << 2;
        QTest::newRow("re-enter bottom") << LogoState{100, SH + 1, 1, -1, true} << QList<float>{0.9f, 0.5f}
                                         << LogoState{(SW + W) / 2 - W + 1, SH - 2, 1, -1, false} << 2;
        // Re-entering against its direction: one step out again; the next tick turns it back.
        QTest::newRow("re-enter left against") << LogoState{SW + 1, 100, -1, 1, true} << QList<float>{0.1f, 0.5f}
                                               << LogoState{-W, (SH + H) / 2 - H + 1, -1, 1, false} << 2;
    }

    void tick()
    {
        QFETCH(LogoState, before);
        QFETCH(QList<float>, draws);
        QFETCH(LogoState, after);
        QFETCH(int, taken);
        Draws d{draws};
        const LogoState s = LogoTick(before, kGeometry, d.source());
        QCOMPARE(s.left, after.left);
        QCOMPARE(s.top, after.top);
        QCOMPARE(s.dirX, after.dirX);
        QCOMPARE(s.dirY, after.dirY);
        QCOMPARE(s.turn, after.turn);
        QCOMPARE(d.taken, taken);
    }

    void reenteredAgainstDirectionIsTurnedBack()
    {
        Draws d{{0.1f, 0.5f}};
        LogoState s = LogoTick(LogoState{SW + 1, 100, -1, 1, true}, kGeometry, d.source());
        QCOMPARE(s.left, -W); // on the line, not wholly off: no second re-entry
        s = LogoTick(s, kGeometry, d.source());
        QCOMPARE(s.dirX, 1);
        QCOMPARE(s.left, 1 - W);
    }

    void randomTurnIsOneInTen()
    {
        QVERIFY(RandomTurn(0.0f));
        QVERIFY(RandomTurn(0.0999f));
        QVERIFY(!RandomTurn(0.1f));
        QVERIFY(!RandomTurn(0.9999f));
    }

    // Every edge is reached and the logo never wanders off for good.
    void longDriftStaysNearTheScreen()
    {
        QRandomGenerator gen(7);
        auto rnd = [&gen] { return static_cast<float>(gen.generateDouble()); };
        LogoState s = StartLogo(kGeometry, rnd);
        bool left = false, right = false, top = false, bottom = false;
        for (int i = 0; i < 200000; ++i) {
            const LogoState next = LogoTick(s, kGeometry, rnd);
            QVERIFY(std::abs(next.left - s.left) <= 1 || next.turn != s.turn);
            s = next;
            QVERIFY(s.left >= -W - 2 && s.left <= SW + 2 && s.top >= -H - 2 && s.top <= SH + 2);
            left |= s.left == 0;
            right |= s.left + W == SW;
            top |= s.top == 0;
            bottom |= s.top + H == SH;
        }
        QVERIFY(left && right && top && bottom);
    }

    // ---- The run ----

    void logoRunsWhenThereIsNothingToShow_data()
    {
        QTest::addColumn<int>("pictures");
        QTest::addColumn<bool>("logoShow");
        QTest::newRow("empty folder") << 0 << false;
        QTest::newRow("logo chosen") << 3 << true;
    }
    void logoRunsWhenThereIsNothingToShow()
    {
        QFETCH(int, pictures);
        QFETCH(bool, logoShow);
        QCOMPARE(startRun(pictures, logoShow), Road::ScreenSaver);
        QVERIFY(!State().SlideShowOn);
        QVERIFY(run().logoRunning());
        QCOMPARE(run().tmrDefaultScreenSaver.interval(), 40);
        QLabel *logo = run().picScreenSaver();
        QVERIFY(logo && logo->isVisible());
        QCOMPARE(logo->size(), QSize(W, H));
        QVERIFY(logo->x() >= -W && logo->x() < 800 && logo->y() >= -H && logo->y() < 600);
        QCOMPARE(viewer().palette().color(QPalette::Window), QColor(Qt::black));
        QVERIFY(!Forms::frmSide().isVisible());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
        QCOMPARE(saver.held, 0); // the logo leaves the desktop's screen saver alone
        // One pixel a tick on each axis.
        const QPoint before = logo->pos();
        QSignalSpy ticks(&run().tmrDefaultScreenSaver, &QTimer::timeout);
        QVERIFY(ticks.wait(1000));
        const QPoint step = logo->pos() - before;
        QVERIFY2(std::abs(step.x()) == 1 && std::abs(step.y()) == 1,
                 qPrintable(QStringLiteral("%1,%2").arg(step.x()).arg(step.y())));
    }

    void keysInTheLogoTouchNoFile()
    {
        QCOMPARE(startRun(3, true), Road::ScreenSaver);
        const auto before = snapshot(program->env.path("pics"));
        const auto destBefore = snapshot(program->env.path("dest"));
        for (const auto &[key, mods] :
             QList<QPair<Qt::Key, Qt::KeyboardModifiers>>{{Qt::Key_Delete, Qt::NoModifier},
                                                          {Qt::Key_Delete, Qt::ShiftModifier},
                                                          {Qt::Key_R, Qt::AltModifier},
                                                          {Qt::Key_P, Qt::AltModifier},
                                                          {Qt::Key_1, Qt::AltModifier},
                                                          {Qt::Key_2, Qt::AltModifier | Qt::ControlModifier},
                                                          {Qt::Key_Z, Qt::ControlModifier},
                                                          {Qt::Key_F1, Qt::NoModifier},
                                                          {Qt::Key_Escape, Qt::NoModifier},
                                                          {Qt::Key_Space, Qt::NoModifier}}) {
            QTest::keyClick(&viewer(), key, mods);
        }
        QVERIFY(running());
        QCOMPARE(snapshot(program->env.path("pics")), before);
        QCOMPARE(snapshot(program->env.path("dest")), destBefore);
        QVERIFY(program->dialogs.asked.isEmpty());
        QVERIFY(prompt->asked.isEmpty()); // keys do not end a logo run
    }

    void endWithoutPasswordQuits()
    {
        QCOMPARE(startRun(2), Road::ScreenSaver);
        QVERIFY(State().SlideShowOn);
        QCOMPARE(saver.held, 1);
        QTest::mouseClick(&viewer(), Qt::LeftButton, {}, QPoint(300, 300));
        QVERIFY(!Forms::IsLoaded(Form::PictureViewer));
        QCOMPARE(mode(), QStringLiteral("Off"));
        QCOMPARE(saver.held, 0);
        QCOMPARE(State().PasswordResult, std::int16_t(1));
        QCOMPARE(QuerySaverRun(SettingsFilePath(AppName)), SaverRunState::NoRun);
        QVERIFY(prompt->asked.isEmpty());
    }

    void refusedResumesTheLogoAndTheMoveRule()
    {
        QVERIFY(SetSaverPassword("letmein"));
        QCOMPARE(startRun(0), Road::ScreenSaver);
        prompt->answers = {QByteArray("nope"), std::nullopt, QByteArray("letmein")};
        // The first move records, the same place again does nothing, another place ends.
        QTest::mouseMove(&viewer(), QPoint(200, 150));
        QCOMPARE(State().MouseLastX, 200);
        QCOMPARE(State().MouseLastY, 150);
        QTest::mouseMove(&viewer(), QPoint(200, 150));
        QVERIFY(prompt->asked.isEmpty());
        QTest::mouseMove(&viewer(), QPoint(210, 150));
        QCOMPARE(prompt->asked.size(), 1);
        // Refused: the logo moves on, the pointer hidden, the positions forgotten.
        QVERIFY(running());
        QVERIFY(run().logoRunning());
        QVERIFY(!State().SlideShowOn);
        QCOMPARE(State().PasswordResult, std::int16_t(0));
        QCOMPARE(State().MouseLastX, 0);
        QCOMPARE(State().MouseLastY, 0);
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
        QCOMPARE(mode(), QStringLiteral("On"));
        // After a refusal the next move only records again.
        QTest::mouseMove(&viewer(), QPoint(400, 300));
        QCOMPARE(prompt->asked.size(), 1);
        QTest::mouseMove(&viewer(), QPoint(401, 300));
        QCOMPARE(prompt->asked.size(), 2); // cancelled
        QVERIFY(running());
        // A position with a 0 never ends.
        QTest::mouseMove(&viewer(), QPoint(0, 300));
        QTest::mouseMove(&viewer(), QPoint(5, 300));
        QCOMPARE(prompt->asked.size(), 2);
        // A click ends at once; this time the password is right.
        QTest::mouseClick(&viewer(), Qt::RightButton, {}, QPoint(50, 50));
        QCOMPARE(prompt->asked.size(), 3);
        QVERIFY(!Forms::IsLoaded(Form::PictureViewer));
        QCOMPARE(mode(), QStringLiteral("Off"));
    }

    void refusedResumesThePictures()
    {
        QVERIFY(SetSaverPassword("letmein"));
        QCOMPARE(startRun(3, false, true), Road::ScreenSaver);
        QVERIFY(State().SlideShowOn);
        QVERIFY(!Control<QTimer>(Forms::frmSide(), "tmrSlide")->isActive()); // moved by hand
        const int index = Forms::frmSide().slideShow().index();
        // The arrows of a manual show move it without asking.
        QTest::keyClick(&viewer(), Qt::Key_Right);
        QVERIFY(Forms::frmSide().slideShow().index() != index);
        QVERIFY(prompt->asked.isEmpty());
        // Any other key asks; refused, the show goes on with its timer running.
        QTest::keyClick(&viewer(), Qt::Key_Delete);
        QCOMPARE(prompt->asked.size(), 1);
        QVERIFY(running());
        QVERIFY(State().SlideShowOn);
        QVERIFY(Control<QTimer>(Forms::frmSide(), "tmrSlide")->isActive());
        QCOMPARE(saver.held, 1);
        QCOMPARE(snapshot(folder).size(), 3);
        prompt->answers = {QByteArray("letmein")};
        QTest::keyClick(&viewer(), Qt::Key_Escape);
        QVERIFY(!Forms::IsLoaded(Form::PictureViewer));
        QCOMPARE(mode(), QStringLiteral("Off"));
        QCOMPARE(saver.held, 0);
    }

    // A window manager's close (Alt+F4, a task bar) of either window ends the run as a run ends:
    // the password first; refused, the run goes on.
    void closeFromOutsideAsksThePassword_data()
    {
        QTest::addColumn<bool>("panel");
        QTest::newRow("viewer") << false;
        QTest::newRow("panel") << true;
    }
    void closeFromOutsideAsksThePassword()
    {
        QFETCH(bool, panel);
        QVERIFY(SetSaverPassword("letmein"));
        QCOMPARE(startRun(3), Road::ScreenSaver);
        QWidget *window = panel ? static_cast<QWidget *>(&Forms::frmSide()) : &viewer();
        prompt->answers = {QByteArray("nope")};
        QVERIFY(!window->close());
        QCOMPARE(prompt->asked.size(), 1);
        QVERIFY(running());
        QVERIFY(State().SlideShowOn);
        QCOMPARE(mode(), QStringLiteral("On"));
        prompt->answers = {QByteArray("letmein")};
        QVERIFY(window->close());
        QCOMPARE(prompt->asked.size(), 2);
        QVERIFY(!Forms::IsLoaded(Form::PictureViewer));
        QVERIFY(!Forms::IsLoaded(Form::Side));
        QCOMPARE(mode(), QStringLiteral("Off"));
        QCOMPARE(saver.held, 0);
    }

    void randomInputNeverEndsTheRunNorTouchesFiles_data()
    {
        QTest::addColumn<bool>("logo");
        QTest::newRow("logo") << true;
        QTest::newRow("pictures") << false;
    }
    void randomInputNeverEndsTheRunNorTouchesFiles()
    {
        QFETCH(bool, logo);
        QVERIFY(SetSaverPassword("right one"));
        QCOMPARE(startRun(4, logo), Road::ScreenSaver);
        const auto before = snapshot(program->env.dir());
        QRandomGenerator gen(logo ? 11 : 12);
        // Mostly cancelled, now and then a wrong answer (each costs a full hash).
        for (int i = 0; i < 5000; ++i) {
            if (prompt->answers.isEmpty()) {
                prompt->answers.append(std::nullopt);
                if (i % 250 == 0) {
                    prompt->answers.append(QByteArray("wrong ") + QByteArray::number(i));
                }
            }
            const QPoint at(gen.bounded(800), gen.bounded(600));
            switch (gen.bounded(3)) {
            case 0: {
                static const QList<Qt::Key> keys{
                    Qt::Key_Delete, Qt::Key_R,      Qt::Key_P,       Qt::Key_F1,    Qt::Key_F2,  Qt::Key_Left,
                    Qt::Key_Right,  Qt::Key_Escape, Qt::Key_Return,  Qt::Key_Space, Qt::Key_Tab, Qt::Key_F4,
                    Qt::Key_Q,      Qt::Key_Alt,    Qt::Key_Control, Qt::Key_Z,     Qt::Key_1,   Qt::Key_6};
                const auto mods = Qt::KeyboardModifiers::fromInt(static_cast<int>(gen.bounded(8)) *
                                                                 static_cast<int>(Qt::ShiftModifier));
                QTest::keyClick(&viewer(), keys[gen.bounded(keys.size())], mods);
                break;
            }
            case 1:
                QTest::mouseClick(&viewer(), gen.bounded(2) ? Qt::LeftButton : Qt::RightButton, {}, at);
                break;
            default:
                QTest::mouseMove(&viewer(), at);
                break;
            }
            QVERIFY2(running(), qPrintable(QStringLiteral("ended at event %1").arg(i)));
        }
        QVERIFY(prompt->asked.size() > 100);
        QCOMPARE(mode(), QStringLiteral("On"));
        QCOMPARE(snapshot(program->env.dir()).keys(), before.keys());
        for (auto it = before.begin(); it != before.end(); ++it) {
            if (!it.key().endsWith(QLatin1String(".ini"))) {
                QCOMPARE(snapshot(program->env.dir()).value(it.key()), it.value());
            }
        }
        QVERIFY(program->dialogs.asked.isEmpty());
    }

    void stopSignalEndsCleanly_data()
    {
        QTest::addColumn<bool>("logo");
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("logo, SIGTERM") << true << SIGTERM;
        QTest::newRow("pictures, SIGTERM") << false << SIGTERM;
        QTest::newRow("pictures, SIGINT") << false << SIGINT;
        QTest::newRow("logo, SIGHUP") << true << SIGHUP;
    }
    void stopSignalEndsCleanly()
    {
        QFETCH(bool, logo);
        QFETCH(int, signalNumber);
        QVERIFY(SetSaverPassword("secret"));
        QCOMPARE(startRun(2, logo), Road::ScreenSaver);
        QCOMPARE(saver.held, logo ? 0 : 1);
        ::raise(signalNumber);
        QTRY_VERIFY(!Forms::IsLoaded(Form::PictureViewer));
        QCOMPARE(mode(), QStringLiteral("Off"));
        QCOMPARE(saver.held, 0);
        QVERIFY(!run().inputGrabbed());
        QCOMPARE(QuerySaverRun(SettingsFilePath(AppName)), SaverRunState::NoRun);
        QVERIFY(prompt->asked.isEmpty());
    }

    void stopSignalWhileAsking()
    {
        struct SignalInPrompt : ScriptedPasswordPrompt
        {
            std::optional<QByteArray> ask(QWidget *, const PasswordRequest &) override
            {
                ::raise(SIGTERM);
                QCoreApplication::processEvents();
                QCoreApplication::processEvents();
                return QByteArray("wrong");
            }
        };
        QVERIFY(SetSaverPassword("secret"));
        QCOMPARE(startRun(2), Road::ScreenSaver);
        SignalInPrompt asking;
        QTest::mouseClick(&viewer(), Qt::LeftButton, {}, QPoint(10, 10));
        QTRY_VERIFY(!Forms::IsLoaded(Form::PictureViewer));
        QCOMPARE(mode(), QStringLiteral("Off"));
        QCOMPARE(saver.held, 0);
    }

    // ---- A run in a process of its own ----

    void killedRunsAndStaleMarks()
    {
        const QString file = SettingsFilePath(AppName);
        SaveSetting(AppName, "ScreenSaver", "LogoShow", "1");
        auto startProgram = [](QProcess &p) {
            p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            p.start(QStringLiteral(VV_VIEWER_EXE), {});
            return p.waitForStarted(10000);
        };
        // As the launcher starts a run, until the run holds its lock.
        auto launchRun = [&](QProcess &p) {
            PrepareSaverRunStart(file);
            SaveSetting(AppName, "ScreenSaver", "Mode", "On");
            return startProgram(p) &&
                   QTest::qWaitFor([&] { return QuerySaverRun(file) == SaverRunState::Alive; }, 10000);
        };
        {
            // SIGTERM: the run ends by its clean road.
            QProcess p;
            QVERIFY(launchRun(p));
            p.terminate();
            QVERIFY(p.waitForFinished(10000));
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(mode(), QStringLiteral("Off"));
            QCOMPARE(QuerySaverRun(file), SaverRunState::NoRun);
        }
        {
            // SIGKILL: "On" stays behind, with the mark of a run that is gone.
            QProcess p;
            QVERIFY(launchRun(p));
            // A second start while the run is alive shows nothing and ends.
            QProcess second;
            QVERIFY(startProgram(second));
            QVERIFY(second.waitForFinished(10000));
            QCOMPARE(second.exitCode(), 0);
            QCOMPARE(QuerySaverRun(file), SaverRunState::Alive);
            p.kill();
            QVERIFY(p.waitForFinished(10000));
            QCOMPARE(mode(), QStringLiteral("On"));
            QCOMPARE(QuerySaverRun(file), SaverRunState::DeadRun);
        }
        // The next start by the user is a normal one, and puts the mark right.
        QCOMPARE(EntryProcedure(), Road::Normal);
        QCOMPARE(State().ScreenSaverMode, QStringLiteral("Off"));
        QCOMPARE(mode(), QStringLiteral("Off"));
        QCOMPARE(QuerySaverRun(file), SaverRunState::NoRun);
        QTRY_VERIFY(Forms::IsLoaded(Form::PictureViewer) && viewer().isVisible());
        Forms::frmSide().cmdQuit_Click();
        Forms::FlushUnloaded();
        ResetState();

        // And after another killed run, the launcher's next start still runs.
        {
            QProcess p;
            QVERIFY(launchRun(p));
            p.kill();
            QVERIFY(p.waitForFinished(10000));
        }
        QCOMPARE(QuerySaverRun(file), SaverRunState::DeadRun);
        QVERIFY(PrepareSaverRunStart(file));
        SaveSetting(AppName, "ScreenSaver", "Mode", "On");
        QCOMPARE(EntryProcedure(), Road::ScreenSaver);
        QVERIFY(run().logoRunning());
    }
};

QTEST_MAIN(ScreenSaverTest)
#include "tst_screensaver.moc"
