// SPDX-License-Identifier: GPL-2.0-or-later
// Hostile folders, names and files, as careful users' disks hold them: names that are not UTF-8,
// FIFOs in a picture's or the settings' place, links onto their own target, huge folders.

#include "Controls.h"
#include "GifWriter.h"
#include "ModernPictures.h"
#include "ProgramUnderTest.h"
#include "Transfers.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/FileNames.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/picture/Picture.h"
#include "controls/PictureImage.h"
#include "files/FileOperations.h"
#include "files/FileTransfer.h"
#include "files/Renaming.h"
#include "files/frmInvisible.h"
#include "panel/FileListBox.h"
#include "panel/FileListRules.h"
#include "panel/frmSide.h"
#include "show/SlideShow.h"
#include "viewer/AnimationPlayer.h"
#include "viewer/ThumbnailSource.h"
#include "viewer/frmPictureViewer.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QKeyEvent>
#include <QLabel>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A BMP of one colour written under the exact bytes of `path`.
bool WriteBmp(const QByteArray &path, int w, int h, QColor colour)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "BMP")) {
            return false;
        }
    }
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

QByteArray ReadBytes(const QByteArray &path)
{
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
        return {};
    }
    QByteArray out;
    char buffer[4096];
    for (ssize_t n; (n = ReadRetrying(fd, buffer, sizeof buffer)) > 0;) {
        out.append(buffer, n);
    }
    ::close(fd);
    return out;
}

bool Exists(const QByteArray &path)
{
    struct stat st
    {};
    return ::lstat(path.constData(), &st) == 0;
}

