// SPDX-License-Identifier: GPL-2.0-or-later
#include "Controls.h"
#include "ProgramUnderTest.h"
#include "ScriptedDialogs.h"
#include "Transfers.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "controls/ARButton.h"
#include "controls/PictureImage.h"
#include "files/FileDrag.h"
#include "files/FileOperations.h"
#include "files/FileTransfer.h"
#include "panel/FileListBox.h"
#include "panel/FolderWatch.h"
#include "panel/frmSide.h"
#include "viewer/ThumbnailRules.h"
#include "viewer/frmPictureViewer.h"
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <optional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Content(int i, int size = 64 * 1024)
{
    // Byte k is (7k + 13i) mod 256: a block of 256 repeated (large files are made fast, even in
    // the sanitizer build).
    QByteArray block(256, '\0');
    for (int k = 0; k < 256; ++k) {
        block[k] = static_cast<char>((k * 7 + i * 13) & 0xFF);
    }
    return block.repeated(size / 256 + 1).left(size);
}

bool Write(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

QByteArray Read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every name in a folder, hidden ones included.
QStringList Names(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Scripted answers to the replace question, and a hook into progress.
class ScriptedObserver : public TransferObserver
{
public:
    QList<ReplaceAnswer> answers;
    QStringList asked;
    std::function<bool(int, qint64)> onProgress;

    ReplaceAnswer askReplace(const QString &, const QString &target) override
    {
        asked << QFileInfo(target).fileName();
        return answers.isEmpty() ? ReplaceAnswer::Cancel : answers.takeFirst();
    }
    bool progress(int fileIndex, int, const QString &, qint64 bytesDone, qint64) override
    {
        return onProgress ? onProgress(fileIndex, bytesDone) : true;
    }
};

// The real calls, with failures where a test asks for them. Renames across "file systems" can be
// forced, so the copying road runs inside one temporary folder.
class FaultyCalls : public FileSystemCalls
{
public:
    bool forceCrossDevice = false;
    qint64 spaceLeft = -1; // bytes the destination takes before it is full
    int openNewError = 0;  // errno for every new file
    int removeError = 0;   // errno for removing a source
    int renameError = 0;   // errno for a rename of a source
    int closeError = 0;    // errno for closing a new file (after the real close)
    int syncError = 0;     // errno for flushing the destination folder
    qint64 written = 0;

    int renameNoReplace(const QByteArray &from, const QByteArray &to) override
    {
        if (from.contains("/.vantrel-") || (!forceCrossDevice && renameError == 0)) {
            return FileSystemCalls::renameNoReplace(from, to);
        }
        return forceCrossDevice ? -EXDEV : -renameError;
    }
    int renameReplace(const QByteArray &from, const QByteArray &to) override
    {
        return forceCrossDevice ? -EXDEV : FileSystemCalls::renameReplace(from, to);
    }
    int openNew(const QByteArray &folder, QByteArray *name) override
    {
        return openNewError != 0 ? -openNewError : FileSystemCalls::openNew(folder, name);
    }
    ssize_t copyChunk(int from, int to, size_t bytes) override
    {
        if (spaceLeft >= 0) {
            if (written >= spaceLeft) {
                return -ENOSPC;
            }
            bytes = std::min<size_t>(bytes, static_cast<size_t>(spaceLeft - written));
        }
        const ssize_t n = FileSystemCalls::copyChunk(from, to, std::min<size_t>(bytes, 16 * 1024));
        if (n > 0) {
            written += n;
        }
        return n;
    }
    int closeFile(int fd) override
    {
        const bool forWriting = (::fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY;
        const int r = FileSystemCalls::closeFile(fd);
        return forWriting && closeError != 0 ? -closeError : r;
    }
    int syncFolder(const QByteArray &folder) override
    {
        return syncError != 0 ? -syncError : FileSystemCalls::syncFolder(folder);
    }
    int removeFile(const QByteArray &path) override
    {
        return removeError != 0 && !path.contains("/dst") ? -removeError : FileSystemCalls::removeFile(path);
    }
};

} // namespace

class FilingTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir tmp;
    QString src;
    QString dst;
    QStringList sources;
    QString vanished; // removed by the test itself
    bool outsideRan = false;

    void makeSources(int count, int size = 64 * 1024)
    {
        src = tmp.filePath(QStringLiteral("src%1").arg(++round));
        dst = tmp.filePath(QStringLiteral("dst%1").arg(round));
        QVERIFY(QDir().mkpath(src));
        QVERIFY(QDir().mkpath(dst));
        sources.clear();
        for (int i = 0; i < count; ++i) {
            sources << src + QStringLiteral("/p%1.jpg").arg(i);
            QVERIFY(Write(sources.last(), Content(i, size)));
        }
    }
    // Each source is either whole in the destination and gone from the source, or untouched where
    // it was; nothing else is in the destination.
    void verifyNoLoss(int size = 64 * 1024)
    {
        for (int i = 0; i < sources.size(); ++i) {
            const QString name = QFileInfo(sources[i]).fileName();
            const bool there = QFileInfo::exists(dst + '/' + name);
            const bool here = QFileInfo::exists(sources[i]);
            QVERIFY2(there || here || sources[i] == vanished, qPrintable(name + " lost"));
            if (here) {
                QCOMPARE(Read(sources[i]), Content(i, size));
            }
            if (there && !here) {
                QCOMPARE(Read(dst + '/' + name), Content(i, size));
            }
        }
        for (const QString &name : Names(dst)) {
            QVERIFY2(!name.startsWith('.'), qPrintable("stray " + name));
        }
    }
    int round = 0;

    // The program on a folder of `count` JPEGs, with a second registered folder "Filed" on
    // button 1 and a blank button 2.
    std::unique_ptr<ProgramUnderTest> program;
    QString pics;
    QString filed;
    void startOn(int count)
    {
        program = std::make_unique<ProgramUnderTest>();
        pics = program->env.path("pics");
        filed = program->env.path("filed & kept");
        QDir().mkpath(pics);
        QDir().mkpath(filed);
        for (int i = 0; i < count; ++i) {
            QVERIFY(WriteJpeg(pics + QStringLiteral("/%1.jpg").arg(i, 2, 10, QLatin1Char('0')), 40, 30));
        }
        SaveSetting(AppName, "Directories", "pics", pics);
        SaveSetting(AppName, "Directories", "Filed & kept", filed);
        SaveSetting(AppName, "Settings", "Basename", "pics");
        SaveSetting(AppName, "Settings", "Caption1", "pics");
        SaveSetting(AppName, "Settings", "Caption2", "Filed && kept");
        SaveSetting(AppName, "Settings", "Caption3", "");
        QCOMPARE(EntryProcedure(), Road::Normal);
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::Side) && Forms::frmPictureViewer().isVisible());
        QTRY_COMPARE(list()->ListCount(), count);
        SetFileDragHandler([](QWidget *, const QString &) {});
    }
    static FileListBox *list() { return Control<FileListBox>(Forms::frmSide(), "File1"); }
    static void drop(int button, const QString &action)
    {
        State().DropAction = action;
        Forms::frmSide().cmdFolder_DragDrop(button);
        QVERIFY(CommandsEnded());
    }
    static QString name(int i) { return QStringLiteral("%1.jpg").arg(i, 2, 10, QLatin1Char('0')); }

