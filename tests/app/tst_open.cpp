// SPDX-License-Identifier: GPL-2.0-or-later
#include "ProgramUnderTest.h"
#include "app/CommandLine.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/FileNames.h"
#include "common/SettingsLoad.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/picture/Picture.h"
#include "common/platform/AppPaths.h"
#include "controls/ARButton.h"
#include "controls/PictureImage.h"
#include "panel/FileListBox.h"
#include "panel/FileListRules.h"
#include "panel/frmSide.h"
#include "viewer/FittedLoader.h"
#include "viewer/frmPictureViewer.h"

#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPromise>
#include <QScopeGuard>
#include <QTest>
#include <QThreadPool>
#include <QUrl>

#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Forms::Form;

// Starting the viewer with a picture or a folder, and handing one to a running viewer.
class OpenTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProgramUnderTest> program;
    QString pictures; // a folder of three pictures and a text file

    static void store(const QString &section, const QString &key, const QString &value)
    {
        QVERIFY(SaveSetting(AppName, section, key, value));
    }

    static QByteArray bytes(const QString &path) { return EncodeName(path); }

    static QByteArray settingsBytes()
    {
        QFile f(SettingsFilePath(AppName));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static void waitForViewer()
    {
        QTRY_VERIFY(Forms::IsLoaded(Form::PictureViewer));
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && Forms::frmPictureViewer().isVisible());
    }

    static QComboBox &folderBox() { return *Control<QComboBox>(Forms::frmSide(), "cmbFolders"); }
    static FileListBox &fileList() { return *Control<FileListBox>(Forms::frmSide(), "File1"); }
    static bool pictureShown() { return Control<PictureImage>(Forms::frmPictureViewer(), "Image1")->isVisible(); }
    static bool errorShown() { return Control<QLabel>(Forms::frmPictureViewer(), "lblError")->isVisible(); }