// The names of a folder as bytes, sorted.
QList<QByteArray> RawNames(const QByteArray &folder)
{
    QList<QByteArray> names;
    if (DIR *dir = ::opendir(folder.constData())) {
        while (const dirent *e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
                names << QByteArray(e->d_name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Qt's own folder removal cannot reach names that are not UTF-8: the test's folder is emptied
// by bytes.
void RemoveTree(const QByteArray &folder)
{
    ::nftw(
        folder.constData(),
        [](const char *path, const struct stat *, int, FTW *) {
            ::chmod(path, 0700);
            return ::remove(path) == 0 ? 0 : 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

// A 5000 x 5000 animation (25 megapixels, the most that plays) of three full-canvas frames, 20 ms
// each: the decoder, slower than that, never rests. Made once.
const QByteArray &BigAnimation()
{
    static const QByteArray gif = [] {
        // Stripes with a sprinkle of other colours, so that the codes stay short and many.
        auto frame = [](int phase) {
            return [phase](int x, int y) {
                return ((x * 7919 + y * 104729) >> 3) % 4 == 0 ? (x / 5 + y / 3 + phase) % 4 : (x / 9 + phase) % 4;
            };
        };
        const QRect all(0, 0, 5000, 5000);
        return MakeGif(all.size(), {{all, 2, frame(0)}, {all, 2, frame(1)}, {all, 2, frame(2)}});
    }();
    return gif;
}

// When a key's release reaches a widget: the press before it has been handled by then.
class KeyArrival : public QObject
{
public:
    std::atomic<qint64> releasedNs{0};

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyRelease) {
            releasedNs = std::chrono::steady_clock::now().time_since_epoch().count();
        }
        return QObject::eventFilter(watched, event);
    }
};

class Answers : public TransferObserver
{
public:
    int asked = 0;
    ReplaceAnswer askReplace(const QString &, const QString &) override
    {
        ++asked;
        return ReplaceAnswer::Yes;
    }
    bool progress(int, int, const QString &, qint64, qint64) override { return true; }
};

// The CPU time limits ("soft hard", as the kernel words them) of a process.
QString CpuLimits(const QString &pid)
{
    QFile limits(QStringLiteral("/proc/%1/limits").arg(pid));
    if (!limits.open(QIODevice::ReadOnly)) {
        return {};
    }
    for (const QByteArray &line : limits.readAll().split('\n')) {
        if (line.startsWith("Max cpu time")) {
            const QList<QByteArray> words = line.mid(int(std::strlen("Max cpu time"))).simplified().split(' ');
            return words.size() >= 2 ? QString::fromLatin1(words.at(0) + ' ' + words.at(1)) : QString();
        }
    }
    return {};
}

// The picture helpers serving this process, by their process ids.
QStringList OwnPictureHelpers()
{
    QStringList found;
    const QString self = QString::number(::getpid());
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> after = line.mid(line.lastIndexOf(')') + 2).split(' ');
        const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        if (after.size() > 1 && QString::fromLatin1(after.at(1)) == self &&
            exe.endsWith(QLatin1String("/vantrel-picture-helper"))) {
            found << pid;
        }
    }
    return found;
}

} // namespace

class HostileTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ProgramUnderTest> program;

    QByteArray makeFolder(const char *name)
    {
        const QByteArray path = EncodeName(program->env.path(QString::fromLatin1(name)));
        ::mkdir(path.constData(), 0755);
        return path;
    }

    void startOn(const QByteArray &folder)
    {
        QVERIFY(SaveSetting(AppName, "Directories", "pics", DecodeName(folder)));
        QVERIFY(SaveSetting(AppName, "Settings", "Basename", "pics"));
        QCOMPARE(EntryProcedure(), Road::Normal);
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && Forms::frmPictureViewer().isVisible());
    }

    static frmSide &side() { return Forms::frmSide(); }
    static FileListBox *list() { return Control<FileListBox>(Forms::frmSide(), "File1"); }
    static int row(const QByteArray &name) { return list()->IndexOf(DecodeName(name)); }

private slots:
    void init() { program = std::make_unique<ProgramUnderTest>(); }
    // Loads ahead still running on the pool's threads end before the process does, so nothing
    // runs while the leak check at exit stops the threads.
    void cleanupTestCase() { QThreadPool::globalInstance()->waitForDone(); }
    void cleanup()
    {
        RemoveTree(EncodeName(program->env.dir()));
        program.reset();
    }

    // ---- Names as bytes ----

    void namesMapBackToTheirBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ascii") << QByteArray("a.jpg") << QStringLiteral("a.jpg");
        QTest::newRow("utf-8") << QByteArray("caf\xc3\xa9.jpg") << QStringLiteral("caf\u00e9.jpg");
        QTest::newRow("latin-1") << QByteArray("caf\xe9.bmp") << QStringLiteral("caf\\xE9.bmp");
        QTest::newRow("lone ff") << QByteArray("photo-\xff.bmp") << QStringLiteral("photo-\\xFF.bmp");
        QTest::newRow("real U+FFFD") << QByteArray("photo-\xef\xbf\xbd.bmp") << QStringLiteral("photo-\ufffd.bmp");
        QTest::newRow("overlong slash") << QByteArray("a\xc0\xaf"
                                                      "b")
                                        << QStringLiteral("a\\xC0\\xAFb");
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xb2\x80") << QStringLiteral("\\xED\\xB2\\x80");
        QTest::newRow("truncated") << QByteArray("x\xe2\x82") << QStringLiteral("x\\xE2\\x82");
        QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << QStringLiteral("\\xF4\\x90\\x80\\x80");
        QTest::newRow("astral") << QByteArray("\xf0\x9f\x93\xb7.jpg") << QStringLiteral("\U0001F4F7.jpg");
    }

    void namesMapBackToTheirBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        const QString name = DecodeName(bytes);
        QCOMPARE(EncodeName(name), bytes);
        QCOMPARE(DisplayName(name), shown);
        QCOMPARE(HasRawBytes(name), shown.contains(QLatin1String("\\x")));
    }

    void everyByteStringRoundTrips()
    {
        // All one- and two-byte strings, and random longer ones: the mapping never loses a byte,
        // and two byte strings never share a name.
        QSet<QString> seen;
        for (int a = 1; a < 256; ++a) {
            for (int b = 0; b < 256; ++b) {
                QByteArray bytes(1, char(a));
                if (b > 0) {
                    bytes.append(char(b));
                }
                const QString name = DecodeName(bytes);
                QCOMPARE(EncodeName(name), bytes);
                QVERIFY(!seen.contains(name));
                seen.insert(name);
            }
        }
        QRandomGenerator random(14);
        for (int i = 0; i < 20000; ++i) {
            QByteArray bytes(1 + int(random.bounded(12)), '\0');
            for (char &c : bytes) {
                c = char(1 + random.bounded(255));
            }
            QCOMPARE(EncodeName(DecodeName(bytes)), bytes);
        }
    }

    void latin1FirstFileShowsAtStart()
    {
        const QByteArray folder = makeFolder("latin");
        QVERIFY(WriteBmp(folder + "/caf\xe9.bmp", 64, 48, Qt::red));
        QVERIFY(WriteBmp(folder + "/zebra.bmp", 32, 16, Qt::blue));
        startOn(folder);
        QCOMPARE(list()->ListCount(), 2);
        QCOMPARE(list()->ListIndex(), 0);
        QCOMPARE(EncodeName(State().CurrentFile), folder + "/caf\xe9.bmp");
        QVERIFY(Control<PictureImage>(Forms::frmPictureViewer(), "Image1")->isVisible());
        QVERIFY(!Control<QLabel>(Forms::frmPictureViewer(), "lblError")->isVisible());
        QVERIFY(Control<QLabel>(side(), "lblKB")->text().startsWith(QStringLiteral("64 x 48\n")));
        // Shown readably in the list, held exactly.
        QCOMPARE(list()->model()->index(0, 0).data().toString(), QStringLiteral("caf\\xE9.bmp"));
        QCOMPARE(EncodeName(list()->List(0)), QByteArray("caf\xe9.bmp"));
    }

    void namesThatLookAlikeStayTwoFiles()
    {
        const QByteArray folder = makeFolder("alike");
        const QByteArray raw = folder + "/photo-\xff.bmp";
        const QByteArray text = folder + "/photo-\xef\xbf\xbd.bmp";
        const QByteArray latin = folder + "/caf\xe9.bmp";
        QVERIFY(WriteBmp(raw, 10, 10, Qt::red));
        QVERIFY(WriteBmp(text, 20, 30, Qt::blue));
        QVERIFY(WriteBmp(latin, 40, 20, Qt::green));
        const QByteArray rawBytes = ReadBytes(raw);
        const QByteArray textBytes = ReadBytes(text);
        const QByteArray latinBytes = ReadBytes(latin);
        startOn(folder);
        QCOMPARE(list()->ListCount(), 3);

        // Each shows its own picture.
        list()->setListIndex(row("photo-\xff.bmp"));
        QVERIFY(Control<QLabel>(side(), "lblKB")->text().startsWith(QStringLiteral("10 x 10\n")));
        list()->setListIndex(row("photo-\xef\xbf\xbd.bmp"));
        QVERIFY(Control<QLabel>(side(), "lblKB")->text().startsWith(QStringLiteral("20 x 30\n")));

        // Delete takes the one selected to the trash, under its own bytes, and only it.
        list()->setListIndex(row("photo-\xff.bmp"));
        Forms::frmInvisible().mnuDelete_Click();
        QVERIFY(program->dialogs.asked.isEmpty());
        QVERIFY(!Exists(raw));
        QCOMPARE(ReadBytes(text), textBytes);
        const QByteArray trash = EncodeName(program->env.path(QStringLiteral("data/Trash")));
        QCOMPARE(ReadBytes(trash + "/files/photo-\xff.bmp"), rawBytes);
        QVERIFY(ReadBytes(trash + "/info/photo-\xff.bmp.trashinfo").contains("Path=" + raw.toPercentEncoding("/")));
        QCOMPARE(list()->ListCount(), 2);

        // Rename: the typed name is UTF-8; the file that looked alike is the one renamed.
        list()->setListIndex(row("caf\xe9.bmp"));
        program->dialogs.inputAnswers = {QStringLiteral("caf\u00e9.bmp")};
        Forms::frmInvisible().mnuRename_Click();
        QVERIFY(!Exists(latin));
        QCOMPARE(ReadBytes(folder + "/caf\xc3\xa9.bmp"), latinBytes);
        QCOMPARE(ReadBytes(text), textBytes);

        // Moving a name that is not UTF-8 keeps its bytes.
        QVERIFY(WriteBmp(raw, 12, 12, Qt::yellow));
        const QByteArray again = ReadBytes(raw);
        const QByteArray dest = makeFolder("dest");
        QCOMPARE(MoveToEnd(DecodeName(raw), DecodeName(dest)), 0);
        QCOMPARE(ReadBytes(dest + "/photo-\xff.bmp"), again);
        QVERIFY(!Exists(raw));
        QCOMPARE(RawNames(dest), QList<QByteArray>{"photo-\xff.bmp"});
        QCOMPARE(CopyToEnd(DecodeName(text), DecodeName(dest)), 0);
        QCOMPARE(ReadBytes(dest + "/photo-\xef\xbf\xbd.bmp"), textBytes);
        QCOMPARE(ReadBytes(dest + "/photo-\xff.bmp"), again);
    }

    void thumbnailsOfNamesThatLookAlikeAreTwo()
    {
        const QByteArray folder = makeFolder("thumbs");
        QVERIFY(WriteBmp(folder + "/p-\xff.bmp", 10, 10, Qt::red));
        QVERIFY(WriteBmp(folder + "/p-\xef\xbf\xbd.bmp", 10, 10, Qt::blue));
        const QString a = DecodeName(folder + "/p-\xff.bmp");
        const QString b = DecodeName(folder + "/p-\xef\xbf\xbd.bmp");
        QVERIFY(ThumbnailSource::FileUri(a) != ThumbnailSource::FileUri(b));
        QVERIFY(ThumbnailSource::FileUri(a).endsWith("/p-%FF.bmp"));
        ThumbnailSource source(program->env.path(QStringLiteral("cache/thumbnails")));
        auto future = source.load({a, b}, 96, 15, 15);
        future.waitForFinished();
        QCOMPARE(future.resultCount(), 2);
        QCOMPARE(future.resultAt(0).image.pixelColor(5, 5), QColor(Qt::red));
        QCOMPARE(future.resultAt(1).image.pixelColor(5, 5), QColor(Qt::blue));
    }

    // ---- Vanished files and folders that cannot be entered ----

    void unenterableFolderDoesNotLoop()
    {
        if (::geteuid() == 0) {
            // Permissions do not bind root: the case runs again in a child as an ordinary user.
            const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
            if (setpriv.isEmpty()) {
                QSKIP("permissions do not bind root, and setpriv is missing");
            }
            QProcess child;
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(setpriv, {"--reuid=65534", "--regid=65534", "--clear-groups", "env", "HOME=/tmp", "TMPDIR=/tmp",
                                  QCoreApplication::applicationFilePath(), "unenterableFolderDoesNotLoop"});
            QVERIFY(child.waitForFinished(60000));
            const QByteArray output = child.readAll();
            if (child.exitCode() != 0 && output.contains("Permission denied") && !output.contains("FAIL")) {
                QSKIP("the build folder cannot be read by an ordinary user");
            }
            QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
            QVERIFY(output.contains("PASS   : HostileTest::unenterableFolderDoesNotLoop()"));
            return;
        }
        const QByteArray folder = makeFolder("locked");
        QVERIFY(WriteBmp(folder + "/a.bmp", 8, 8, Qt::red));
        QVERIFY(WriteBmp(folder + "/b.bmp", 8, 8, Qt::red));
        ::chmod(folder.constData(), 0444);
        startOn(folder);
        QCOMPARE(list()->ListCount(), 2);
        list()->setListIndex(1);
        QVERIFY(Control<QLabel>(Forms::frmPictureViewer(), "lblError")->isVisible());
        ::chmod(folder.constData(), 0755);
    }

    // ---- Only regular files ----

    void fifoInAPicturesPlaceIsNotAPicture()
    {
        const QByteArray folder = makeFolder("fifo");
        for (const char *n : {"/p1.bmp", "/p2.bmp", "/p3.bmp"}) {
            QVERIFY(WriteBmp(folder + n, 8, 8, Qt::red));
        }
        startOn(folder);
        QCOMPARE(list()->ListCount(), 3);
        QVERIFY(::unlink(folder + "/p2.bmp") == 0);
        QVERIFY(::mkfifo(folder + "/p2.bmp", 0644) == 0);
        QElapsedTimer clock;
        clock.start();
        list()->setListIndex(1);
        QVERIFY(Control<QLabel>(Forms::frmPictureViewer(), "lblError")->isVisible());
        QCOMPARE(Control<QLabel>(Forms::frmPictureViewer(), "lblError")->text(),
                 QStringLiteral("'p2.bmp' is not in a recognised picture format. (0 bytes)"));
        // Loading and thumbnails refuse it too, without waiting for a writer.
        PictureError error = PictureError::None;
        QVERIFY(!LoadPicture(DecodeName(folder + "/p2.bmp"), PictureRequest{}, &error));
        QCOMPARE(error, PictureError::CannotOpen);
        QVERIFY(ClickThumbnails());
        QVERIFY(clock.elapsed() < 20000);
        // A device is no picture either.
        QVERIFY(!LoadPicture(QStringLiteral("/dev/zero"), PictureRequest{}, &error));
        // Nor for printing a drawing, which reads the whole file again; and a drawing whose name
        // is not UTF-8 prints from exactly its file.
        QVERIFY(::mkfifo(folder + "/drawing.wmf", 0644) == 0);
        QVERIFY(!LoadMetafileSvg(DecodeName(folder + "/drawing.wmf"), &error));
        QCOMPARE(error, PictureError::CannotOpen);
        QFile sample(QStringLiteral(VV_SAMPLES "/shapes.wmf"));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        const QByteArray wmf = sample.readAll();
        const int fd = ::open(folder + "/caf\xe9.wmf", O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0 && ::write(fd, wmf.constData(), size_t(wmf.size())) == wmf.size());
        ::close(fd);
        const auto svg = LoadMetafileSvg(DecodeName(folder + "/caf\xe9.wmf"), &error);
        QVERIFY(svg && svg->contains("<svg"));
    }

    // Damaged files of today's formats, as a download cut short or a disk's bad block leaves them,
    // and one that declares a picture far beyond the limits: each is named unreadable, the
    // program keeps answering, and the good picture beside them still shows.
    void hostileModernPicturesAreNamedUnreadable()
    {
        QTemporaryDir made;
        QString log;
        QVERIFY2(ModernPictures::make(made.path(), log), qPrintable(log));
        auto bytes = [&made](const char *name) { return ModernPictures::load(made.filePath(QLatin1String(name))); };
        const QByteArray folder = makeFolder("modern");
        QByteArray bomb = bytes("tiff.tif");
        {
            const quint32 ifd = qFromLittleEndian<quint32>(bomb.constData() + 4);
            const int entries = qFromLittleEndian<quint16>(bomb.constData() + ifd);
            for (int i = 0; i < entries; ++i) {
                char *entry = bomb.data() + ifd + 2 + i * 12;
                const quint16 tag = qFromLittleEndian<quint16>(entry);
                if ((tag == 256 || tag == 257) && qFromLittleEndian<quint16>(entry + 2) == 3) {
                    qToLittleEndian<quint16>(30000, entry + 8);
                } else if (tag == 256 || tag == 257) {
                    qToLittleEndian<quint32>(30000, entry + 8);
                }
            }
        }
        const QByteArray heic = bytes("heic-o6.heic");
        const QByteArray jxl = bytes("jxl.jxl");
        QByteArray scrambled = jxl;
        for (qsizetype i = scrambled.size() / 4; i < scrambled.size(); i += 3) {
            scrambled[i] = char(~scrambled[i]);
        }
        const QList<QPair<QByteArray, QByteArray>> files = {
            {"1-good.heic", heic},
            {"2-cut.heic", heic.left(heic.size() * 2 / 3)},
            {"3-bomb.tif", bomb},
            {"4-scrambled.jxl", scrambled},
            {"5-cut.avif", bytes("avif.avif").left(300)},
            {"6-cut.webp", bytes("webp.webp").left(60)},
        };
        for (const auto &[name, content] : files) {
            QVERIFY(ModernPictures::save(DecodeName(folder + '/' + name), content));
        }
        startOn(folder);
        QTRY_COMPARE(list()->ListCount(), files.size());
        auto *error = Control<QLabel>(Forms::frmPictureViewer(), "lblError");
        for (int i = 1; i < files.size(); ++i) {
            list()->setListIndex(i);
            QTRY_VERIFY2(error->isVisible(), files.at(i).first.constData());
            QCOMPARE(error->text(), QStringLiteral("'%1' is not in a recognised picture format. (%2 bytes)")
                                        .arg(QString::fromLatin1(files.at(i).first))
                                        .arg(files.at(i).second.size()));
        }
        // Still answering: the good one shows, upright.
        list()->setListIndex(0);
        QTRY_VERIFY(!error->isVisible());
        auto *image = Control<PictureImage>(Forms::frmPictureViewer(), "Image1");
        QTRY_VERIFY(image->isVisible());
        QVERIFY(image->height() > image->width()); // turned as the container says
        QVERIFY(ClickThumbnails());

        // The helpers that read them serve on with only their soft CPU limit lowered: a hard
        // limit, once lowered, can never be raised again by an ordinary user, and a helper would
        // be killed after its first few seconds of work however many pictures they were spread
        // over.
        const QStringList helpers = OwnPictureHelpers();
        QVERIFY(!helpers.isEmpty());
        const QString ownHard = CpuLimits(QStringLiteral("self")).section(QLatin1Char(' '), 1);
        for (const QString &pid : helpers) {
            // A helper started a moment ago limits itself before it reads its first request.
            QString limits;
            QTRY_VERIFY2(!(limits = CpuLimits(pid)).startsWith(QLatin1String("unlimited")), qPrintable(limits));
            if (limits.isEmpty()) {
                continue; // it ended meanwhile
            }
            QCOMPARE(limits.section(QLatin1Char(' '), 1), ownHard);
        }
    }

    void fifoSettingsFileStartsWithTheDefaults()
    {
        const QByteArray settings = EncodeName(program->env.settingsFile());
        QVERIFY(::mkfifo(settings.constData(), 0600) == 0);
        QCOMPARE(GetSetting(AppName, "Settings", "SlideTime"), QString());
        QVERIFY(!SaveSetting(AppName, "Settings", "SlideTime", "9"));
        QCOMPARE(EntryProcedure(), Road::Normal);
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::PictureViewer) && Forms::frmPictureViewer().isVisible());
        struct stat st
        {};
        QVERIFY(::lstat(settings.constData(), &st) == 0);
        QVERIFY(S_ISFIFO(st.st_mode)); // never written over
    }

    // ---- A reused buffer ----

    void reusedBufferNeverShowsTheLastPicture()
    {
        const QByteArray folder = makeFolder("buffers");
        const QString jpeg = DecodeName(folder + "/big.jpg");
        QVERIFY(WriteJpeg(jpeg, 2000, 1500, QColor(250, 20, 20)));
        const QByteArray bmp = folder + "/cut.bmp";
        QVERIFY(WriteBmp(bmp, 2000, 1500, QColor(20, 20, 250)));
        // The file ends half-way: a BMP is stored bottom-up, so its top rows are missing.
        QVERIFY(::truncate(bmp.constData(), 54 + 2000 * 4 * 700) == 0);
        const auto fresh = LoadPicture(DecodeName(bmp), PictureRequest{});
        QVERIFY(fresh);
        auto first = LoadPicture(jpeg, PictureRequest{});
        QVERIFY(first);
        QCOMPARE(first->image.size(), QSize(2000, 1500));
        const QImage::Format format = first->image.format();
        RecyclePicture(std::move(*first));
        const auto second = LoadPicture(DecodeName(bmp), PictureRequest{});
        QVERIFY(second);
        QCOMPARE(second->image.pixelColor(1000, 1400), QColor(20, 20, 250)); // a row the file has
        QVERIFY(second->image.pixelColor(1000, 100).red() < 128);            // none of the JPEG
        if (fresh->image.format() == format) {
            QCOMPARE(second->image.pixel(1000, 100), fresh->image.pixel(1000, 100));
        }
    }

    // A JPEG decoded into the last picture's buffer, which is not cleared first: a file cut short,
    // or with its data scrambled, must still give exactly the pixels of a fresh decode.
    void reusedBufferUnderACutJpegHoldsNothingOfTheLastPicture_data()
    {
        QTest::addColumn<bool>("progressive");
        QTest::addColumn<bool>("scrambled");
        QTest::newRow("baseline, cut short") << false << false;
        QTest::newRow("progressive, cut short") << true << false;
        QTest::newRow("baseline, scrambled") << false << true;
    }

    void reusedBufferUnderACutJpegHoldsNothingOfTheLastPicture()
    {
        QFETCH(bool, progressive);
        QFETCH(bool, scrambled);
        const QByteArray folder = makeFolder("jpegbuffers");
        const QString red = DecodeName(folder + "/red.jpg");
        QVERIFY(WriteJpeg(red, 2000, 1500, QColor(250, 20, 20)));
        const QString cut = DecodeName(folder + "/cut.jpg");
        {
            QImage blue(2000, 1500, QImage::Format_RGB32);
            blue.fill(QColor(20, 20, 250));
            QImageWriter writer(cut, "jpeg");
            writer.setProgressiveScanWrite(progressive);
            QVERIFY(writer.write(blue));
        }
        QFile file(cut);
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (scrambled) {
            QByteArray bytes = file.readAll();
            for (qsizetype i = bytes.size() / 3; i < bytes.size() * 2 / 3; i += 7) {
                bytes[i] = static_cast<char>(bytes[i] ^ 0x5a);
            }
            QVERIFY(file.seek(0));
            QCOMPARE(file.write(bytes), bytes.size());
        } else {
            QVERIFY(file.resize(file.size() / 3));
        }
        file.close();
        const auto fresh = LoadPicture(cut, PictureRequest{});
        QVERIFY(fresh); // shown as far as it goes, the rest grey
        auto first = LoadPicture(red, PictureRequest{});
        QVERIFY(first);
        QCOMPARE(first->image.size(), fresh->image.size());
        QCOMPARE(first->image.format(), fresh->image.format());
        RecyclePicture(std::move(*first));
        const auto second = LoadPicture(cut, PictureRequest{});
        QVERIFY(second);
        QCOMPARE(second->image, fresh->image);
    }

    // ---- Animations ----

    void hugeCanvasAnimationShowsItsFirstFrameOnly()
    {
        // Two 1x1 frames on a logical screen of 10000 x 10000.
        auto gif = [](int side) {
            QByteArray g("GIF89a");
            g += char(side & 0xff);
            g += char(side >> 8);
            g += char(side & 0xff);
            g += char(side >> 8);
            g += QByteArray("\x80\x00\x00", 3);             // two colours, no background
            g += QByteArray("\xff\x00\x00\x00\x00\xff", 6); // red, blue
            for (int frame = 0; frame < 2; ++frame) {
                g += QByteArray("\x21\xf9\x04\x00\x0a\x00\x00\x00", 8); // 100 ms
                g += QByteArray("\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00", 10);
                g += QByteArray("\x02\x02\x44\x01\x00", 5);
            }
            return g + ';';
        };
        const QByteArray folder = makeFolder("gifs");
        for (const auto &[name, side] : {std::pair<const char *, int>{"/a-huge.gif", 10000}, {"/b-small.gif", 100}}) {
            const int fd = ::open(folder + name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const QByteArray bytes = gif(side);
            QVERIFY(::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size());
            ::close(fd);
        }
        startOn(folder);
        frmPictureViewer &viewer = Forms::frmPictureViewer();
        QCOMPARE(FileNameOf(State().CurrentFile), QStringLiteral("a-huge.gif"));
        QVERIFY(Control<PictureImage>(viewer, "Image1")->isVisible());
        QVERIFY(viewer.findChild<AnimationPlayer *>() == nullptr);
        list()->setListIndex(1);
        QCOMPARE(FileNameOf(State().CurrentFile), QStringLiteral("b-small.gif"));
        QVERIFY(viewer.findChild<AnimationPlayer *>() != nullptr); // a small one plays
        list()->setListIndex(0);
        QVERIFY(viewer.findChild<AnimationPlayer *>() == nullptr);
    }

    // The big animation beside a small bitmap, shown on a 2560 x 1600 screen and playing: a frame
    // after the first is on screen and the next one is being decoded (here it takes 300 ms to decode
    // a frame and scale it to 1600 x 1600). Gives Image1.
    PictureImage *startOnBigAnimation()
    {
        program.reset();
        program = std::make_unique<ProgramUnderTest>(QByteArrayLiteral("2560x1600@15"));
        const QByteArray folder = makeFolder("big");
        const int fd = ::open(folder + "/a-big.gif", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool written =
            ::write(fd, BigAnimation().constData(), size_t(BigAnimation().size())) == BigAnimation().size();
        ::close(fd);
        if (!written || !WriteBmp(folder + "/b-small.bmp", 64, 48, Qt::yellow)) {
            return nullptr;
        }
        startOn(folder);
        PictureImage *image = Control<PictureImage>(Forms::frmPictureViewer(), "Image1");
        const qint64 first = image->picture().cacheKey();
        if (!QTest::qWaitFor([&] { return image->picture().cacheKey() != first; }, 30000)) {
            return nullptr;
        }
        return image;
    }

    void keysAnswerWhileABigAnimationPlays()
    {
        PictureImage *image = startOnBigAnimation();
        QVERIFY(image != nullptr);
        QCOMPARE(image->picture().size(), image->size());
        FileListBox *files = list();
        files->setFocus();
        KeyArrival arrival;
        files->installEventFilter(&arrival);
        // Down comes from outside this thread, as the window system sends it, 20 ms after a frame is
        // shown, while the next one is being decoded (the frames follow each other without a rest); the time runs from
        // the moment it is sent to the end of its handling.
        std::atomic<bool> frameShown{false};
        std::atomic<qint64> sentNs{0};
        auto press = std::make_unique<QKeyEvent>(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        auto release = std::make_unique<QKeyEvent>(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier);
        std::unique_ptr<QThread> user(QThread::create([&] {
            while (!frameShown) {
                QThread::msleep(1);
            }
            QThread::msleep(20);
            sentNs = std::chrono::steady_clock::now().time_since_epoch().count();
            QCoreApplication::postEvent(files, press.release());
            QCoreApplication::postEvent(files, release.release());
        }));
        user->start();
        const auto joined = qScopeGuard([&] {
            frameShown = true;
            user->wait();
        });
        const qint64 shown = image->picture().cacheKey();
        QVERIFY(QTest::qWaitFor([&] { return image->picture().cacheKey() != shown; }, 20000));
        frameShown = true;
        QTRY_VERIFY_WITH_TIMEOUT(arrival.releasedNs != 0, 20000);
        const qint64 answeredMs = (arrival.releasedNs - sentNs) / 1'000'000;
        qInfo("Down answered in %lld ms", answeredMs);
        QCOMPARE(FileNameOf(State().CurrentFile), QStringLiteral("b-small.bmp"));
        QCOMPARE(image->picture().pixel(10, 10), QColor(Qt::yellow).rgb());
        QVERIFY(Forms::frmPictureViewer().findChild<AnimationPlayer *>() == nullptr);
        // A key that waits for a frame's decode misses this by far.
        QVERIFY2(answeredMs < 100, qPrintable(QStringLiteral("%1 ms").arg(answeredMs)));
    }

    void closingWhileAFrameDecodes()
    {
        QVERIFY(startOnBigAnimation() != nullptr);
        // The program ends with the next frame half decoded: the decode finishes on its own
        // thread, and its frame goes nowhere.
        QElapsedTimer clock;
        clock.start();
        program.reset();
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        // The decode under way ends by itself, with nothing left to show its frame.
        const QList<QThreadPool *> pools = QCoreApplication::instance()->findChildren<QThreadPool *>();
        QVERIFY(!pools.isEmpty());
        for (QThreadPool *pool : pools) {
            QVERIFY(pool->waitForDone(20000));
        }
        program = std::make_unique<ProgramUnderTest>();
    }

    // ---- The same file under another name ----

    void linkOntoItsOwnTargetIsTheSameFile_data()
    {
        QTest::addColumn<bool>("hardLink");
        QTest::addColumn<bool>("copy");
        QTest::newRow("symbolic, move") << false << false;
        QTest::newRow("symbolic, copy") << false << true;
        QTest::newRow("hard, move") << true << false;
        QTest::newRow("hard, copy") << true << true;
    }

    void linkOntoItsOwnTargetIsTheSameFile()
    {
        QFETCH(bool, hardLink);
        QFETCH(bool, copy);
        const QByteArray a = makeFolder("A");
        const QByteArray b = makeFolder("B");
        QVERIFY(WriteBmp(a + "/pic.jpg", 16, 16, Qt::red));
        const QByteArray before = ReadBytes(a + "/pic.jpg");
        if (hardLink) {
            QVERIFY(::link(a + "/pic.jpg", b + "/pic.jpg") == 0);
        } else {
            QVERIFY(::symlink("../A/pic.jpg", b + "/pic.jpg") == 0);
        }
        Answers answers;
        const int result = TransferFiles(copy ? TransferKind::Copy : TransferKind::Move, {DecodeName(a + "/pic.jpg")},
                                         DecodeName(b), answers);
        QCOMPARE(result, TransferResult::SameFile);
        QCOMPARE(answers.asked, 0);
        QCOMPARE(ReadBytes(a + "/pic.jpg"), before);
        struct stat st
        {};
        QVERIFY(::lstat(b + "/pic.jpg", &st) == 0);
        QCOMPARE(S_ISLNK(st.st_mode), !hardLink);
        QCOMPARE(ReadBytes(b + "/pic.jpg"), before);
    }

    // ---- Say only what happened ----

    void thumbnailDeleteMarksOnlyWhatWent()
    {
        const QByteArray folder = makeFolder("marks");
        for (const char *n : {"/0.bmp", "/1.bmp", "/2.bmp"}) {
            QVERIFY(WriteBmp(folder + n, 8, 8, Qt::red));
        }
        // A trash that cannot be made: a file holds its name.
        QDir().mkpath(program->env.path(QStringLiteral("data")));
        QVERIFY(WriteBmp(EncodeName(program->env.path(QStringLiteral("data/Trash"))), 1, 1, Qt::red));
        startOn(folder);
        QVERIFY(ClickThumbnails());
        frmPictureViewer &viewer = Forms::frmPictureViewer();
        viewer.Thumb1_MouseDown(1, 1, 0, 0, 0);
        viewer.Form_KeyDown(46, 0); // Delete
        QVERIFY(Exists(folder + "/1.bmp"));
        QVERIFY(Element<PictureImage>(viewer, "Thumb1", 1)->toolTip() != QStringLiteral("File deleted"));
        QVERIFY(Element<PictureImage>(viewer, "Thumb1", 1)->Tag != QStringLiteral("invalid"));
        QVERIFY(!program->dialogs.asked.isEmpty()); // the failure was said
        QCOMPARE(list()->ListCount(), 3);
    }

    void renameCycleOfLongNames()
    {
        // Three names of 250 bytes, the middle one not UTF-8, each taking the next one's name.
        const QByteArray folder = makeFolder("cycle");
        const QByteArray stem(242, 'n');
        const QList<QByteArray> names = {stem + "-aaa.bmp", stem + "-\xe9\xe9.bmp", stem + "-ccc.bmp"};
        QList<QByteArray> contents;
        for (int i = 0; i < 3; ++i) {
            QVERIFY(WriteBmp(folder + '/' + names[i], 4 + i, 4, Qt::red));
            contents << ReadBytes(folder + '/' + names[i]);
        }
        std::vector<BatchRename> plan;
        for (int i = 0; i < 3; ++i) {
            plan.push_back({DecodeName(names[i]), DecodeName(names[(i + 1) % 3]), {}, {}});
        }
        const auto result = RenameBatch(DecodeName(folder), plan);
        for (const BatchRename &r : result) {
            QCOMPARE(r.outcome, BatchRename::Outcome::Renamed);
        }
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(ReadBytes(folder + '/' + names[(i + 1) % 3]), contents[i]);
        }
        QCOMPARE(RawNames(folder).size(), 3);
    }

    // ---- Large folders ----

    void slideShowStepsPastEntry32767()
    {
        const QByteArray folder = makeFolder("many");
        QVERIFY(WriteBmp(folder + "/p00000.bmp", 4, 4, Qt::red));
        constexpr int kFiles = 32800;
        for (int i = 1; i < kFiles; ++i) {
            const QByteArray name = folder + "/p" + QByteArray::number(i).rightJustified(5, '0') + ".bmp";
            QVERIFY(::link(folder + "/p00000.bmp", name.constData()) == 0);
        }
        QVERIFY(SaveSetting(AppName, "Settings", "ManualShow", "True"));
        startOn(folder);
        QCOMPARE(list()->ListCount(), kFiles);
        list()->setListIndex(32765);
        side().cmdSlide_Click();
        QVERIFY(State().SlideShowOn);
        for (int i = 0; i < 4; ++i) {
            Forms::frmPictureViewer().Form_KeyDown(39, 0);
        }
        QVERIFY(side().slideShow().index() > 32767);
        QVERIFY(FileNameOf(State().CurrentFile) > QStringLiteral("p32767.bmp"));
        Forms::frmPictureViewer().Form_KeyDown(27, 0);
    }
};

QTEST_MAIN(HostileTest)
#include "tst_hostile.moc"
