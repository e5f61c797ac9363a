// SPDX-License-Identifier: GPL-2.0-or-later
#include "Controls.h"
#include "ProgramUnderTest.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/platform/AppPaths.h"
#include "common/platform/Wallpaper.h"
#include "files/WallpaperFile.h"
#include "files/WallpaperRules.h"
#include "files/frmInvisible.h"
#include "panel/frmSide.h"
#include "viewer/frmPictureViewer.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <memory>
#include <unistd.h>

namespace {

struct BitmapHeader
{
    QSize size;
    int bitsPerPixel = 0;
    int compression = -1;
    qint64 declaredFileSize = 0;
};

BitmapHeader ReadBitmapHeader(const QString &path)
{
    QFile f(path);
    BitmapHeader h;
    if (!f.open(QIODevice::ReadOnly)) {
        return h;
    }
    const QByteArray b = f.read(54);
    if (b.size() < 54 || !b.startsWith("BM")) {
        return h;
    }
    const auto *d = reinterpret_cast<const uchar *>(b.constData());
    h.declaredFileSize = qFromLittleEndian<quint32>(d + 2);
    h.size = QSize(qFromLittleEndian<qint32>(d + 18), qFromLittleEndian<qint32>(d + 22));
    h.bitsPerPixel = qFromLittleEndian<quint16>(d + 28);
    h.compression = static_cast<int>(qFromLittleEndian<quint32>(d + 30));
    return h;
}

// Top half red, bottom half blue, so a bitmap written upside down is caught.
bool WriteTwoColours(const QString &path, int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, w, h / 2, Qt::red);
    return image.save(path, "BMP");
}

bool WriteScript(const QString &path, const QByteArray &body)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write("#!/bin/sh\n" + body) < 0) {
        return false;
    }
    f.close();
    return f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// A stand-in that records its name and arguments, one line a call, fields split by "|".
const QByteArray kRecord = "{ printf '%s' \"${0##*/}\"; for a in \"$@\"; do printf '|%s' \"$a\"; done; printf '\\n'; } "
                           ">> \"$VV_RECORD\"\n";

QStringList ReadLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

class WallpaperTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString standIns;
    QString record;

    // Stand-ins for every desktop's tool in a folder of their own.
    void makeStandIns()
    {
        standIns = dir.filePath("bin");
        record = dir.filePath("record.txt");
        QDir().mkpath(standIns);
        for (const char *tool : {"gsettings", "dbus-send", "pcmanfm-qt", "feh", "xwallpaper"}) {
            QVERIFY(WriteScript(standIns + '/' + tool, kRecord));
        }
        QVERIFY(WriteScript(standIns + "/xfconf-query", kRecord +
                                                            "case \"$*\" in *-l*) printf '%s\\n' "
                                                            "/backdrop/screen0/monitorVirtual-1/workspace0/image-style "
                                                            "/backdrop/screen0/monitorVirtual-1/workspace0/last-image "
                                                            "/backdrop/screen0/monitorVirtual-1/workspace1/last-image "
                                                            "/desktop-icons/style ;; esac\n"));
    }
    QProcessEnvironment standInEnvironment(const QString &desktop, const QString &path) const
    {
        QProcessEnvironment env;
        env.insert("PATH", path);
        env.insert("XDG_CURRENT_DESKTOP", desktop);
        env.insert("VV_RECORD", record);
        return env;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        makeStandIns();
    }
    void init() { QFile::remove(record); }

    void sizes_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("expected");
        const QSize xga(1024, 768);
        QTest::newRow("fits: natural size") << QSize(640, 480) << xga << QSize(640, 480);
        QTest::newRow("wider than the screen") << QSize(2000, 1000) << xga << QSize(1024, 512);
        QTest::newRow("taller than the screen") << QSize(1000, 2000) << xga << QSize(384, 768);
        QTest::newRow("exactly the screen") << QSize(1024, 768) << xga << QSize(1024, 768);
        QTest::newRow("the screen's proportions, larger") << QSize(4096, 3072) << xga << QSize(1024, 768);
        QTest::newRow("one column too wide") << QSize(1025, 10) << xga << QSize(1024, 9);
        QTest::newRow("a thread") << QSize(1, 5000) << xga << QSize(1, 768);
        QTest::newRow("cut, not rounded") << QSize(3000, 1999) << xga << QSize(1024, 682);
        QTest::newRow("no picture") << QSize(0, 0) << xga << QSize();
    }
    void sizes()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, screen);
        QFETCH(QSize, expected);
        QCOMPARE(WallpaperSize(picture, screen), expected);
    }

    // The Part's sizes read back from the bitmap written, overwritten each time.
    void bitmapFile()
    {
        const QString out = dir.filePath("out");
        for (const QSize picture : {QSize(640, 480), QSize(2000, 1000), QSize(1000, 2000), QSize(1024, 768)}) {
            const QString source =
                dir.filePath(QStringLiteral("p%1x%2.bmp").arg(picture.width()).arg(picture.height()));
            QVERIFY(WriteTwoColours(source, picture.width(), picture.height()));
            WallpaperError error = WallpaperError::CannotRead;
            const auto made = MakeWallpaperBitmap(source, QSize(1024, 768), {out}, 15, 15, &error);
            QVERIFY(made);
            QCOMPARE(error, WallpaperError::None);
            QCOMPARE(made->path, out + "/Wallpaper.bmp");
            QCOMPARE(QDir(out).entryList(QDir::Files), QStringList{"Wallpaper.bmp"});
            const BitmapHeader h = ReadBitmapHeader(made->path);
            QCOMPARE(h.size, WallpaperSize(picture, QSize(1024, 768)));
            QCOMPARE(made->size, h.size);
            QCOMPARE(h.bitsPerPixel, 24);
            QCOMPARE(h.compression, 0);
            const qint64 row = (qint64(h.size.width()) * 3 + 3) / 4 * 4;
            QCOMPARE(h.declaredFileSize, 54 + row * h.size.height());
            QCOMPARE(QFileInfo(made->path).size(), h.declaredFileSize);
            const QImage back(made->path);
            QCOMPARE(back.size(), h.size);
            QCOMPARE(QColor(back.pixel(back.width() / 2, 1)), QColor(Qt::red));
            QCOMPARE(QColor(back.pixel(back.width() / 2, back.height() - 2)), QColor(Qt::blue));
        }
    }

    void folderFallbackAndFailures()
    {
        const QString source = dir.filePath("fallback.bmp");
        QVERIFY(WriteTwoColours(source, 50, 40));
        // A regular file where the program's folder would be: not even root can write there.
        const QString blocked = dir.filePath("blocked");
        QVERIFY(QFile(blocked).open(QIODevice::WriteOnly));
        const QString data = dir.filePath("data/Vantrel Viewer");
        WallpaperError error = WallpaperError::None;
        auto made = MakeWallpaperBitmap(source, QSize(1024, 768), {blocked + "/bin", data}, 15, 15, &error);
        QVERIFY(made);
        QCOMPARE(made->path, data + "/Wallpaper.bmp");
        QCOMPARE(ReadBitmapHeader(made->path).size, QSize(50, 40));

        made = MakeWallpaperBitmap(source, QSize(1024, 768), {blocked + "/bin"}, 15, 15, &error);
        QVERIFY(!made);
        QCOMPARE(error, WallpaperError::CannotWrite);
        QVERIFY(!QFileInfo::exists(blocked + "/bin/Wallpaper.bmp"));

        QFile notPicture(dir.filePath("notes.jpg"));
        QVERIFY(notPicture.open(QIODevice::WriteOnly));
        notPicture.write("plain text");
        notPicture.close();
        QVERIFY(!MakeWallpaperBitmap(notPicture.fileName(), QSize(1024, 768), {data}, 15, 15, &error));
        QCOMPARE(error, WallpaperError::CannotRead);
        // The bitmap that was there stays whole.
        QCOMPARE(ReadBitmapHeader(data + "/Wallpaper.bmp").size, QSize(50, 40));
    }

    // An installed program's folder (/usr/bin, even for root) or another user's is never where
    // the bitmap goes: only a folder of the user's own, outside the system's, and then the data folder.
    void theProgramsFolderOnlyWhenItIsTheUsersOwn()
    {
        const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        const QString own = dir.filePath("unpacked/bin");
        QVERIFY(QDir().mkpath(own));
        QCOMPARE(WallpaperFolders(own), (QStringList{own, data}));
        for (const QString &installed : {QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin"),
                                         QStringLiteral("/opt"), QStringLiteral("/bin")}) {
            QCOMPARE(WallpaperFolders(installed), QStringList{data});
        }
        // A link in the user's folder to a system folder is that system folder.
        QVERIFY(QFile::link(QStringLiteral("/usr/bin"), dir.filePath("usr-bin-link")));
        QCOMPARE(WallpaperFolders(dir.filePath("usr-bin-link")), QStringList{data});
        QCOMPARE(WallpaperFolders(dir.filePath("missing")), QStringList{data});
        if (::geteuid() == 0) {
            const QString others = dir.filePath("someone else's");
            QVERIFY(QDir().mkpath(others));
            QVERIFY(::chown(QFile::encodeName(others).constData(), 65534, 65534) == 0);
            QCOMPARE(WallpaperFolders(others), QStringList{data});
        }
    }

    void detection_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<int>("expected");
        const QStringList none;
        QTest::newRow("GNOME") << "GNOME" << none << int(Desktop::Gnome);
        QTest::newRow("Ubuntu's GNOME") << "ubuntu:GNOME" << none << int(Desktop::Gnome);
        QTest::newRow("Budgie") << "Budgie:GNOME" << none << int(Desktop::Gnome);
        QTest::newRow("Cinnamon") << "X-Cinnamon" << none << int(Desktop::Cinnamon);
        QTest::newRow("MATE") << "MATE" << none << int(Desktop::Mate);
        QTest::newRow("XFCE") << "XFCE" << none << int(Desktop::Xfce);
        QTest::newRow("KDE Plasma") << "KDE" << none << int(Desktop::Kde);
        QTest::newRow("LXQt") << "LXQt" << none << int(Desktop::Lxqt);
        QTest::newRow("bare X with feh") << "" << QStringList{"feh"} << int(Desktop::BareX);
        QTest::newRow("bare X with xwallpaper") << "" << QStringList{"xwallpaper"} << int(Desktop::BareX);
        QTest::newRow("unknown desktop with feh") << "i3" << QStringList{"feh"} << int(Desktop::BareX);
        QTest::newRow("nothing") << "" << none << int(Desktop::None);
    }
    void detection()
    {
        QFETCH(QString, current);
        QFETCH(QStringList, installed);
        QFETCH(int, expected);
        QCOMPARE(int(DetectDesktop(current, [&](const QString &tool) { return installed.contains(tool); })), expected);
    }

    // Each desktop's command lines, through recording stand-ins on the PATH.
    void commandLines_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<QStringList>("expected"); // {path} the bitmap's path, {uri} its URI
        QTest::newRow("GNOME") << "GNOME"
                               << QStringList{"gsettings|set|org.gnome.desktop.background|picture-options|centered",
                                              "gsettings|set|org.gnome.desktop.background|picture-uri|{uri}",
                                              "gsettings|set|org.gnome.desktop.background|picture-uri-dark|{uri}"};
        QTest::newRow("Cinnamon") << "X-Cinnamon"
                                  << QStringList{
                                         "gsettings|set|org.cinnamon.desktop.background|picture-options|centered",
                                         "gsettings|set|org.cinnamon.desktop.background|picture-uri|{uri}"};
        QTest::newRow("MATE") << "MATE"
                              << QStringList{"gsettings|set|org.mate.background|picture-options|centered",
                                             "gsettings|set|org.mate.background|picture-filename|{path}"};
        const QString ws0 = "/backdrop/screen0/monitorVirtual-1/workspace0/";
        const QString ws1 = "/backdrop/screen0/monitorVirtual-1/workspace1/";
        QTest::newRow("XFCE") << "XFCE"
                              << QStringList{
                                     "xfconf-query|-c|xfce4-desktop|-l",
                                     "xfconf-query|-c|xfce4-desktop|-p|" + ws0 + "image-style|-n|-t|int|-s|1",
                                     "xfconf-query|-c|xfce4-desktop|-p|" + ws0 + "last-image|-n|-t|string|-s|{path}",
                                     "xfconf-query|-c|xfce4-desktop|-p|" + ws1 + "image-style|-n|-t|int|-s|1",
                                     "xfconf-query|-c|xfce4-desktop|-p|" + ws1 + "last-image|-n|-t|string|-s|{path}"};
        QTest::newRow("LXQt") << "LXQt" << QStringList{"pcmanfm-qt|--set-wallpaper={path}|--wallpaper-mode=center"};
        QTest::newRow("bare X") << "" << QStringList{"feh|--bg-center|{path}"};
    }
    void commandLines()
    {
        QFETCH(QString, desktop);
        QFETCH(QStringList, expected);
        // A space and a quote in the path: each argument reaches the tool whole, no shell between.
        const QString bitmap = dir.filePath("my \"walls\"/Wallpaper.bmp");
        const QString uri = QUrl::fromLocalFile(bitmap).toString(QUrl::FullyEncoded);
        const WallpaperOutcome outcome = ApplyWallpaper(bitmap, standInEnvironment(desktop, standIns), 5000);
        QVERIFY2(outcome.applied, qPrintable(outcome.problem));
        for (QString &line : expected) {
            line.replace("{path}", bitmap).replace("{uri}", uri);
        }
        QCOMPARE(ReadLines(record), expected);
    }

    void plasmaScript()
    {
        const QString bitmap = dir.filePath("Wallpaper.bmp");
        QVERIFY(ApplyWallpaper(bitmap, standInEnvironment("KDE", standIns), 5000).applied);
        const QStringList lines = ReadLines(record);
        QCOMPARE(lines.size(), 1);
        const QStringList f = lines.first().split('|');
        QCOMPARE(f.mid(0, 6), (QStringList{"dbus-send", "--session", "--print-reply", "--dest=org.kde.plasmashell",
                                           "/PlasmaShell", "org.kde.PlasmaShell.evaluateScript"}));
        QVERIFY(f.at(6).startsWith("string:"));
        QVERIFY(f.at(6).contains("d.wallpaperPlugin = \"org.kde.image\""));
        QVERIFY(f.at(6).contains("d.writeConfig(\"Image\", \"" + QUrl::fromLocalFile(bitmap).toString() + "\")"));
        QVERIFY(f.at(6).contains("d.writeConfig(\"FillMode\", 6)")); // centred
    }

    void toolFailures()
    {
        const QString failing = dir.filePath("failing");
        QDir().mkpath(failing);
        const QString bitmap = dir.filePath("Wallpaper.bmp");
        // A tool that fails: reported with its command.
        QVERIFY(WriteScript(failing + "/gsettings", kRecord + "exit 1\n"));
        WallpaperOutcome outcome = ApplyWallpaper(bitmap, standInEnvironment("MATE", failing), 5000);
        QVERIFY(!outcome.applied);
        QVERIFY2(outcome.problem.contains("gsettings set org.mate.background picture-options"),
                 qPrintable(outcome.problem));
        QCOMPARE(ReadLines(record).size(), 1); // stops at the first failure

        // GNOME before the dark style has no picture-uri-dark: that alone is no failure.
        QVERIFY(WriteScript(failing + "/gsettings", kRecord + "case \"$*\" in *picture-uri-dark*) exit 1;; esac\n"));
        QVERIFY(ApplyWallpaper(bitmap, standInEnvironment("GNOME", failing), 5000).applied);

        // A tool that hangs is ended at its time limit.
        QVERIFY(WriteScript(failing + "/feh", "exec /bin/sleep 30\n"));
        QElapsedTimer clock;
        clock.start();
        outcome = ApplyWallpaper(bitmap, standInEnvironment("", failing), 300);
        QVERIFY(!outcome.applied);
        QVERIFY(clock.elapsed() < 10000);

        // The desktop's own tool missing, and no tool at all.
        outcome = ApplyWallpaper(bitmap, standInEnvironment("XFCE", dir.filePath("empty")), 5000);
        QVERIFY(!outcome.applied);
        QVERIFY(outcome.problem.contains("xfconf-query"));
        outcome = ApplyWallpaper(bitmap, standInEnvironment("", dir.filePath("empty")), 5000);
        QVERIFY(!outcome.applied);
        QCOMPARE(outcome.desktop, Desktop::None);
        QVERIFY(!outcome.problem.isEmpty());
    }

    // GNOME's keys through the real gsettings, kept in a key file of a private configuration folder.
    void realGsettings()
    {
        const QString gsettings = QStandardPaths::findExecutable("gsettings");
        if (gsettings.isEmpty()) {
            QSKIP("gsettings is not installed");
        }
        QProcessEnvironment env;
        env.insert("PATH", QFileInfo(gsettings).path() + ":/bin");
        env.insert("XDG_CURRENT_DESKTOP", "GNOME");
        env.insert("GSETTINGS_BACKEND", "keyfile");
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        env.insert("HOME", dir.path());
        const auto get = [&](const QString &key) {
            QProcess p;
            p.setProcessEnvironment(env);
            p.start(gsettings, {"get", "org.gnome.desktop.background", key});
            p.waitForFinished(10000);
            return p.exitCode() == 0 ? QString::fromUtf8(p.readAllStandardOutput()).trimmed() : QString();
        };
        if (get("picture-options").isEmpty()) {
            QSKIP("the GNOME desktop schemas are not installed");
        }
        const QString bitmap = dir.filePath("Wallpaper.bmp");
        const WallpaperOutcome outcome = ApplyWallpaper(bitmap, env, 10000);
        QVERIFY2(outcome.applied, qPrintable(outcome.problem));
        const QString uri = "'" + QUrl::fromLocalFile(bitmap).toString(QUrl::FullyEncoded) + "'";
        QCOMPARE(get("picture-options"), QStringLiteral("'centered'"));
        QCOMPARE(get("picture-uri"), uri);
        QCOMPARE(get("picture-uri-dark"), uri);
        QVERIFY(QFile::exists(dir.filePath("config/glib-2.0/settings/keyfile")));
    }

    // On a bare X server, Debian's feh puts the bitmap centred on the root window.
    void bareXWithFeh()
    {
        const QString feh = QStandardPaths::findExecutable("feh");
        const QString import = QStandardPaths::findExecutable("import");
        if (feh.isEmpty() || QStandardPaths::findExecutable("Xvfb").isEmpty() || import.isEmpty()) {
            QSKIP("feh, Xvfb or ImageMagick's import is not installed");
        }
        // A server of the test's own that takes only clients holding its cookie: the command on it
        // says where it is and keeps it up until the test closes the command's input.
        // -noreset: without a window manager feh is the server's only client, and the picture it
        // leaves behind must outlive its connection.
        QProcess server;
        server.start(VV_ON_XVFB, {"-screen 0 320x240x24 -noreset", "/bin/sh", "-c",
                                  "printf '%s\\n' \"$DISPLAY\" \"$XAUTHORITY\"; exec cat >/dev/null"});
        QVERIFY(server.waitForStarted(10000));
        const auto stop = qScopeGuard([&] {
            server.closeWriteChannel();
            if (!server.waitForFinished(10000)) {
                server.terminate();
                server.waitForFinished(5000);
            }
        });
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT(
            (said += server.readAllStandardOutput()).count('\n') >= 2 || server.state() != QProcess::Running, 30000);
        said += server.readAllStandardOutput();
        const QList<QByteArray> where = said.split('\n');
        QVERIFY2(where.size() >= 3 && where[0].startsWith(':'), qPrintable(server.readAllStandardError()));
        const QString display = QString::fromLocal8Bit(where[0]);

        const QString source = dir.filePath("root.bmp");
        QVERIFY(WriteTwoColours(source, 100, 60));
        const auto made = MakeWallpaperBitmap(source, QSize(320, 240), {dir.filePath("x")}, 15, 15);
        QVERIFY(made);
        QProcessEnvironment env;
        env.insert("PATH", QFileInfo(feh).path() + ":/bin");
        env.insert("DISPLAY", display);
        env.insert("XAUTHORITY", QFile::decodeName(where[1]));
        env.insert("HOME", dir.path());
        const WallpaperOutcome outcome = ApplyWallpaper(made->path, env, 10000);
        QVERIFY2(outcome.applied, qPrintable(outcome.problem));
        QCOMPARE(outcome.desktop, Desktop::BareX);

        const QString shot = dir.filePath("root.png");
        QProcess grab;
        grab.setProcessEnvironment(env);
        grab.start(import, {"-display", display, "-window", "root", shot});
        QVERIFY(grab.waitForFinished(20000) && grab.exitCode() == 0);
        const QImage root(shot);
        QCOMPARE(root.size(), QSize(320, 240));
        if (!qEnvironmentVariableIsEmpty("VV_KEEP_SCREENSHOT")) {
            root.save(qEnvironmentVariable("VV_KEEP_SCREENSHOT"));
        }
        // Centred, not tiled: red above, blue below inside (110, 90)-(210, 150), nothing outside.
        QCOMPARE(QColor(root.pixel(160, 100)), QColor(Qt::red));
        QCOMPARE(QColor(root.pixel(160, 140)), QColor(Qt::blue));
        QCOMPARE(QColor(root.pixel(110, 91)), QColor(Qt::red));
        QCOMPARE(QColor(root.pixel(209, 149)), QColor(Qt::blue));
        for (const QPoint outside :
             {QPoint(109, 120), QPoint(210, 120), QPoint(160, 89), QPoint(160, 150), QPoint(5, 5), QPoint(315, 235)}) {
            const QColor c(root.pixel(outside));
            QVERIFY2(c != QColor(Qt::red) && c != QColor(Qt::blue),
                     qPrintable(QString("at %1,%2").arg(outside.x()).arg(outside.y())));
        }
    }

    // The command: the picture shown or the right-clicked thumbnail, from its file, then the
    // desktop's tool; a message saying where the bitmap is when no tool takes it.
    void wallpaperCommand()
    {
        auto program = std::make_unique<ProgramUnderTest>();
        const QString pics = program->env.path("pics");
        QDir().mkpath(pics);
        QVERIFY(WriteTwoColours(pics + "/a.bmp", 2000, 1000));
        QVERIFY(WriteTwoColours(pics + "/b.bmp", 1000, 2000));
        SaveSetting(AppName, "Directories", "pics", pics);
        SaveSetting(AppName, "Settings", "Basename", "pics");
        const QByteArray oldPath = qgetenv("PATH");
        const auto restore = qScopeGuard([&] {
            qputenv("PATH", oldPath);
            qunsetenv("VV_RECORD");
        });
        qputenv("PATH", standIns.toLocal8Bit());
        qputenv("XDG_CURRENT_DESKTOP", "");
        qputenv("VV_RECORD", record.toLocal8Bit());
        QCOMPARE(EntryProcedure(), Road::Normal);
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::Side) && Forms::frmPictureViewer().isVisible());
        QTRY_VERIFY(!Forms::frmPictureViewer().pictureFile().isEmpty());
        frmInvisible &menu = Forms::frmInvisible();

        // Beside the program when its folder is the user's own (a build is), else in the user's data folder.
        const QString written =
            IsUsersOwnFolder(AppPath()) && QFileInfo(AppPath()).isWritable()
                ? JoinPath(AppPath(), "Wallpaper.bmp")
                : JoinPath(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation), "Wallpaper.bmp");
        const auto cleanUp = qScopeGuard([&] { QFile::remove(written); });
        State().PopupSource = "Image";
        Control<QAction>(menu, "mnuWallpaper")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!menu.busy(), 30000);
        QCOMPARE(ReadLines(record), QStringList{"feh|--bg-center|" + written});
        QCOMPARE(ReadBitmapHeader(written).size, QSize(1024, 512));
        QVERIFY(program->dialogs.asked.isEmpty());

        // The right-clicked thumbnail, the second file.
        QVERIFY(ClickThumbnails());
        Forms::frmPictureViewer().Thumb1_MouseDown(1, 2, 0, 0, 0);
        Control<QMenu>(menu, "mnuFile")->hide();
        menu.mnuWallpaper_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!menu.busy(), 30000);
        QCOMPARE(ReadBitmapHeader(written).size, QSize(384, 768));

        // No tool: the user is told where the bitmap is.
        qputenv("PATH", dir.filePath("empty").toLocal8Bit());
        menu.mnuWallpaper_Click();
        QTRY_VERIFY_WITH_TIMEOUT(!menu.busy(), 30000);
        QCOMPARE(program->dialogs.asked.size(), 1);
        QVERIFY2(program->dialogs.asked.first().prompt.contains(written),
                 qPrintable(program->dialogs.asked.first().prompt));
        QCOMPARE(program->dialogs.asked.first().style, int(vbExclamation));
        program.reset();
    }
};

QTEST_MAIN(WallpaperTest)
#include "tst_wallpaper.moc"