private slots:
    void init()
    {
        program = std::make_unique<ProgramUnderTest>();
        pictures = program->env.path(QStringLiteral("Trip 2024"));
        QVERIFY(QDir().mkpath(pictures));
        QVERIFY(WriteJpeg(pictures + QStringLiteral("/a.jpg"), 40, 30, Qt::red));
        QVERIFY(WriteJpeg(pictures + QStringLiteral("/b.jpg"), 60, 20, Qt::green));
        QVERIFY(WriteJpeg(pictures + QStringLiteral("/c.jpg"), 20, 20, Qt::blue));
        QFile notes(pictures + QStringLiteral("/notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("not a picture");
        store("Directories", "Home", program->env.dir());
        store("Settings", "Basename", "Home");
        // As a run leaves the file: all six captions stored.
        for (int i = 1; i <= 6; ++i) {
            store("Settings", QStringLiteral("Caption%1").arg(i), i == 1 ? QStringLiteral("Home") : QString());
        }
    }

    void cleanup() { program.reset(); }

    void picturePathShowsItsFolderWithThatPictureAndNoSplash()
    {
        QCOMPARE(EntryProcedure(bytes(pictures + QStringLiteral("/b.jpg"))), Road::Normal);
        // The picture comes first: the viewer is up before the event loop has run once.
        QVERIFY(Forms::frmPictureViewer().isVisible());
        QVERIFY(!Forms::IsLoaded(Form::Splash));
        QCOMPARE(folderBox().currentIndex(), 0);
        QCOMPARE(folderBox().currentText(), QStringLiteral("[Trip 2024]"));
        QCOMPARE(folderBox().count(), 2); // the temporary entry above "Home"
        QCOMPARE(fileList().FileName(), QStringLiteral("b.jpg"));
        QCOMPARE(State().CurrentFile, pictures + QStringLiteral("/b.jpg"));
        QCOMPARE(Forms::frmSide().temporaryFolder(), pictures);
        QTRY_VERIFY(pictureShown());
    }

    // A name that is not UTF-8, given as a file manager passes it (a URI, %-escaped byte for
    // byte): exactly that file shows, not the one whose name merely looks the same.
    void nameThatIsNotUtf8OpensExactlyThatFile()
    {
        const QByteArray folder = EncodeName(pictures);
        auto put = [&](const QByteArray &name, Qt::GlobalColor colour) {
            QImage image(40, 30, QImage::Format_RGB32);
            image.fill(colour);
            QByteArray jpeg;
            QBuffer buffer(&jpeg);
            QVERIFY(buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "JPG"));
            const int fd = ::open((folder + '/' + name).constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            QVERIFY(fd >= 0);
            QCOMPARE(::write(fd, jpeg.constData(), size_t(jpeg.size())), jpeg.size());
            QCOMPARE(::close(fd), 0);
        };
        put("d-caf\xe9.jpg", Qt::magenta);
        put("d-caf\xef\xbf\xbd.jpg", Qt::yellow); // how a lossy decoding shows the first
        const QByteArray uri = "file://" + QUrl::toPercentEncoding(QString::fromLatin1(folder), "/") + "/d-caf%E9.jpg";
        const CommandLineRequest request = ParseCommandLine({uri}, "/");
        QCOMPARE(request.paths.size(), 1);
        QCOMPARE(request.paths.first(), folder + "/d-caf\xe9.jpg");
        QCOMPARE(EntryProcedure(request.paths.first()), Road::Normal);
        QCOMPARE(State().CurrentFile, DecodeName(folder + "/d-caf\xe9.jpg"));
        QTRY_VERIFY(pictureShown());
        const QImage shown = Control<PictureImage>(Forms::frmPictureViewer(), "Image1")->picture();
        const QRgb centre = shown.pixel(shown.width() / 2, shown.height() / 2);
        QVERIFY2(qRed(centre) > 200 && qBlue(centre) > 200 && qGreen(centre) < 60, "the look-alike shows");
    }

    void folderPathShowsItsFirstPicture()
    {
        QCOMPARE(EntryProcedure(bytes(pictures + QStringLiteral("/"))), Road::Normal);
        waitForViewer();
        QCOMPARE(fileList().ListCount(), 3);
        QCOMPARE(fileList().FileName(), QStringLiteral("a.jpg"));
        QCOMPARE(State().CurrentFile, pictures + QStringLiteral("/a.jpg"));
    }

    void pathInARegisteredFolderSelectsItsEntry()
    {
        store("Directories", "Trip", pictures);
        // Reached through a link: still the registered folder, not a temporary entry.
        const QString link = program->env.path(QStringLiteral("link"));
        QVERIFY(QFile::link(pictures, link));
        QCOMPARE(EntryProcedure(bytes(link + QStringLiteral("/c.jpg"))), Road::Normal);
        waitForViewer();
        QCOMPARE(folderBox().count(), 2);
        QCOMPARE(folderBox().currentText(), QStringLiteral("Trip"));
        QVERIFY(Forms::frmSide().temporaryFolder().isEmpty());
        QCOMPARE(fileList().FileName(), QStringLiteral("c.jpg"));
        QCOMPARE(State().Basename, QStringLiteral("Trip"));
    }

    void unregisteredFolderLeavesTheSettingsFileAsItWas()
    {
        QCOMPARE(EntryProcedure(bytes(pictures)), Road::Normal);
        waitForViewer();
        const QByteArray before = settingsBytes();
        QVERIFY(before.contains("Basename=Home"));
        // Stepping through the temporary folder and choosing it again stores nothing either.
        QTest::keyClick(&fileList(), Qt::Key_Down);
        QCOMPARE(fileList().FileName(), QStringLiteral("b.jpg"));
        folderBox().setCurrentIndex(1); // "Home", a registered folder
        folderBox().setCurrentIndex(0);
        QCOMPARE(State().BasePath, pictures);
        QCOMPARE(fileList().FileName(), QStringLiteral("a.jpg"));
        const QByteArray chosen = settingsBytes();
        State().ButtonRightClick = false;
        Forms::frmSide().cmdQuit_Click();
        Forms::FlushUnloaded();
        QCOMPARE(settingsBytes(), chosen);
        QCOMPARE(chosen, before);
    }

    void folderButtonsStillFindTheirFolders()
    {
        QCOMPARE(EntryProcedure(bytes(pictures)), Road::Normal);
        waitForViewer();
        QTest::mouseClick(Element<ARButton>(Forms::frmSide(), "cmdFolder", 0), Qt::LeftButton); // "Home"
        QCOMPARE(folderBox().currentText(), QStringLiteral("Home"));
        QCOMPARE(State().BasePath, program->env.dir());
    }

    void missingPathShowsTheFolderUnavailable()
    {
        QCOMPARE(EntryProcedure(bytes(program->env.path(QStringLiteral("gone/x.jpg")))), Road::Normal);
        waitForViewer();
        QVERIFY(State().FolderUnavailable);
        QVERIFY(Control<QLineEdit>(Forms::frmSide(), "txtUnavailable")->isVisible());
        QCOMPARE(folderBox().currentText(), QStringLiteral("[x.jpg]"));
        QVERIFY(!pictureShown());
    }

    void fileThatIsNotAPictureShowsTheNotice_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("text file") << QStringLiteral("notes.txt");
        QTest::newRow("fifo") << QStringLiteral("pipe.jpg");
    }

    void fileThatIsNotAPictureShowsTheNotice()
    {
        QFETCH(QString, name);
        QVERIFY(::mkfifo(QFile::encodeName(pictures + QStringLiteral("/pipe.jpg")).constData(), 0600) == 0);
        QCOMPARE(EntryProcedure(bytes(pictures + QLatin1Char('/') + name)), Road::Normal);
        waitForViewer();
        QVERIFY(!State().FolderUnavailable);
        QCOMPARE(fileList().ListCount(), 3);
        QVERIFY(errorShown());
        QVERIFY(!pictureShown());
    }

    // A large picture is still decoding when the windows come up: they show meanwhile and the
    // picture follows. A step taken before it is ready wins: the late picture never covers it.
    void largePictureFollowsTheWindowsAndAStepBeforeItWins()
    {
        const QString big = pictures + QStringLiteral("/0-big.jpg");
        QVERIFY(WriteJpeg(big, 6000, 4000, Qt::magenta));
        QCOMPARE(EntryProcedure(bytes(big)), Road::Normal);
        QVERIFY(Forms::frmPictureViewer().isVisible());
        QCOMPARE(State().CurrentFile, big);
        QTRY_VERIFY(pictureShown());
        QCOMPARE(Control<PictureImage>(Forms::frmPictureViewer(), "Image1")->picture().pixelColor(10, 10).red(), 255);
        program.reset();

        program = std::make_unique<ProgramUnderTest>();
        const QString folder = program->env.path(QStringLiteral("big"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(WriteJpeg(folder + QStringLiteral("/0-big.jpg"), 6000, 4000, Qt::magenta));
        QVERIFY(WriteJpeg(folder + QStringLiteral("/1-small.jpg"), 40, 30, Qt::green));
        QCOMPARE(EntryProcedure(bytes(folder + QStringLiteral("/0-big.jpg"))), Road::Normal);
        fileList().setFocus();
        QTest::keyClick(&fileList(), Qt::Key_Down);
        QCOMPARE(State().CurrentFile, folder + QStringLiteral("/1-small.jpg"));
        QTRY_VERIFY(pictureShown());
        // The big one's decode, begun ahead of the start, ends and hands in its picture.
        QVERIFY(QThreadPool::globalInstance()->waitForDone(30000));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QCOMPARE(State().CurrentFile, folder + QStringLiteral("/1-small.jpg"));
        const QImage shown = Control<PictureImage>(Forms::frmPictureViewer(), "Image1")->picture();
        QCOMPARE(shown.pixelColor(shown.width() / 2, shown.height() / 2).green(), 255);
    }

    // The first picture of a start decoded from the top of main, before the toolkit, for each
    // road: shown for the file the list chooses, and only as that file is now.
    void pictureDecodedBeforeTheToolkitIsShownOnlyAsTheFileIsNow()
    {
        const QString last = program->env.path(QStringLiteral("last"));
        QVERIFY(QDir().mkpath(last));
        QVERIFY(WriteJpeg(last + QStringLiteral("/a.jpg"), 40, 30, Qt::red));
        QVERIFY(WriteJpeg(last + QStringLiteral("/b.jpg"), 300, 200, Qt::green));
        store("Directories", "Last", last);
        store("Settings", "Basename", "Last");
        // By size, the largest first: the early choice follows the list's order, not the names'.
        store("Settings", "SortOrder", "Size");
        store("Settings", "SortDescending", "True");
        StartFirstPictureEarly({});
        QVERIFY(QThreadPool::globalInstance()->waitForDone(30000));
        // Replaced after its decode: what was decoded is not this file any more.
        const QString replacement = last + QStringLiteral("/new.tmp");
        QVERIFY(WriteJpeg(replacement, 320, 240, Qt::blue));
        QVERIFY(::rename(EncodeName(replacement).constData(),
                         EncodeName(last + QStringLiteral("/b.jpg")).constData()) == 0);
        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
        QTRY_COMPARE(State().CurrentFile, last + QStringLiteral("/b.jpg"));
        QTRY_VERIFY(pictureShown());
        QImage shown = Control<PictureImage>(Forms::frmPictureViewer(), "Image1")->picture();
        QVERIFY2(shown.pixelColor(shown.width() / 2, shown.height() / 2).blue() > 200, "the replaced picture shows");
        QCOMPARE(shown.width() * 3, shown.height() * 4); // the new one's shape, 320 x 240

        // A folder given: its first picture in the list's order, the same as the list shows.
        program.reset();
        program = std::make_unique<ProgramUnderTest>();
        const QString given = program->env.path(QStringLiteral("given"));
        QVERIFY(QDir().mkpath(given));
        QVERIFY(WriteJpeg(given + QStringLiteral("/a.jpg"), 300, 200, Qt::green));
        QVERIFY(WriteJpeg(given + QStringLiteral("/b.jpg"), 40, 30, Qt::red));
        store("Settings", "SortOrder", "Size");
        store("Settings", "SortDescending", "False");
        StartFirstPictureEarly(bytes(given));
        QCOMPARE(EntryProcedure(bytes(given)), Road::Normal);
        waitForViewer();
        QTRY_COMPARE(State().CurrentFile, given + QStringLiteral("/b.jpg"));
        QTRY_VERIFY(pictureShown());
        shown = Control<PictureImage>(Forms::frmPictureViewer(), "Image1")->picture();
        QVERIFY2(shown.pixelColor(shown.width() / 2, shown.height() / 2).red() > 200, "the smallest shows");
    }

    // A last folder of many files: its first picture shows while the rest is still sorted, and
    // whatever needs the rest (here Down, pressed at once) acts on the whole list.
    void largeLastFolderShowsItsFirstPictureBeforeTheRestIsSorted()
    {
        const QString big = program->env.path(QStringLiteral("big"));
        QVERIFY(QDir().mkpath(big));
        QVERIFY(WriteJpeg(big + QStringLiteral("/0.jpg"), 40, 30, Qt::red));
        QVERIFY(WriteJpeg(big + QStringLiteral("/1.jpg"), 40, 30, Qt::green));
        for (int i = 2; i < 3000; ++i) {
            QFile empty(big + QStringLiteral("/%1.jpg").arg(i));
            QVERIFY(empty.open(QIODevice::WriteOnly));
        }
        store("Directories", "Big", big);
        store("Settings", "Basename", "Big");
        // As a start with no argument reads it, with the sort held until the test lets it go.
        QPromise<void> hold;
        hold.start();
        const auto release = qScopeGuard([&hold] { hold.finish(); });
        const SettingReader read = StoreReader();
        const QFuture<std::optional<QString>> first =
            ReadFolderAhead(big, FilePattern(PicturePattern(StoredPictureSet(read))), StoredSortOrder(read));
        (void)LoadAheadOfStart(
            QString(),
            [big, first] {
                const std::optional<QString> name = first.result();
                return name ? JoinPath(big, *name) : QString();
            },
            CurrentScreenForFit());
        SortFolderReadAheadAfter(hold.future());

        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
        QTRY_VERIFY(pictureShown());
        QCOMPARE(State().CurrentFile, big + QStringLiteral("/0.jpg"));
        QVERIFY(fileList().filling());
        QCOMPARE(fileList().ListCount(), 3000);
        QCOMPARE(Control<QLabel>(Forms::frmSide(), "lblFileCounter")->text(), QStringLiteral("3000 Files"));

        hold.finish();
        fileList().setFocus();
        QTest::keyClick(&fileList(), Qt::Key_Down);
        QVERIFY(!fileList().filling());
        QCOMPARE(fileList().ListIndex(), 1);
        QCOMPARE(State().CurrentFile, big + QStringLiteral("/1.jpg"));
        QCOMPARE(fileList().names().size(), 3000);
        QCOMPARE(fileList().List(2999), QStringLiteral("2999.jpg"));
        QTRY_VERIFY(pictureShown());
        const QImage shown = Control<PictureImage>(Forms::frmPictureViewer(), "Image1")->picture();
        QVERIFY2(shown.pixelColor(shown.width() / 2, shown.height() / 2).green() > 200, "the second picture shows");
    }

    void secondStartHandsItsPathToTheFirst()
    {
        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
        QCOMPARE(folderBox().currentText(), QStringLiteral("Home"));
        Forms::frmPictureViewer().showMinimized();
        QTRY_VERIFY(Forms::frmPictureViewer().windowState() & Qt::WindowMinimized);

        QProcess second;
        second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QString uri = QUrl::fromLocalFile(pictures + QStringLiteral("/c.jpg")).toString(QUrl::FullyEncoded);
        QVERIFY(uri.contains(QLatin1String("%20")));
        second.start(QStringLiteral(VV_VIEWER_EXE), {uri, pictures + QStringLiteral("/a.jpg")});
        QVERIFY(second.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 5000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(State().CurrentFile, pictures + QStringLiteral("/c.jpg"));
        QCOMPARE(folderBox().currentText(), QStringLiteral("[Trip 2024]"));
        // Maximised is the full-screen viewer no longer minimised (see tst_startup).
        QTRY_VERIFY(!(Forms::frmPictureViewer().windowState() & Qt::WindowMinimized));

        // Another folder replaces the temporary entry rather than adding one.
        const QString other = program->env.path(QStringLiteral("other"));
        QVERIFY(QDir().mkpath(other));
        QVERIFY(WriteJpeg(other + QStringLiteral("/z.jpg"), 10, 10));
        OpenFromOutside(bytes(other));
        QCOMPARE(folderBox().count(), 2);
        QCOMPARE(folderBox().currentText(), QStringLiteral("[other]"));
        QCOMPARE(State().CurrentFile, other + QStringLiteral("/z.jpg"));
    }

    // The page is still being made (both windows held) when another start hands over a picture:
    // the page is dropped, both windows take commands again at once, and the keys move the list.
    void secondStartDuringAThumbnailPageGivesBothWindowsBack()
    {
        const QString many = program->env.path(QStringLiteral("many"));
        QVERIFY(QDir().mkpath(many));
        for (int i = 0; i < 24; ++i) {
            QVERIFY(WriteJpeg(many + QStringLiteral("/p%1.jpg").arg(i, 2, 10, QLatin1Char('0')), 1600, 1200));
        }
        QCOMPARE(EntryProcedure(bytes(many + QStringLiteral("/p00.jpg"))), Road::Normal);
        waitForViewer();
        QTRY_COMPARE(State().CurrentFile, many + QStringLiteral("/p00.jpg"));

        QTest::mouseClick(Control<ARButton>(Forms::frmSide(), "cmdThumb"), Qt::LeftButton);
        // Nothing has run since the click: the decodes have only begun.
        QVERIFY(!Forms::frmSide().isEnabled());
        QVERIFY(!Forms::frmPictureViewer().isEnabled());
        OpenFromOutside(bytes(pictures + QStringLiteral("/b.jpg")));
        QVERIFY(Forms::frmSide().isEnabled());
        QVERIFY(Forms::frmPictureViewer().isEnabled());
        QCOMPARE(State().CurrentFile, pictures + QStringLiteral("/b.jpg"));
        QVERIFY(pictureShown());
        QVERIFY(!State().ThumbsLoaded);
        QTest::keyClick(&fileList(), Qt::Key_Down);
        QCOMPARE(State().CurrentFile, pictures + QStringLiteral("/c.jpg"));
        // The page dropped never comes back over the picture, however long its decodes take.
        QTRY_VERIFY(QThreadPool::globalInstance()->activeThreadCount() == 0);
        QCoreApplication::sendPostedEvents();
        QVERIFY(!State().ThumbsLoaded);
        QVERIFY(pictureShown());
        QVERIFY(Forms::frmSide().isEnabled());
    }

    // "--" ends the options: what follows is a path, even one that reads like the toolkit's option,
    // and the toolkit never reads it (it would look for a platform of that name and abort).
    void nothingAfterTheDashesIsTheToolkits()
    {
        QCOMPARE(EntryProcedure(), Road::Normal);
        waitForViewer();
        QProcess second;
        second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        second.setWorkingDirectory(pictures);
        second.start(QStringLiteral(VV_VIEWER_EXE), {QStringLiteral("--"), QStringLiteral("b.jpg"),
                                                     QStringLiteral("-platform"), QStringLiteral("no-such-platform")});
        QVERIFY(second.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 10000);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(State().CurrentFile, pictures + QStringLiteral("/b.jpg"));
    }

    void printsAndRefusesWithoutAWindow_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("help") << "--help" << 0 << "Usage: vantrel-viewer"
                              << "";
        QTest::newRow("version") << "--version" << 0 << "vantrel-viewer 1."
                                 << "";
        QTest::newRow("unknown") << "--frobnicate" << 2 << ""
                                 << "unknown option '--frobnicate'";
    }

    void printsAndRefusesWithoutAWindow()
    {
        QFETCH(QString, option);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QProcess run;
        // No display at all: these must not need one.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        run.setProcessEnvironment(environment);
        run.start(QStringLiteral(VV_VIEWER_EXE), {option});
        QVERIFY(run.waitForFinished(10000));
        QCOMPARE(run.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.exitCode(), status);
        const QString stdOut = QString::fromLocal8Bit(run.readAllStandardOutput());
        const QString stdErr = QString::fromLocal8Bit(run.readAllStandardError());
        if (out.isEmpty()) {
            QVERIFY(stdOut.isEmpty());
        } else {
            QVERIFY2(stdOut.startsWith(out), qPrintable(stdOut));
        }
        if (err.isEmpty()) {
            QVERIFY(stdErr.isEmpty());
        } else {
            QVERIFY2(stdErr.contains(err), qPrintable(stdErr));
            QCOMPARE(stdErr.count(QLatin1Char('\n')), 1);
        }
    }
};

QTEST_MAIN(OpenTest)
#include "tst_open.moc"
