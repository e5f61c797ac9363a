// A screen-saver run on a real X server (run under xvfb-run): with a password set the run holds
// the keyboard and the pointer so no other program's window receives input, draws its logo on
// black, and on SIGTERM lets everything go and marks the run over.
#include "Isolation.h"

#include "common/SettingsStore.h"
#include "common/platform/SaverPassword.h"
#include "common/platform/SaverRunLock.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <QWindow>

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
            QSKIP("needs an X server (run under xvfb-run)");
        }
    }

    void logoRun_data()
    {
        QTest::addColumn<bool>("password");
        QTest::newRow("with a password: grabbed") << true;
        QTest::newRow("without: nothing held") << false;
    }

    void logoRun()
    {
        QFETCH(bool, password);
        IsolatedEnvironment env(QByteArrayLiteral("640x480@15"));
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
        QTRY_COMPARE_WITH_TIMEOUT(QuerySaverRun(SettingsFilePath(AppName)), SaverRunState::Alive, 10000);

        // What the X server shows: the logo on black (the corners are never all under the logo).
        QTRY_VERIFY_WITH_TIMEOUT(goldPixels(QGuiApplication::primaryScreen()->grabWindow(0).toImage()) > 50, 5000);
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
};

QTEST_MAIN(SaverX11Test)
#include "tst_saver_x11.moc"