private slots:
    void cleanup()
    {
        program.reset();
        SetFileDragHandler(nullptr);
    }

    void sourceLists()
    {
        QCOMPARE(SplitSourceList("/a/b.jpg"), QStringList{"/a/b.jpg"});
        const QString list = JoinSourceList({"/a/1.jpg", "/a/2.jpg"});
        QCOMPARE(list, QString("/a/1.jpg") + QChar(0) + "/a/2.jpg" + QChar(0) + QChar(0));
        QCOMPARE(SplitSourceList(list), (QStringList{"/a/1.jpg", "/a/2.jpg"}));
        QCOMPARE(JoinSourceList({"/a/1.jpg"}), QStringLiteral("/a/1.jpg"));
    }

    void moveAndCopyInOneFileSystem()
    {
        makeSources(3);
        ScriptedObserver o;
        QCOMPARE(TransferFiles(TransferKind::Copy, sources, dst, o), 0);
        QCOMPARE(Names(dst), (QStringList{"p0.jpg", "p1.jpg", "p2.jpg"}));
        QCOMPARE(Names(src).size(), 3);
        QCOMPARE(Read(dst + "/p1.jpg"), Content(1));
        QCOMPARE(QFileInfo(dst + "/p1.jpg").lastModified(), QFileInfo(sources[1]).lastModified());
        QDir(dst).removeRecursively();
        QDir().mkpath(dst);
        QCOMPARE(TransferFiles(TransferKind::Move, sources, dst, o), 0);
        QVERIFY(Names(src).isEmpty());
        verifyNoLoss();
        QVERIFY(o.asked.isEmpty());
    }

    void refusals()
    {
        makeSources(2);
        ScriptedObserver o;
        QCOMPARE(TransferFiles(TransferKind::Move, sources, tmp.filePath("missing"), o),
                 TransferResult::DestinationMissing);
        QCOMPARE(TransferFiles(TransferKind::Copy, sources, tmp.filePath("missing"), o),
                 TransferResult::DestinationMissing);
        // A file onto itself, whether by the same path or through a link to the folder.
        QCOMPARE(TransferFiles(TransferKind::Move, {sources[0]}, src, o), TransferResult::SameFile);
        QVERIFY(QFile::link(src, tmp.filePath("alias")));
        QCOMPARE(TransferFiles(TransferKind::Copy, {sources[0]}, tmp.filePath("alias"), o), TransferResult::SameFile);
        QCOMPARE(Read(sources[0]), Content(0));
        // A folder into itself.
        QVERIFY(QDir().mkpath(src + "/inner"));
        QCOMPARE(TransferFiles(TransferKind::Move, {src}, src + "/inner", o), TransferResult::IntoItself);
        QCOMPARE(TransferFiles(TransferKind::Move, {sources[1] + ".gone"}, dst, o), TransferResult::SourceMissing);
        QVERIFY(o.asked.isEmpty());
        QVERIFY(Names(dst).isEmpty());
    }

    void replaceQuestion_data()
    {
        QTest::addColumn<bool>("crossDevice");
        QTest::newRow("rename") << false;
        QTest::newRow("copy road") << true;
    }
    void replaceQuestion()
    {
        QFETCH(bool, crossDevice);
        makeSources(4);
        for (int i = 0; i < 4; ++i) {
            QVERIFY(Write(dst + QStringLiteral("/p%1.jpg").arg(i), "old"));
        }
        FaultyCalls calls;
        calls.forceCrossDevice = crossDevice;
        ScriptedObserver o;
        // No keeps both; Yes replaces; Cancel stops with the rest untouched.
        o.answers = {ReplaceAnswer::No, ReplaceAnswer::Yes, ReplaceAnswer::Cancel};
        QCOMPARE(TransferFiles(TransferKind::Move, sources, dst, o, calls), TransferResult::Cancelled);
        QCOMPARE(o.asked, (QStringList{"p0.jpg", "p1.jpg", "p2.jpg"}));
        QCOMPARE(Read(dst + "/p0.jpg"), QByteArray("old"));
        QCOMPARE(Read(sources[0]), Content(0));
        QCOMPARE(Read(dst + "/p1.jpg"), Content(1));
        QVERIFY(!QFileInfo::exists(sources[1]));
        QCOMPARE(Read(dst + "/p2.jpg"), QByteArray("old"));
        QCOMPARE(Read(sources[3]), Content(3));
        // Yes to All asks once more and no further.
        o.asked.clear();
        o.answers = {ReplaceAnswer::YesToAll};
        QCOMPARE(TransferFiles(TransferKind::Copy, {sources[0], sources[2], sources[3]}, dst, o, calls), 0);
        QCOMPARE(o.asked, QStringList{"p0.jpg"});
        QCOMPARE(Read(dst + "/p3.jpg"), Content(3));
        QCOMPARE(Names(dst).size(), 4);
    }

    void crossFileSystemMove()
    {
        if (!QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
            QSKIP("no /dev/shm here");
        }
        makeSources(3, 3 * 1024 * 1024 + 17);
        QTemporaryDir shm(QStringLiteral("/dev/shm/vantrel-test-XXXXXX"));
        dst = shm.path();
        ScriptedObserver o;
        const QDateTime before = QFileInfo(sources[2]).lastModified();
        QCOMPARE(TransferFiles(TransferKind::Move, sources, dst, o), 0);
        QVERIFY(Names(src).isEmpty());
        verifyNoLoss(3 * 1024 * 1024 + 17);
        QCOMPARE(QFileInfo(dst + "/p2.jpg").lastModified(), before);
    }

    // A long move across file systems runs beside the interface: its timers keep ticking while
    // the files are copied, and Cancel in the progress window stops it half-way with every file
    // whole on one side or the other.
    void cancelLongMoveFromTheProgressWindow()
    {
        if (!QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
            QSKIP("no /dev/shm here");
        }
        // Large enough that a fast machine still takes many of the watch's turns to copy it all.
        const int size = 3 * 1024 * 1024 + 5;
        makeSources(300, size);
        QTemporaryDir shm(QStringLiteral("/dev/shm/vantrel-test-XXXXXX"));
        dst = shm.path();
        QElapsedTimer clock;
        clock.start();
        QList<qint64> ticks;
        QTimer pulse;
        pulse.setInterval(50);
        connect(&pulse, &QTimer::timeout, this, [&] { ticks << clock.elapsed(); });
        pulse.start();
        bool cancelled = false;
        QTimer watch;
        watch.setInterval(20);
        connect(&watch, &QTimer::timeout, this, [&] {
            QWidget *dialog = nullptr;
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (w->objectName() == QLatin1String("TransferProgress") && w->isVisible()) {
                    dialog = w;
                }
            }
            if (dialog != nullptr && !cancelled && !Names(dst).isEmpty()) {
                cancelled = true;
                QTest::mouseClick(dialog->findChild<QPushButton *>(), Qt::LeftButton);
            }
        });
        watch.start();
        QCOMPARE(MoveToEnd(JoinSourceList(sources), dst), TransferResult::Cancelled);
        const qint64 moving = clock.elapsed();
        pulse.stop();
        watch.stop();
        QVERIFY(cancelled);
        const auto moved = Names(dst).size();
        QVERIFY2(moved >= 1 && moved < 300, qPrintable(QString::number(moved)));
        verifyNoLoss(size);
        // The interface thread ticked all along (a quarter of its ticks at least, however short the move).
        QVERIFY2(ticks.size() >= moving / 50 / 4, qPrintable(QString::number(ticks.size())));
        for (int i = 1; i < ticks.size(); ++i) {
            QVERIFY2(ticks.at(i) - ticks.at(i - 1) < 1000, "the interface thread stood still");
        }
    }

    // A question in the middle of a long move: the progress window steps aside while it is up, and
    // what arrives from outside meanwhile (a second start, say) waits for the end of the command.
    void aQuestionIsNeverUnderTheProgressWindow()
    {
        if (!QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
            QSKIP("no /dev/shm here");
        }
        const int size = 1536 * 1024 + 5;
        makeSources(100, size);
        QTemporaryDir shm(QStringLiteral("/dev/shm/vantrel-test-XXXXXX"));
        dst = shm.path();
        const auto progressUp = [] {
            const QList<QWidget *> windows = QApplication::topLevelWidgets();
            return std::any_of(windows.cbegin(), windows.cend(), [](const QWidget *w) {
                return w->objectName() == QLatin1String("TransferProgress") && w->isVisible();
            });
        };
        struct Watching : ScriptedDialogs
        {
            std::function<bool()> progressUp;
            int askedWithProgressUp = 0;
            int messageBox(const QString &prompt, int style, const QString &title) override
            {
                askedWithProgressUp += progressUp() ? 1 : 0;
                return ScriptedDialogs::messageBox(prompt, style, title);
            }
        } dialogs;
        dialogs.progressUp = progressUp;
        dialogs.msgAnswers = {vbYes};
        // The last file's name is taken in the destination once the progress window shows.
        bool taken = false;
        QTimer watch;
        watch.setInterval(10);
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!taken && progressUp()) {
                taken = true;
                QVERIFY(Write(dst + "/p99.jpg", "old"));
                Commands().whenIdle(nullptr, [&] { outsideRan = true; });
            }
        });
        outsideRan = false;
        watch.start();
        std::optional<int> result;
        MoveFiles(JoinSourceList(sources), dst, nullptr, [&](int r) {
            result = r;
            QVERIFY(!outsideRan);
        });
        QVERIFY(Commands().busy());
        QVERIFY(QTest::qWaitFor([&] { return result.has_value(); }, 300000));
        watch.stop();
        QVERIFY(taken);
        QCOMPARE(*result, 0);
        QTRY_VERIFY(outsideRan);
        QCOMPARE(dialogs.asked.size(), 1);
        QCOMPARE(dialogs.asked.first().title, QStringLiteral("Confirm File Replace"));
        QCOMPARE(dialogs.askedWithProgressUp, 0);
        QVERIFY(Names(src).isEmpty());
        verifyNoLoss(size);
    }
    // Quit pressed in the middle of a long move: the move stops with every file whole on one side
    // or the other, and then the program ends by its usual road.
    void quitInTheMiddleOfAMoveStopsItAndEnds()
    {
        if (!QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
            QSKIP("no /dev/shm here");
        }
        startOn(1);
        const int size = 1536 * 1024 + 5;
        makeSources(60, size);
        QTemporaryDir shm(QStringLiteral("/dev/shm/vantrel-test-XXXXXX"));
        dst = shm.path();
        bool pressed = false;
        QTimer watch;
        watch.setInterval(10);
        connect(&watch, &QTimer::timeout, this, [&] {
            if (!pressed && !Names(dst).isEmpty()) {
                pressed = true;
                QTest::mouseClick(Control<ARButton>(Forms::frmSide(), "cmdQuit"), Qt::LeftButton);
            }
        });
        watch.start();
        QCOMPARE(MoveToEnd(JoinSourceList(sources), dst), TransferResult::Cancelled);
        watch.stop();
        QVERIFY(pressed);
        const auto moved = Names(dst).size();
        QVERIFY2(moved >= 1 && moved < 60, qPrintable(QString::number(moved)));
        verifyNoLoss(size);
        QVERIFY(Forms::IsLoaded(Forms::Form::Side));      // the command ends first...
        QTRY_VERIFY(!Forms::IsLoaded(Forms::Form::Side)); // ...then the program, as Quit ends it
    }

    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        for (const char *f : {"disk full", "read-only", "destination removed", "source removed", "source stays",
                              "cancel mid-file", "rename refused", "close fails", "folder flush fails"}) {
            QTest::newRow(f) << QString::fromLatin1(f);
        }
    }
    void faults()
    {
        QFETCH(QString, fault);
        makeSources(4);
        FaultyCalls calls;
        calls.forceCrossDevice = true;
        ScriptedObserver o;
        int expected = 0;
        if (fault == "disk full") {
            calls.spaceLeft = 64 * 1024 * 2 + 100; // two files and a little
            expected = TransferResult::DiskFull;
        } else if (fault == "read-only") {
            calls.openNewError = EROFS;
            expected = TransferResult::AccessDenied;
        } else if (fault == "destination removed") {
            o.onProgress = [&](int index, qint64 done) {
                if (index == 2 && done == 0) {
                    QDir(dst).removeRecursively();
                }
                return true;
            };
            expected = TransferResult::DestinationMissing;
        } else if (fault == "source removed") {
            o.onProgress = [&](int index, qint64 done) {
                if (index == 1 && done == 0) {
                    QFile::remove(sources[2]);
                    vanished = sources[2];
                }
                return true;
            };
            expected = TransferResult::SourceMissing;
        } else if (fault == "source stays") {
            calls.removeError = EACCES;
            expected = TransferResult::AccessDenied;
        } else if (fault == "cancel mid-file") {
            o.onProgress = [&](int index, qint64 done) { return !(index == 1 && done > 0); };
            expected = TransferResult::Cancelled;
        } else if (fault == "close fails") {
            calls.closeError = EIO;
            expected = TransferResult::Failed;
        } else if (fault == "folder flush fails") {
            calls.syncError = EIO;
            expected = TransferResult::Failed;
        } else if (fault == "rename refused") {
            calls.forceCrossDevice = false;
            calls.renameError = EACCES;
            expected = TransferResult::AccessDenied;
        }
        QCOMPARE(TransferFiles(TransferKind::Move, sources, dst, o, calls), expected);
        if (fault == "destination removed") {
            QVERIFY(!QFileInfo::exists(dst));
            QCOMPARE(Names(src).size(), 2); // two moved whole before the folder went
            QDir().mkpath(dst);
            return;
        }
        verifyNoLoss();
        if (fault == "disk full") {
            QCOMPARE(Names(dst), (QStringList{"p0.jpg", "p1.jpg"}));
        }
        if (fault == "source stays" || fault == "read-only" || fault == "rename refused" || fault == "close fails" ||
            fault == "folder flush fails") {
            QVERIFY(Names(dst).isEmpty());
            QCOMPARE(Names(src).size(), 4);
        }
    }

    // A real small file system, mounted on `folder` (as root), for the disk-full and read-only cases.
    bool mountSmallDisk(const QString &folder, const char *options = "size=1m")
    {
        if (::geteuid() != 0) {
            return false;
        }
        return ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options) == 0;
    }

    // A real disk that runs full: what fits is moved (a small file after the one that did not fit,
    // too), the rest stays, and the user is told which files were not moved and why, again at a
    // second try.
    void aFullDiskMovesWhatFitsAndSaysWhatDidNot()
    {
        ScriptedDialogs dialogs;
        makeSources(3, 400 * 1024);
        const QString small = src + QStringLiteral("/small.jpg");
        QVERIFY(Write(small, Content(9, 8 * 1024)));
        if (!mountSmallDisk(dst)) {
            QSKIP("this machine does not let a test mount a disk");
        }
        const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(dst).constData(), MNT_DETACH); });
        QCOMPARE(MoveToEnd(JoinSourceList(sources + QStringList{small}), dst), TransferResult::DiskFull);
        verifyNoLoss(400 * 1024);
        QCOMPARE(Names(src), QStringList{"p2.jpg"});
        QCOMPARE(Read(dst + "/small.jpg"), Content(9, 8 * 1024));
        QCOMPARE(dialogs.asked.size(), 1);
        QString told = dialogs.asked.last().prompt;
        QVERIFY2(told.contains("p2.jpg: the destination disk is full"), qPrintable(told));
        QVERIFY2(told.contains("This file was not moved; it is still where it was"), qPrintable(told));
        QVERIFY(!told.contains("p0.jpg") && !told.contains("small.jpg"));
        QCOMPARE(dialogs.asked.last().style, int(vbExclamation)); // a partial result
        // The same file once more: said again, as a failure of the whole command this time.
        QCOMPARE(MoveToEnd(sources[2], dst), TransferResult::DiskFull);
        QCOMPARE(dialogs.asked.size(), 2);
        told = dialogs.asked.last().prompt;
        QVERIFY2(told.contains("p2.jpg: the destination disk is full"), qPrintable(told));
        QCOMPARE(dialogs.asked.last().style, int(vbCritical));
        QCOMPARE(Read(sources[2]), Content(2, 400 * 1024));
        // A copy says it the same way.
        QCOMPARE(CopyToEnd(sources[2], dst), TransferResult::DiskFull);
        QVERIFY(dialogs.asked.last().prompt.contains("p2.jpg: the destination disk is full"));
        QVERIFY(dialogs.asked.last().prompt.contains("This file was not copied"));
        verifyNoLoss(400 * 1024);
    }

    // A folder on a disk mounted read-only: a copy says so, as a move does, naming the files.
    void aReadOnlyDestinationIsSaidForACopyAsForAMove()
    {
        ScriptedDialogs dialogs;
        makeSources(2);
        if (!mountSmallDisk(dst)) {
            QSKIP("this machine does not let a test mount a disk");
        }
        const auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(dst).constData(), MNT_DETACH); });
        QVERIFY(::mount(nullptr, QFile::encodeName(dst).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0);
        for (const bool copy : {true, false}) {
            dialogs.asked.clear();
            State().FileOperationFailed = false;
            const QString list = JoinSourceList(sources);
            QCOMPARE(copy ? CopyToEnd(list, dst) : MoveToEnd(list, dst), TransferResult::AccessDenied);
            QCOMPARE(dialogs.asked.size(), 1);
            const QString told = dialogs.asked.last().prompt;
            QVERIFY2(told.startsWith("The destination folder is currently inaccessible."), qPrintable(told));
            QVERIFY2(told.contains("p0.jpg: the destination folder is read-only"), qPrintable(told));
            QVERIFY2(told.contains("p1.jpg: not tried after that"), qPrintable(told));
            QCOMPARE(dialogs.asked.last().style, int(vbCritical));
            QVERIFY(State().FileOperationFailed);
            verifyNoLoss();
            QCOMPARE(Names(src).size(), 2);
        }
    }

    // A picture swapped for a link to a FIFO after the list was read: the copy refuses it at once
    // (no writer ever comes), says why, and carries on with the next picture.
    void aFifoInAPicturesPlaceIsRefusedAtOnce()
    {
        ScriptedDialogs dialogs;
        makeSources(3);
        const QString fifo = tmp.filePath(QStringLiteral("fifo%1").arg(round));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QVERIFY(QFile::remove(sources[1]));
        QVERIFY(QFile::link(fifo, sources[1]));
        for (const bool copy : {true, false}) {
            dialogs.asked.clear();
            // A copy reads the file; a move across disks would, but moves a link by rename only.
            FaultyCalls calls;
            calls.forceCrossDevice = !copy;
            ScriptedObserver o;
            QList<NotFiled> notFiled;
            const QList<QString> list{sources[1], sources[2]};
            QCOMPARE(TransferFiles(copy ? TransferKind::Copy : TransferKind::Move, list, dst, o, calls, &notFiled),
                     TransferResult::Failed);
            QCOMPARE(notFiled.size(), 1);
            QCOMPARE(notFiled.first().source, sources[1]);
            QVERIFY2(notFiled.first().reason.contains("not a regular file") ||
                         notFiled.first().reason.contains("link cannot be moved"),
                     qPrintable(notFiled.first().reason));
            QVERIFY(!QFileInfo::exists(dst + "/p1.jpg"));
            QCOMPARE(Read(dst + "/p2.jpg"), Content(2));
            QVERIFY(QFileInfo(sources[1]).isSymLink());
            QVERIFY(QFile::remove(dst + "/p2.jpg"));
            QVERIFY(Write(sources[2], Content(2))); // back where it was, after the move
        }
        // Through the program's own road, where the user is told.
        QCOMPARE(CopyToEnd(sources[1], dst), TransferResult::Failed);
        QVERIFY2(dialogs.asked.last().prompt.contains("p1.jpg: it is not a regular file"),
                 qPrintable(dialogs.asked.last().prompt));
        QVERIFY(Names(dst).isEmpty());
    }

    void destinationMessages()
    {
        ScriptedDialogs dialogs;
        makeSources(1);
        State().FileOperationFailed = false;
        QCOMPARE(MoveToEnd(sources[0], tmp.filePath("gone")), 117);
        QCOMPARE(dialogs.asked.last().prompt, QStringLiteral("The destination folder cannot be found.\n\n"
                                                             "This file was not moved; it is still where it was:\n"
                                                             "p0.jpg: the destination folder cannot be found"));
        QCOMPARE(dialogs.asked.last().style, int(vbCritical));
        QVERIFY(State().FileOperationFailed);
        State().FileOperationFailed = false;
        QCOMPARE(CopyToEnd(sources[0], tmp.filePath("gone")), 117);
        QVERIFY(dialogs.asked.last().prompt.startsWith(
            QStringLiteral("The destination folder is currently inaccessible.")));
        QVERIFY(State().FileOperationFailed);
        // The replace question goes through the dialogs: No keeps the file.
        QVERIFY(Write(dst + "/p0.jpg", "old"));
        dialogs.msgAnswers = {vbNo};
        State().FileOperationFailed = false;
        QCOMPARE(MoveToEnd(sources[0], dst), 0);
        QCOMPARE(dialogs.asked.last().style, int(vbYesYesToAllNoCancel | vbQuestion));
        QVERIFY(dialogs.asked.last().prompt.contains("'p0.jpg'"));
        QVERIFY(!State().FileOperationFailed);
        QCOMPARE(Read(dst + "/p0.jpg"), QByteArray("old"));
    }

    void trash()
    {
        ScriptedDialogs dialogs;
        QTemporaryDir home;
        qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit()); // does not exist yet
        makeSources(2);
        QVERIFY(SendToRecycleBin(sources[0]));
        QVERIFY(!QFileInfo::exists(sources[0]));
        QVERIFY(QFileInfo::exists(home.filePath("data/Trash/files/p0.jpg")));
        const QByteArray info = Read(home.filePath("data/Trash/info/p0.jpg.trashinfo"));
        QVERIFY(info.contains("Path=" + QUrl::toPercentEncoding(sources[0], "/")));
        QVERIFY(dialogs.asked.isEmpty());
        QVERIFY(!QFileInfo::exists(QDir::current().filePath("p0.jpg")));
        // As a file manager sees it (its trash service needs a session bus of its own).
        if (QStandardPaths::findExecutable("gio").isEmpty() ||
            QStandardPaths::findExecutable("dbus-run-session").isEmpty()) {
            QSKIP("gio is not installed");
        }
        QProcess gio;
        gio.start("dbus-run-session", {"--", "gio", "trash", "--list"});
        QVERIFY(gio.waitForFinished(20000));
        const QByteArray listed = gio.readAllStandardOutput();
        QVERIFY2(listed.contains("trash:///p0.jpg\t" + QFile::encodeName(sources[0])), listed.constData());
    }

    // The drop on a folder button from the file list.
    void dropRefusals()
    {
        startOn(3);
        ScriptedDialogs &d = program->dialogs;
        drop(2, "MOVE");
        QCOMPARE(d.asked.last().prompt, QStringLiteral("A folder has not been specified."));
        QCOMPARE(d.asked.last().style, int(vbCritical));
        drop(0, "COPY");
        QCOMPARE(d.asked.last().prompt, QStringLiteral("The source and destination folder is the same."));
        QDir(filed).removeRecursively();
        drop(1, "MOVE");
        QCOMPARE(d.asked.last().prompt,
                 QStringLiteral("The destination folder either no longer exists or it is currently inaccessible."));
        const int asked = static_cast<int>(d.asked.size());
        State().DropAction.clear(); // a first drag begun with Shift
        Forms::frmSide().cmdFolder_DragDrop(1);
        QVERIFY(CommandsEnded());
        QCOMPARE(d.asked.size(), asked);
        QCOMPARE(Names(pics).size(), 3);
    }

    void dropOneFile()
    {
        startOn(3);
        frmSide &side = Forms::frmSide();
        list()->setListIndex(1);
        drop(1, "COPY"); // the "&&" of the caption is a "&" of the folder's name
        QCOMPARE(Names(filed), QStringList{name(1)});
        QCOMPARE(list()->ListCount(), 3);
        drop(1, "MOVE"); // the file of that name is there now: asked, and declined
        QCOMPARE(program->dialogs.asked.last().style, int(vbYesYesToAllNoCancel | vbQuestion));
        QCOMPARE(list()->ListCount(), 3);
        QFile::remove(filed + '/' + name(1));
        list()->setListIndex(2);
        drop(1, "MOVE"); // the last entry: the new last one is selected
        QCOMPARE(list()->ListCount(), 2);
        QCOMPARE(list()->ListIndex(), 1);
        QCOMPARE(State().CurrentFile, pics + '/' + name(1));
        list()->setListIndex(0);
        drop(1, "MOVE"); // the neighbour takes its place
        QCOMPARE(list()->ListIndex(), 0);
        QCOMPARE(list()->List(0), name(1));
        drop(1, "MOVE"); // the only file
        QCOMPARE(list()->ListCount(), 0);
        QCOMPARE(Control<QLabel>(side, "lblFileCounter")->text(), QStringLiteral("0 Files"));
        QVERIFY(!Control<PictureImage>(Forms::frmPictureViewer(), "Image1")->isVisible());
        QCOMPARE(Names(filed).size(), 3);
        // No current entry: nothing is filed, the folder least of all.
        drop(1, "MOVE");
        QVERIFY(QFileInfo(pics).isDir());
    }

    void dropSeveralFiles()
    {
        startOn(8);
        list()->setListIndex(2);
        for (const int i : {3, 5}) {
            list()->setSelected(i, true);
        }
        drop(1, "MOVE");
        QCOMPARE(Names(filed), (QStringList{name(2), name(3), name(5)}));
        QCOMPARE(list()->ListCount(), 5);
        QCOMPARE(list()->ListIndex(), 3);
        QCOMPARE(list()->List(3), name(6));
        QCOMPARE(Control<QLabel>(Forms::frmSide(), "lblFileCounter")->text(), QStringLiteral("5 Files"));
        // A copy leaves the list as it is.
        list()->setListIndex(0);
        list()->setSelected(1, true);
        drop(1, "COPY");
        QCOMPARE(Names(filed).size(), 5);
        QCOMPARE(list()->ListCount(), 5);
    }

    void dropThumbnails()
    {
        startOn(5);
        frmSide &side = Forms::frmSide();
        frmPictureViewer &viewer = Forms::frmPictureViewer();
        QVERIFY(ClickThumbnails());
        QVERIFY(State().ThumbsLoaded);
        QVERIFY(WriteJpeg(filed + '/' + name(3), 10, 10)); // the one the user will decline to replace
        for (const int i : {1, 3, 4}) {
            viewer.Thumb1_MouseDown(i, 1, 2, 0, 0);
        }
        const QRect was = Element<PictureImage>(viewer, "Thumb1", 1)->geometry();
        auto *watcher = side.findChild<FolderWatcher *>();
        QVERIFY(watcher != nullptr && watcher->isWatching());
        QSignalSpy watched(watcher, &FolderWatcher::changed);
        program->dialogs.msgAnswers = {vbNo};
        drop(1, "MOVE");
        QCOMPARE(Names(filed), (QStringList{name(1), name(3), name(4)}));
        QCOMPARE(Names(pics), (QStringList{name(0), name(2), name(3)}));
        const auto markedMoved = [&viewer] {
            for (const int i : {1, 4}) {
                PictureImage *t = Element<PictureImage>(viewer, "Thumb1", i);
                QCOMPARE(t->Tag, QStringLiteral("invalid"));
                QCOMPARE(t->toolTip(), QStringLiteral("File moved"));
                QVERIFY(!t->isEnabled());
                QCOMPARE(t->size(), QSize(36, 36));
            }
        };
        markedMoved();
        // The folder's watcher reports the move a moment later; the list already shows it, so the
        // page stays as the move left it.
        QTRY_VERIFY(!watched.isEmpty());
        markedMoved();
        QCOMPARE(Element<PictureImage>(viewer, "Thumb1", 1)->pos(), CentredPlaceholder(was));
        QVERIFY(Element<PictureImage>(viewer, "Thumb1", 3)->Tag.isEmpty());
        QVERIFY(Element<PictureImage>(viewer, "Thumb1", 3)->isEnabled());
        QCOMPARE(Element<PictureImage>(viewer, "Thumb1", 3)->toolTip(), name(3));
        QCOMPARE(State().LastBorderSet, 0);
        QCOMPARE(list()->ListCount(), 3);
        QCOMPARE(Control<QLabel>(side, "lblFileCounter")->text(), QStringLiteral("3 Files"));
        // A copy of thumbnails changes nothing on the page.
        viewer.Thumb1_MouseDown(0, 1, 0, 0, 0);
        drop(1, "COPY");
        QCOMPARE(Names(filed).size(), 4);
        QCOMPARE(Element<PictureImage>(viewer, "Thumb1", 0)->Tag, QStringLiteral("selected00"));
    }

    // Two thumbnails Ctrl-selected, then one of them pressed without Ctrl and dragged: both are
    // filed. Pressed and let go without a drag, it is selected alone.
    void draggingOneOfSeveralSelectedThumbnailsFilesThemAll()
    {
        startOn(5);
        QVERIFY(ClickThumbnails());
        frmPictureViewer &viewer = Forms::frmPictureViewer();
        PictureImage *one = Element<PictureImage>(viewer, "Thumb1", 1);
        PictureImage *three = Element<PictureImage>(viewer, "Thumb1", 3);
        QTest::mouseClick(one, Qt::LeftButton, Qt::ControlModifier, QPoint(5, 5));
        QTest::mouseClick(three, Qt::LeftButton, Qt::ControlModifier, QPoint(5, 5));
        QStringList drags;
        SetFileDragHandler([&](QWidget *, const QString &icon) { drags << icon; });
        QTest::mousePress(three, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseMove(three, QPoint(25, 20));
        QTest::mouseRelease(three, Qt::LeftButton, {}, QPoint(25, 20));
        QVERIFY(!drags.isEmpty());
        drop(1, "MOVE");
        QCOMPARE(Names(filed), (QStringList{name(1), name(3)}));
        // A press and release without a drag on one of several selected: that one alone.
        QTest::mouseClick(Element<PictureImage>(viewer, "Thumb1", 0), Qt::LeftButton, Qt::ControlModifier,
                          QPoint(5, 5));
        QTest::mouseClick(Element<PictureImage>(viewer, "Thumb1", 2), Qt::LeftButton, Qt::ControlModifier,
                          QPoint(5, 5));
        QTest::mouseClick(Element<PictureImage>(viewer, "Thumb1", 2), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(Element<PictureImage>(viewer, "Thumb1", 2)->Tag, QStringLiteral("selected00"));
        QVERIFY(Element<PictureImage>(viewer, "Thumb1", 0)->Tag.isEmpty());
    }

    void dragStartKeepsTheAction()
    {
        startOn(2);
        QStringList icons;
        SetFileDragHandler([&](QWidget *, const QString &icon) { icons << icon; });
        frmSide &side = Forms::frmSide();
        State().DropAction.clear();
        side.File1_MouseMove(1, 1, 0, 0); // Shift at the first drag: no action yet
        QVERIFY(State().DropAction.isEmpty());
        side.File1_MouseMove(1, 2, 0, 0);
        QCOMPARE(State().DropAction, QStringLiteral("COPY"));
        side.File1_MouseMove(1, 4, 0, 0); // Alt keeps the copy
        QCOMPARE(State().DropAction, QStringLiteral("COPY"));
        side.File1_MouseMove(1, 0, 0, 0);
        QCOMPARE(State().DropAction, QStringLiteral("MOVE"));
        QCOMPARE(icons, (QStringList{"", "COPY", "COPY", "MOVE"}));
        // The button under the pointer is marked while the pictures are over it.
        side.cmdFolder_DragOver(1, 0);
        QCOMPARE(Element<ARButton>(side, "cmdFolder", 1)->displayState(), 2);
        side.cmdFolder_DragOver(1, 1);
        QCOMPARE(Element<ARButton>(side, "cmdFolder", 1)->displayState(), 0);
    }
};

QTEST_MAIN(FilingTest)
#include "tst_filing.moc"
