// SPDX-License-Identifier: GPL-2.0-or-later
#include "Controls.h"
#include "Isolation.h"
#include "ScriptedDialogs.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/Utilities.h"
#include "common/platform/Dialogs.h"
#include "common/platform/InstanceGuard.h"
#include "controls/ARButton.h"
#include "panel/frmSide.h"
#include "viewer/frmPictureViewer.h"
#include "viewer/frmSplash.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QListWidget>
#include <QProcess>
#include <QScreen>
#include <QSysInfo>
#include <QTest>

#include <memory>
#include <sys/stat.h>
#include <utility>

using Forms::Form;

class StartupTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<IsolatedEnvironment> env;
    QList<Form> unloaded;

    static void store(const QString &section, const QString &key, const QString &value)
    {
        QVERIFY(SaveSetting(AppName, section, key, value));
    }

    // Ends whatever run the test started, the way every run ends.
    void quitRun()
    {
        if (Forms::IsLoaded(Form::Side)) {
            State().ButtonRightClick = false;
            Forms::frmSide().cmdQuit_Click();
        }
        Forms::FlushUnloaded();
    }

    void waitForViewer()
    {
        QTRY_VERIFY(Forms::IsLoaded(Form::PictureViewer));
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && Forms::frmPictureViewer().isVisible());
    }

