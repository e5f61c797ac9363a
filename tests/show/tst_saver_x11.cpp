// SPDX-License-Identifier: GPL-2.0-or-later
// A screen-saver run on a real X server (run under on-xvfb.sh): with a password set the run holds
// the keyboard and the pointer so no other program's window receives input, draws its logo on
// black, and on SIGTERM lets everything go and marks the run over, also while another local user
// holds a lock on the settings folder (which others can often open).
#include "Isolation.h"

#include "common/SettingsStore.h"
#include "common/platform/SaverPassword.h"
#include "common/platform/SaverRunLock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScopeGuard>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

class SaverX11Test : public QObject
{
    Q_OBJECT

private:
    // Whether this process could take the keyboard right now (and gives it back). Qt reports a
    // pointer grab on XInput 2 as taken even when another client holds it, so the keyboard,
    // which the run grabs together with the pointer, is the one asked.
    static bool canGrab(QWidget &probe)
    {
        QWindow *w = probe.windowHandle();
        const bool keyboard = w->setKeyboardGrabEnabled(true);
        if (keyboard) {
            w->setKeyboardGrabEnabled(false);
        }
        return keyboard;
    }

    // The run's covers as the X server has them: "x,width" of each window of `pid` on screen.
    static QStringList coversOf(qint64 pid)
    {
        QProcess search;
        search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                 QStringLiteral("--pid"), QString::number(pid)});
        search.waitForFinished(5000);
        QStringList covers;
        for (const QByteArray &id : search.readAllStandardOutput().split('\n')) {
            if (id.trimmed().isEmpty()) {
                continue;
            }
            QProcess info;
            info.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::fromLatin1(id.trimmed())});
            info.waitForFinished(5000);
            QString x;
            QString width;
            for (const QByteArray &line : info.readAllStandardOutput().split('\n')) {
                const QString text = QString::fromLatin1(line).trimmed();
                if (text.startsWith(QLatin1String("Absolute upper-left X:"))) {
                    x = text.section(QLatin1Char(':'), 1).trimmed();
                } else if (text.startsWith(QLatin1String("Width:"))) {
                    width = text.section(QLatin1Char(':'), 1).trimmed();
                }
            }
            covers << x + QLatin1Char(',') + width;
        }
        covers.sort();
        return covers;
    }

    static bool xrandr(const QStringList &arguments)
    {
        return QProcess::execute(QStringLiteral("xrandr"), arguments) == 0;
    }

    // Polls until `holds`, for `ms` by the clock. QTRY counts its waits instead of reading the
    // clock, and here one gave up on its 30 s within a test that took 7 s in all.
    template<typename Holds> static bool within(qint64 ms, Holds holds)
    {
        QElapsedTimer clock;
        clock.start();
        while (!holds()) {
            if (clock.elapsed() > ms) {
                return holds();
            }
            QTest::qWait(50);
        }
        return true;
    }

    static int goldPixels(const QImage &shot)
    {
        int gold = 0;
        for (int y = 0; y < shot.height(); y += 2) {
            for (int x = 0; x < shot.width(); x += 2) {
                const QRgb c = shot.pixel(x, y);
                gold += qRed(c) > 180 && qGreen(c) > 140 && qBlue(c) < 140 ? 1 : 0;
            }
        }
        return gold;
    }

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            QSKIP("needs an X server (run under on-xvfb.sh)");
        }
    }

    void logoRun_data()
    {
        QTest::addColumn<bool>("password");
        QTest::addColumn<bool>("otherUserLocks");
        QTest::newRow("with a password: grabbed") << true << false;
        QTest::newRow("without: nothing held") << false << false;
        QTest::newRow("another user holds the settings folder") << true << true;
    }

    void logoRun()
    {
        QFETCH(bool, password);
        QFETCH(bool, otherUserLocks);
        if (otherUserLocks && ::geteuid() != 0) {
            QSKIP("acting as a second user needs root");
        }
        IsolatedEnvironment env(QByteArrayLiteral("640x480@15"));
        pid_t other = -1;
        if (otherUserLocks) {
            // The settings in a folder others may enter, as in many homes; the other user locks
            // the folder for good, which used to hold every write (and the run's end) for ever.
            const QByteArray folder = QFile::encodeName(env.path(QStringLiteral("open")));
            QVERIFY(::mkdir(folder.constData(), 0755) == 0 && ::chmod(folder.constData(), 0755) == 0);
            QCOMPARE(::chmod(QFile::encodeName(env.dir()).constData(), 0711), 0);
            qputenv("VANTREL_SETTINGS", folder + "/Vantrel Viewer.ini");
            // The user's private folder stays closed to others.
            const QByteArray runtime = QFile::encodeName(env.path(QStringLiteral("run")));
            QCOMPARE(::mkdir(runtime.constData(), 0700), 0);
            qputenv("XDG_RUNTIME_DIR", runtime);
            int ready[2];
            QCOMPARE(::pipe(ready), 0);
            other = ::fork();
            if (other == 0) {
                const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY);
                const bool held = ::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 65534) == 0 &&
                                  ::setresuid(65534, 65534, 65534) == 0 && dir >= 0 && ::flock(dir, LOCK_EX) == 0;
                [[maybe_unused]] const ssize_t w = ::write(ready[1], held ? "H" : "E", 1);
                for (;;) {
                    ::pause();
                }
            }
            char state = 0;
            QCOMPARE(::read(ready[0], &state, 1), ssize_t(1));
            ::close(ready[0]);
            ::close(ready[1]);
            QCOMPARE(state, 'H');
        }
        auto endOther = qScopeGuard([other] {
            if (other > 0) {
                ::kill(other, SIGKILL);
                ::waitpid(other, nullptr, 0);
            }
        });
        if (password) {
            QVERIFY(SetSaverPassword("x11 secret"));
        }
        SaveSetting(AppName, "ScreenSaver", "LogoShow", "1");
        SaveSetting(AppName, "ScreenSaver", "Mode", "On");

        QWidget probe;
        probe.setGeometry(0, 0, 50, 50);
        probe.show();
        QVERIFY(QTest::qWaitForWindowExposed(&probe));
        QVERIFY(canGrab(probe)); // nobody holds anything yet

        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        run.start(QStringLiteral(VV_VIEWER_EXE), {});
        QVERIFY(run.waitForStarted());
        QVERIFY(within(30000, [] { return QuerySaverRun(SettingsFilePath(AppName)) == SaverRunState::Alive; }));

        // What the X server shows: the logo on black (the corners are never all under the logo).
        int gold = 0;
        QVERIFY2(within(30000,
                        [&gold] {
                            gold = goldPixels(QGuiApplication::primaryScreen()->grabWindow(0).toImage());
                            return gold > 50;
                        }),
                 qPrintable(QStringLiteral("%1 gold pixels").arg(gold)));
        const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        int blackCorners = 0;
        for (const QPoint p : {QPoint(0, 0), QPoint(shot.width() - 1, 0), QPoint(0, shot.height() - 1),
                               QPoint(shot.width() - 1, shot.height() - 1)}) {
            blackCorners += shot.pixel(p) == qRgb(0, 0, 0) ? 1 : 0;
        }
        QVERIFY(blackCorners >= 3);
        if (password) {
            QTRY_VERIFY_WITH_TIMEOUT(!canGrab(probe), 10000);
        } else {
            QVERIFY(canGrab(probe));
        }

        run.terminate();
        QVERIFY(run.waitForFinished(10000));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(GetSetting(AppName, "ScreenSaver", "Mode"), QStringLiteral("Off"));
        QCOMPARE(QuerySaverRun(SettingsFilePath(AppName)), SaverRunState::NoRun);
        QTRY_VERIFY(canGrab(probe));
    }

    // A monitor added during a run is covered at once, and its cover goes when it does.
    void coversFollowScreens()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xrandr")).isEmpty()) {
            QSKIP("needs xrandr");
        }
        IsolatedEnvironment env(QByteArrayLiteral("640x480@15"));
        SaveSetting(AppName, "ScreenSaver", "Mode", "On");
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        run.start(QStringLiteral(VV_VIEWER_EXE), {});
        QVERIFY(run.waitForStarted());
        auto end = qScopeGuard([&run] {
            xrandr({QStringLiteral("--delmonitor"), QStringLiteral("vv-right")});
            run.terminate();
            run.waitForFinished(10000);
        });
        QTRY_COMPARE_WITH_TIMEOUT(coversOf(run.processId()), QStringList{QStringLiteral("0,640")}, 10000);

        QVERIFY(xrandr({QStringLiteral("--setmonitor"), QStringLiteral("vv-right"), QStringLiteral("320/0x480/0+320+0"),
                        QStringLiteral("none")}));
        QTRY_COMPARE_WITH_TIMEOUT(coversOf(run.processId()),
                                  (QStringList{QStringLiteral("0,640"), QStringLiteral("320,320")}), 10000);

        QVERIFY(xrandr({QStringLiteral("--delmonitor"), QStringLiteral("vv-right")}));
        QTRY_COMPARE_WITH_TIMEOUT(coversOf(run.processId()), QStringList{QStringLiteral("0,640")}, 10000);
        QCOMPARE(QuerySaverRun(SettingsFilePath(AppName)), SaverRunState::Alive);
    }
};

QTEST_MAIN(SaverX11Test)
#include "tst_saver_x11.moc"