private slots:
    void init()
    {
        env = std::make_unique<IsolatedEnvironment>();
        ResetState();
        SetProgramMouseIcon(QString());
        unloaded.clear();
        Forms::SetUnloadObserver([this](Form f) { unloaded.append(f); });
    }

    void cleanup()
    {
        quitRun();
        Forms::SetUnloadObserver({});
        env.reset();
    }

    void normalRunRecordsPathAndShowsSplashThenViewer()
    {
        QCOMPARE(EntryProcedure(), Road::Normal);
        QCOMPARE(GetSetting(AppName, "Application", "Path"), QCoreApplication::applicationDirPath());
        QCOMPARE(ProgramMouseIcon(), QStringLiteral("NORMAL"));
        QVERIFY(Forms::IsLoaded(Form::Splash));
        QVERIFY(Forms::frmSplash().isVisible());
        QCOMPARE(Forms::frmSplash().size(), QSize(320, 180));
        waitForViewer();
        QVERIFY(!Forms::frmSplash().isVisible());
        QVERIFY(Forms::IsLoaded(Form::Splash)); // hidden, still loaded
        frmPictureViewer &viewer = Forms::frmPictureViewer();
        QCOMPARE(viewer.windowTitle(), QStringLiteral("Vantrel Viewer"));
        QVERIFY(viewer.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(viewer.geometry(), QRect(0, 0, 1024, 768));
        frmSide &side = Forms::frmSide();
        QVERIFY(side.isVisible());
        QCOMPARE(side.parentWidget(), &viewer); // owned: above the viewer, leaves with it
        QCOMPARE(side.pos(), QPoint(0, 0));
        QCOMPARE(side.size(), QSize(170, 768));
        QCOMPARE(State().LastBorderSet, std::int16_t(-1));
        QCOMPARE(State().ThumbControlCount, std::int16_t(1));
        QVERIFY(!Forms::IsLoaded(Form::Settings));
        QVERIFY(!Forms::IsLoaded(Form::Bulk));
    }

    void splashKeepsItsPixelSizeAt12TwipsPerPixel()
    {
        qputenv("VANTREL_SCREEN", "800x600@12");
        QCOMPARE(EntryProcedure(), Road::Normal);
        QCOMPARE(State().PixelScaleX, 0.8);
        QCOMPARE(Forms::frmSplash().size(), QSize(320, 180));
        waitForViewer();
        QCOMPARE(Forms::frmSide().size(), QSize(170, 600));
    }

    void viewerLoadAppliesStoredSettings()
    {
        store("Directories", "Tom & Jerry", env->dir());
        store("Directories", "Beach", "/nowhere");
        store("Settings", "Basename", "Tom & Jerry");
        store("Settings", "Caption2", "Tom && Jerry");
        store("Settings", "SlideTime", "fast");
        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
        const SharedState &s = State();
        QCOMPARE(s.BasePath, env->dir());
        QCOMPARE(s.SlideColor, QStringLiteral("16744448"));
        QCOMPARE(s.GradientAngle, std::int16_t(270));
        QCOMPARE(s.SlideTime, std::uint8_t(4)); // not a number: what the settings dialog shows for it
        frmSide &side = Forms::frmSide();
        QCOMPARE(Control<QListWidget>(side, "lstFolders")->count(), 3);
        QCOMPARE(Control<QListWidget>(side, "lstFolders")->item(0)->text(), QStringLiteral("(blank button)"));
        QCOMPARE(Control<QListWidget>(side, "lstFolders")->item(1)->text(),
                 Control<QComboBox>(side, "cmbFolders")->itemText(0));
        QCOMPARE(Control<QComboBox>(side, "cmbFolders")->currentText(), QStringLiteral("Tom & Jerry"));
        QCOMPARE(Element<ARButton>(side, "cmdFolder", 1)->caption(), QStringLiteral("Tom && Jerry"));
    }

    void unusableSettingsFileStillGivesAWorkingProgram_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: a folder stands where the file should be
        QTest::newRow("folder") << QByteArray();
        QTest::newRow("garbage") << QByteArray("\x00\x01[[[Settings\nSlideColor=\xff\xfe\n=\n[", 27);
    }

    void unusableSettingsFileStillGivesAWorkingProgram()
    {
        QFETCH(QByteArray, content);
        ScriptedDialogs dialogs;
        if (content.isEmpty()) {
            QVERIFY(QDir().mkpath(env->settingsFile()));
        } else {
            QFile f(env->settingsFile());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
        QCOMPARE(State().SlideColor, QStringLiteral("16744448"));
        QCOMPARE(State().FontColor, QStringLiteral("65535"));
        QCOMPARE(Control<QComboBox>(Forms::frmSide(), "cmbFolders")->count(), 0);
        quitRun();
        if (content.isEmpty()) {
            QVERIFY(QFileInfo(env->settingsFile()).isDir());
            // Nothing could be saved, and the user was told so, with the reason.
            QVERIFY(!dialogs.asked.isEmpty());
            QCOMPARE(
                dialogs.asked.first().prompt,
                QStringLiteral("The settings could not be saved: %1 is not a regular file.").arg(env->settingsFile()));
        } else {
            QFile kept(env->settingsFile() + QStringLiteral(".damaged"));
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), content);
        }
    }

    void quitUnloadsInOrderAndSavesFolderAndCaptions()
    {
        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
        State().Basename = QStringLiteral("Tom & Jerry");
        State().Caption1 = QStringLiteral("Tom && Jerry");
        State().Caption6 = QStringLiteral("Last");
        Forms::frmInvisible(); // loaded by the file menu in a real run
        Forms::frmSide().cmdQuit_Click();
        // The settings dialog was never opened: nothing is loaded on its behalf.
        QCOMPARE(unloaded, (QList<Form>{Form::Splash, Form::PictureViewer, Form::Invisible, Form::Side}));
        for (Form f : {Form::Splash, Form::Settings, Form::PictureViewer, Form::Invisible, Form::Side}) {
            QVERIFY(!Forms::IsLoaded(f));
        }
        QCOMPARE(GetSetting(AppName, "Settings", "Basename"), QStringLiteral("Tom & Jerry"));
        QCOMPARE(GetSetting(AppName, "Settings", "Caption1"), QStringLiteral("Tom && Jerry"));
        QCOMPARE(GetSetting(AppName, "Settings", "Caption6"), QStringLiteral("Last"));
        QCOMPARE(GetSetting(AppName, "Settings", "Caption3"), QString());
        Forms::FlushUnloaded();
        // A start after the end of a run becomes the first instance again.
        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
    }

    void aRunThatChangesNothingLeavesTheStoreUntouched()
    {
        // A large store with many sections of another program's, and a folder with a picture.
        QVERIFY(QDir().mkpath(env->path("pics")));
        QImage picture(64, 48, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QVERIFY(picture.save(env->path("pics/a.bmp")));
        QList<SettingChange> rows{{"Directories", "pics", env->path("pics")}, {"Settings", "Basename", "pics"}};
        for (int i = 0; i < 5000; ++i) {
            rows.append({QStringLiteral("Album %1").arg(i), QStringLiteral("Name"), QStringLiteral("n%1").arg(i)});
            rows.append({QStringLiteral("Album %1").arg(i), QStringLiteral("Size"), QStringLiteral("%1").arg(i * 7)});
        }
        QVERIFY(SaveSettings(AppName, rows));
        const auto identity = [this] {
            struct stat st
            {};
            QFile f(env->settingsFile());
            if (::stat(QFile::encodeName(env->settingsFile()).constData(), &st) != 0 || !f.open(QIODevice::ReadOnly)) {
                return std::pair<ino_t, QByteArray>{0, {}};
            }
            return std::pair<ino_t, QByteArray>{st.st_ino, f.readAll()};
        };

        // The first run stores what it stores (its folder, the captions)...
        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
        QTRY_COMPARE(State().CurrentFile, env->path("pics/a.bmp"));
        quitRun();
        const auto before = identity();
        QVERIFY(before.first != 0);
        QCOMPARE(GetSetting(AppName, "Application", "Path"), QCoreApplication::applicationDirPath());
        QCOMPARE(GetSetting(AppName, "Album 4999", "Size"), QStringLiteral("34993"));

        // ...and the next one, which changes nothing, neither rewrites the file nor alters a byte.
        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
        QTRY_COMPARE(State().CurrentFile, env->path("pics/a.bmp"));
        quitRun();
        QCOMPARE(identity(), before);

        // A run that does change a value still saves it, with everything else kept.
        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
        State().Caption2 = QStringLiteral("New");
        quitRun();
        QCOMPARE(GetSetting(AppName, "Settings", "Caption2"), QStringLiteral("New"));
        QCOMPARE(GetSetting(AppName, "Album 0", "Name"), QStringLiteral("n0"));
        QCOMPARE(GetAllSettings(AppName, "Album 2500").size(), 2);
    }

    void quitAfterARightReleaseDoesNothing()
    {
        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
        ARButton *quit = Control<ARButton>(Forms::frmSide(), "cmdQuit");
        QTest::mouseClick(quit, Qt::RightButton); // MouseUp marks it; the click after it only clears the mark
        QVERIFY(Forms::IsLoaded(Form::PictureViewer));
        QVERIFY(!State().ButtonRightClick);
        QTest::mouseClick(quit, Qt::LeftButton);
        QVERIFY(!Forms::IsLoaded(Form::PictureViewer));
    }

    void minimizeTakesThePanelAlong()
    {
        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
        QTest::mouseClick(Control<ARButton>(Forms::frmSide(), "cmdMinimize"), Qt::LeftButton);
        QTRY_VERIFY(Forms::frmPictureViewer().windowState() & Qt::WindowMinimized);
        QTRY_VERIFY(!Forms::frmSide().isVisible());
        ActivateViewer();
        QTRY_VERIFY(!(Forms::frmPictureViewer().windowState() & Qt::WindowMinimized));
        QTRY_VERIFY(Forms::frmSide().isVisible());
    }

    void screenSaverModeTakesTheScreenSaverRoad()
    {
        store("ScreenSaver", "Mode", "On");
        QCOMPARE(EntryProcedure(), Road::ScreenSaver);
        QCOMPARE(State().ScreenSaverMode, QStringLiteral("On"));
        QCOMPARE(GetSetting(AppName, "Application", "Path"), QString());
        QVERIFY(!Forms::IsLoaded(Form::Splash));
        QVERIFY(!Forms::IsLoaded(Form::Loading));
        QCOMPARE(unloaded, QList<Form>{Form::Loading});
        QVERIFY(Forms::frmPictureViewer().isVisible());
        // No pictures to show: the screen saver's own display, without the panel or the pointer.
        QVERIFY(!Forms::frmSide().isVisible());
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
        QVERIFY(Forms::frmPictureViewer().isTopmost());
        QCOMPARE(ProgramMouseIcon(), QString());
    }

    void onlyAnExactOnIsAScreenSaverRun_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("saver");
        QTest::newRow("On") << "On" << true;
        QTest::newRow("on") << "on" << false;
        QTest::newRow("ON") << "ON" << false;
        QTest::newRow("Off") << "Off" << false;
        QTest::newRow("padded") << " On" << false;
        QTest::newRow("empty") << "" << false;
    }

    void onlyAnExactOnIsAScreenSaverRun()
    {
        QFETCH(QString, mode);
        QFETCH(bool, saver);
        QCOMPARE(IsScreenSaverMode(mode), saver);
    }

    void secondStartActivatesTheFirstAndEnds()
    {
        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
        Forms::frmPictureViewer().showMinimized();
        QTRY_VERIFY(Forms::frmPictureViewer().windowState() & Qt::WindowMinimized);
        store("Application", "Path", "/marker");

        QProcess second;
        second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        second.start(QStringLiteral(VV_VIEWER_EXE), {});
        QVERIFY(second.waitForStarted());
        // This process keeps serving its socket while the second one runs.
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 5000);
        QVERIFY2(clock.elapsed() < 3000, "the second start must end at once");
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        // Maximised is what the full-screen viewer is when it is not minimised; a maximised state
        // proper would let window managers fit it to their work area.
        QTRY_VERIFY(!(Forms::frmPictureViewer().windowState() & Qt::WindowMinimized));
        QCOMPARE(Forms::frmPictureViewer().geometry(), QRect(0, 0, 1024, 768));
        QVERIFY(Forms::frmPictureViewer().isVisible());
        QVERIFY(Forms::frmSide().isVisible());
        // Only the first start records where the program lives.
        QCOMPARE(GetSetting(AppName, "Application", "Path"), QStringLiteral("/marker"));
    }

    void crashedFirstInstanceDoesNotBlockAStart()
    {
        // What a killed first instance leaves: a socket file nobody listens on, and a lock file
        // of a process that is gone.
        InstanceGuard probe(SettingsFilePath(AppName));
        QFile stale(probe.socketPath());
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.close();
        QFile lock(probe.socketPath().replace(QLatin1String(".sock"), QLatin1String(".lock")));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write("999999\nvantrel-viewer\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        lock.close();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(EntryProcedure(), Road::Normal);
        QVERIFY(clock.elapsed() < 2000);
        waitForViewer();
    }

    void firstInstanceIsFoundThroughItsGuard()
    {
        InstanceGuard first(env->settingsFile());
        QCOMPARE(first.start(), InstanceGuard::Role::First);
        // Another settings file is another program instance.
        InstanceGuard other(env->path("other.ini"));
        QCOMPARE(other.start(), InstanceGuard::Role::First);
        other.stop();
        first.stop();
        InstanceGuard again(env->settingsFile());
        QCOMPARE(again.start(), InstanceGuard::Role::First);
    }

    void boxesAreCentredOnTheScreenNotOnThePanel()
    {
        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
        // A box asked for from the panel belongs to it, but sits in the middle of the screen.
        QDialog box(&Forms::frmSide());
        box.setFixedSize(300, 120);
        CentreOnScreen(box);
        const QPoint middle = box.screen()->geometry().center();
        QVERIFY2((box.geometry().center() - middle).manhattanLength() <= 1,
                 qPrintable(QStringLiteral("box at %1,%2").arg(box.x()).arg(box.y())));
        QCOMPARE(box.parentWidget(), &Forms::frmSide());
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
