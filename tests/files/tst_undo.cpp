// SPDX-License-Identifier: GPL-2.0-or-later
#include "Controls.h"
#include "ProgramUnderTest.h"
#include "Transfers.h"
#include "app/Forms.h"
#include "app/Startup.h"
#include "common/FileNames.h"
#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "files/FileTransfer.h"
#include "files/Renaming.h"
#include "files/UndoJournal.h"
#include "files/frmInvisible.h"
#include "panel/FileListBox.h"
#include "panel/frmSide.h"
#include "viewer/frmPictureViewer.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

#include <QDir>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

namespace {

class Answer : public TransferObserver
{
public:
    ReplaceAnswer askReplace(const QString &, const QString &) override { return ReplaceAnswer::No; }
    bool progress(int, int, const QString &, qint64, qint64) override { return true; }
};

bool Write(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QByteArray Read(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Every file of the folders, by path, with its content.
QMap<QString, QByteArray> Contents(const QStringList &folders)
{
    QMap<QString, QByteArray> all;
    for (const QString &folder : folders) {
        for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            all.insert(folder + '/' + name, Read(folder + '/' + name));
        }
    }
    return all;
}

UndoStep Transfer(UndoStep::Kind kind, const QStringList &sources, const QString &destination)
{
    const TransferSnapshot before = BeforeTransfer(sources, destination);
    Answer no;
    (void)TransferFiles(kind == UndoStep::Kind::Move ? TransferKind::Move : TransferKind::Copy, sources, destination,
                        no);
    return AfterTransfer(kind, before);
}

UndoStep Trash(const QStringList &paths)
{
    UndoStep step;
    step.kind = UndoStep::Kind::Delete;
    for (const QString &path : paths) {
        QString inTrash;
        if (MoveToTrash(path, &inTrash)) {
            step.files.push_back(UndoFile{path, inTrash, *IdentityOf(inTrash), {}, {}});
        }
    }
    return step;
}

} // namespace

// Taking file commands back: each kind, the refusals, several steps, and random sequences held
// against a model of the folders.
class UndoTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<IsolatedEnvironment> env;
    QString a;
    QString b;

    void fresh(int files, const QString &under = QString())
    {
        env = std::make_unique<IsolatedEnvironment>();
        const QString root = under.isEmpty() ? env->dir() : under;
        a = root + QStringLiteral("/a");
        b = root + QStringLiteral("/b");
        QDir(a).removeRecursively();
        QDir(b).removeRecursively();
        QDir().mkpath(a);
        QDir().mkpath(b);
        for (int i = 0; i < files; ++i) {
            QVERIFY(Write(a + QStringLiteral("/f%1.jpg").arg(i), "content " + QByteArray::number(i)));
        }
    }
    [[nodiscard]] QString trashFiles() const { return env->path(QStringLiteral("data/Trash/files")); }

    // The program on "pics" (its folder) of `count` pictures, with folder button 1 on "Holiday"
    // (the folder "filed").
    static void startFiling(ProgramUnderTest &program, int count)
    {
        const QString pics = program.env.path("pics");
        const QString filed = program.env.path("filed");
        QDir().mkpath(pics);
        QDir().mkpath(filed);
        for (int i = 0; i < count; ++i) {
            QVERIFY(WriteJpeg(pics + QStringLiteral("/%1.jpg").arg(i), 40, 30));
        }
        SaveSetting(AppName, "Directories", "pics", pics);
        SaveSetting(AppName, "Directories", "Holiday", filed);
        SaveSetting(AppName, "Settings", "Basename", "pics");
        SaveSetting(AppName, "Settings", "Caption1", "Holiday");
        QCOMPARE(EntryProcedure(), Road::Normal);
        QTRY_VERIFY(Forms::IsLoaded(Forms::Form::Side) && Forms::frmPictureViewer().isVisible());
        QTRY_COMPARE(Control<FileListBox>(Forms::frmSide(), "File1")->ListCount(), count);
    }

private slots:
    void eachKindGoesBack()
    {
        fresh(4);
        const auto start = Contents({a, b});
        UndoJournal journal;
        journal.record(Transfer(UndoStep::Kind::Move, {a + "/f0.jpg", a + "/f1.jpg"}, b));
        journal.record(Transfer(UndoStep::Kind::Copy, {a + "/f2.jpg"}, b));
        QVERIFY(RenameNoReplace(a, "f3.jpg", "g3.jpg") == 0);
        journal.record(RenameStep(UndoStep::Kind::Rename, a, {{"f3.jpg", "g3.jpg"}}));
        journal.record(Trash({a + "/f2.jpg"}));
        QCOMPARE(journal.size(), std::size_t(4));
        QCOMPARE(journal.newest().label(), QStringLiteral("Delete"));
        QVERIFY(!QFileInfo::exists(a + "/f2.jpg"));

        // Newest first: each undo brings back the state before its step.
        QCOMPARE(journal.undo().restored, QStringList{a + "/f2.jpg"});
        QVERIFY(QDir(trashFiles()).isEmpty());
        QVERIFY(QDir(env->path("data/Trash/info")).isEmpty());
        QCOMPARE(journal.newest().label(), QStringLiteral("Rename"));
        QCOMPARE(journal.undo().restored, QStringList{a + "/f3.jpg"});
        // The copy goes to the trash, never away for good; the original stays.
        QCOMPARE(journal.undo().restored, QStringList{a + "/f2.jpg"});
        QCOMPARE(QDir(trashFiles()).entryList(QDir::Files), QStringList{"f2.jpg"});
        QCOMPARE(journal.undo().restored, (QStringList{a + "/f0.jpg", a + "/f1.jpg"}));
        QVERIFY(journal.isEmpty());
        QCOMPARE(Contents({a, b}), start);
    }

    // A name that is not UTF-8 is its bytes: renamed and moved, it comes back as exactly them.
    void namesThatAreNotTextGoBack()
    {
        fresh(0);
        const QByteArray latin1("caf\xe9.jpg");
        const QByteArray lookalike("caf\xef\xbf\xbd.jpg"); // U+FFFD, as a lossy decoding shows the first
        // Made and read by their bytes: Qt's own file names would re-encode them.
        auto put = [](const QByteArray &path, const QByteArray &data) {
            const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
            const bool ok = fd >= 0 && ::write(fd, data.constData(), size_t(data.size())) == data.size();
            return ::close(fd) == 0 && ok;
        };
        auto get = [](const QByteArray &path) {
            QFile f;
            const int fd = ::open(path.constData(), O_RDONLY);
            return fd >= 0 && f.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle) ? f.readAll()
                                                                                            : QByteArray("<missing>");
        };
        QVERIFY(put(EncodeName(a) + '/' + latin1, "latin-1"));
        QVERIFY(put(EncodeName(a) + '/' + lookalike, "look-alike"));
        const QString name = DecodeName(latin1);
        UndoJournal journal;
        QCOMPARE(RenameNoReplace(a, name, QStringLiteral("renamed.jpg")), 0);
        journal.record(RenameStep(UndoStep::Kind::Rename, a, {{name, QStringLiteral("renamed.jpg")}}));
        journal.record(Transfer(UndoStep::Kind::Move, {a + QStringLiteral("/renamed.jpg")}, b));
        QVERIFY(::access((EncodeName(b) + "/renamed.jpg").constData(), F_OK) == 0);
        QCOMPARE(journal.undo().restored, QStringList{a + QStringLiteral("/renamed.jpg")});
        QCOMPARE(journal.undo().restored, QStringList{a + '/' + name});
        QCOMPARE(get(EncodeName(a) + '/' + latin1), QByteArray("latin-1"));
        QCOMPARE(get(EncodeName(a) + '/' + lookalike), QByteArray("look-alike"));
        // Out of the trash too.
        journal.record(Trash({a + '/' + name}));
        QVERIFY(::access((EncodeName(a) + '/' + latin1).constData(), F_OK) != 0);
        QCOMPARE(journal.undo().restored, QStringList{a + '/' + name});
        QCOMPARE(get(EncodeName(a) + '/' + latin1), QByteArray("latin-1"));
        QCOMPARE(get(EncodeName(a) + '/' + lookalike), QByteArray("look-alike"));
        // And the trash keeps no record of a file it no longer holds.
        QVERIFY(QDir(trashFiles()).isEmpty());
        QVERIFY(QDir(env->path("data/Trash/info")).isEmpty());
    }

    void moveAcrossFileSystemsGoesBack()
    {
        if (!QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
            QSKIP("no /dev/shm here");
        }
        fresh(3);
        QTemporaryDir shm(QStringLiteral("/dev/shm/vantrel-undo-XXXXXX"));
        const auto start = Contents({a});
        UndoJournal journal;
        journal.record(Transfer(UndoStep::Kind::Move, {a + "/f0.jpg", a + "/f2.jpg"}, shm.path()));
        QCOMPARE(QDir(shm.path()).entryList(QDir::Files).size(), 2);
        const UndoResult back = journal.undo();
        QCOMPARE(back.restored.size(), 2);
        QVERIFY(back.refused.isEmpty());
        QCOMPARE(Contents({a}), start);
        QVERIFY(QDir(shm.path()).entryList(QDir::Files).isEmpty());
    }

    void batchWithSwapAndChainGoesBack()
    {
        fresh(0);
        for (const char *name : {"x.jpg", "y.jpg", "c1.jpg", "c2.jpg"}) {
            QVERIFY(Write(a + '/' + name, name));
        }
        const auto start = Contents({a});
        // x and y trade names; c1 -> c2 -> c3 is a chain.
        const std::vector<BatchRename> done = RenameBatch(a, {{"x.jpg", "y.jpg", {}, {}},
                                                              {"y.jpg", "x.jpg", {}, {}},
                                                              {"c2.jpg", "c3.jpg", {}, {}},
                                                              {"c1.jpg", "c2.jpg", {}, {}}});
        QList<QPair<QString, QString>> renamed;
        for (const BatchRename &r : done) {
            QCOMPARE(r.outcome, BatchRename::Outcome::Renamed);
            renamed.append({r.oldName, r.newName});
        }
        QCOMPARE(Read(a + "/x.jpg"), QByteArray("y.jpg"));
        UndoJournal journal;
        journal.record(RenameStep(UndoStep::Kind::BatchRename, a, renamed));
        QCOMPARE(journal.newest().label(), QStringLiteral("Multiple File Rename"));
        QCOMPARE(journal.undo().restored.size(), 4);
        QCOMPARE(Contents({a}), start);
    }

    // A file that changed, went, or whose old name another file took is left as it is, said, and
    // kept in the journal; the rest of the step goes back.
    void refusalsLeaveEveryFileAsItIs()
    {
        fresh(4);
        UndoJournal journal;
        journal.record(Transfer(UndoStep::Kind::Move, {a + "/f0.jpg", a + "/f1.jpg", a + "/f2.jpg", a + "/f3.jpg"}, b));
        QVERIFY(Write(b + "/f0.jpg", "changed since")); // changed
        QVERIFY(QFile::remove(b + "/f1.jpg"));          // gone
        QVERIFY(Write(a + "/f2.jpg", "a new file"));    // its old name taken
        const UndoResult result = journal.undo();
        QCOMPARE(result.restored, QStringList{a + "/f3.jpg"});
        QCOMPARE(result.refused.size(), 3);
        QStringList reasons;
        for (const UndoRefusal &r : result.refused) {
            reasons << QFileInfo(r.path).fileName() + ": " + r.reason;
        }
        QCOMPARE(reasons, (QStringList{"f0.jpg: it was changed since", "f1.jpg: it is no longer there",
                                       "f2.jpg: another file now has its old name"}));
        QCOMPARE(Read(b + "/f0.jpg"), QByteArray("changed since"));
        QCOMPARE(Read(a + "/f2.jpg"), QByteArray("a new file"));
        QCOMPARE(Read(b + "/f2.jpg"), QByteArray("content 2"));
        // What stayed is still there to take back once its old name is free again.
        QCOMPARE(journal.size(), std::size_t(1));
        QVERIFY(QFile::rename(a + "/f2.jpg", env->path("elsewhere.jpg")));
        const UndoResult again = journal.undo();
        QVERIFY(again.restored.contains(a + "/f2.jpg"));
        QCOMPARE(Read(a + "/f2.jpg"), QByteArray("content 2"));
    }

    // Through the program: the newest step's file was deleted by hand meanwhile. Ctrl+Z says so,
    // and the next Ctrl+Z reaches the step before it instead of saying it again.
    void aVanishedFileDoesNotHoldUpTheOlderSteps()
    {
        ProgramUnderTest program;
        const QString pics = program.env.path("pics");
        const QString filed = program.env.path("filed");
        startFiling(program, 3);
        auto *list = Control<FileListBox>(Forms::frmSide(), "File1");
        list->setListIndex(0);
        QTest::keyClick(list, Qt::Key_1, Qt::AltModifier); // 0.jpg to Holiday
        QVERIFY(CommandsEnded());
        list->setListIndex(0);
        QTest::keyClick(list, Qt::Key_1, Qt::AltModifier); // 1.jpg to Holiday
        QVERIFY(CommandsEnded());
        QCOMPARE(QDir(filed).entryList(QDir::Files), (QStringList{"0.jpg", "1.jpg"}));
        QVERIFY(QFile::remove(filed + "/1.jpg"));
        const auto asked = program.dialogs.asked.size();
        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(program.dialogs.asked.size(), asked + 1);
        QVERIFY2(program.dialogs.asked.last().prompt.contains("no longer there"),
                 qPrintable(program.dialogs.asked.last().prompt));
        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier); // the step before
        QCOMPARE(program.dialogs.asked.size(), asked + 1);
        QVERIFY(QFileInfo::exists(pics + "/0.jpg"));
        QVERIFY(QDir(filed).entryList(QDir::Files).isEmpty());
        QVERIFY(Forms::frmInvisible().undoJournal().isEmpty());
    }

    // Random moves, copies, renames, deletes and undos on a folder of 20 files: after every step
    // the folders hold what the model says, no content ever changes, and each undo brings back
    // exactly the state before its step.
    void randomSequencesAgainstAModel()
    {
        // In memory where there is one: the flushes of a thousand rounds cost nothing there.
        QTemporaryDir shm(QStringLiteral("/dev/shm/vantrel-undo-XXXXXX"));
        const QString under = shm.isValid() ? shm.path() : QString();
        QRandomGenerator random(20261207);
        for (int round = 0; round < 1000; ++round) {
            fresh(20, under);
            if (!under.isEmpty()) {
                qputenv("XDG_DATA_HOME", (under + "/data").toLocal8Bit());
            }
            UndoJournal journal;
            QList<QMap<QString, QByteArray>> states{Contents({a, b})};
            const int steps = 1 + static_cast<int>(random.bounded(6));
            for (int k = 0; k < steps; ++k) {
                auto pick = [&](const QString &folder) {
                    QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
                    QStringList chosen;
                    for (const QString &name : names) {
                        if (random.bounded(4) == 0) {
                            chosen << folder + '/' + name;
                        }
                    }
                    return chosen;
                };
                const int what = static_cast<int>(random.bounded(5));
                const bool fromA = random.bounded(2) == 0;
                const QString from = fromA ? a : b;
                const QString to = fromA ? b : a;
                if (what == 4) {
                    if (journal.isEmpty()) {
                        continue;
                    }
                    const UndoResult r = journal.undo();
                    QVERIFY(r.refused.isEmpty());
                    states.removeLast();
                    QCOMPARE(Contents({a, b}), states.last());
                    continue;
                }
                UndoStep step;
                if (what == 0) {
                    step = Transfer(UndoStep::Kind::Move, pick(from), to);
                } else if (what == 1) {
                    step = Transfer(UndoStep::Kind::Copy, pick(from), to);
                } else if (what == 2) {
                    const QStringList names = QDir(from).entryList(QDir::Files);
                    if (names.isEmpty()) {
                        continue;
                    }
                    const QString old = names.at(static_cast<int>(random.bounded(names.size())));
                    const QString fresh = QStringLiteral("r%1-%2.jpg").arg(round).arg(k);
                    QCOMPARE(RenameNoReplace(from, old, fresh), 0);
                    step = RenameStep(UndoStep::Kind::Rename, from, {{old, fresh}});
                } else if (what == 3) {
                    step = Trash(pick(from));
                }
                const auto now = Contents({a, b});
                // Nothing lost: every content there was is still somewhere (or in the trash).
                for (const QByteArray &content : states.last()) {
                    bool found = false;
                    for (const QByteArray &c : now) {
                        found = found || c == content;
                    }
                    QVERIFY(found || what == 3);
                }
                if (step.files.empty()) {
                    QCOMPARE(now, states.last());
                    continue;
                }
                journal.record(std::move(step));
                states << now;
            }
            while (!journal.isEmpty()) {
                const UndoResult r = journal.undo();
                QVERIFY(r.refused.isEmpty());
                states.removeLast();
                QCOMPARE(Contents({a, b}), states.last());
            }
        }
    }

    // Through the program: Alt+1 files the focused picture into folder button 1, the panel says
    // so, Ctrl+Z takes it back; Alt+Ctrl+2 copies; the file menu offers the undo last.
    void keysFileAndTakeBack()
    {
        ProgramUnderTest program;
        const QString pics = program.env.path("pics");
        const QString filed = program.env.path("filed");
        startFiling(program, 4);
        frmSide &side = Forms::frmSide();
        auto *list = Control<FileListBox>(side, "File1");
        list->setListIndex(1);

        QTest::keyClick(list, Qt::Key_1, Qt::AltModifier);
        QVERIFY(CommandsEnded());
        QVERIFY(QFileInfo::exists(filed + "/1.jpg"));
        QVERIFY(!QFileInfo::exists(pics + "/1.jpg"));
        auto *notice = Control<QLabel>(side, "FilingNotice");
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QStringLiteral("1 file moved to Holiday"));
        QCOMPARE(list->ListCount(), 3);
        QTRY_VERIFY(!notice->isVisible());

        QTest::keyClick(list, Qt::Key_1, Qt::AltModifier | Qt::ControlModifier); // a copy of the one shown
        QVERIFY(CommandsEnded());
        QCOMPARE(notice->text(), QStringLiteral("1 file copied to Holiday"));
        QCOMPARE(QDir(filed).entryList(QDir::Files).size(), 2);

        frmInvisible &menu = Forms::frmInvisible();
        menu.popupMenu(QPoint(0, 0));
        QVERIFY(Control<QAction>(menu, "mnuUndo")->isVisible());
        QCOMPARE(Control<QAction>(menu, "mnuUndo")->text(), QStringLiteral("Undo Copy"));
        // Last, below a line: the file menu's own items keep their places, so Down, Down, Return
        // is Rename as always.
        const QList<QAction *> items = Control<QMenu>(menu, "mnuFile")->actions();
        QCOMPARE(items.last(), Control<QAction>(menu, "mnuUndo"));
        QVERIFY(items.at(items.size() - 2)->isSeparator() && items.at(items.size() - 2)->isVisible());
        QCOMPARE(items.first(), Control<QAction>(menu, "mnuEdit"));
        auto *popup = Control<QMenu>(menu, "mnuFile");
        QTRY_VERIFY(popup->isVisible());
        program.dialogs.inputAnswers = {std::nullopt};
        const auto asked = program.dialogs.asked.size();
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
        QTRY_COMPARE(program.dialogs.asked.size(), asked + 1);
        QCOMPARE(program.dialogs.asked.last().kind, QStringLiteral("input")); // the rename's box
        QVERIFY(!popup->isVisible());

        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier); // the copy goes to the trash
        QCOMPARE(QDir(filed).entryList(QDir::Files), QStringList{"1.jpg"});
        QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier); // the move comes back
        QVERIFY(QFileInfo::exists(pics + "/1.jpg"));
        QVERIFY(QDir(filed).entryList(QDir::Files).isEmpty());
        QCOMPARE(list->ListCount(), 4);
        QCOMPARE(State().CurrentFile, pics + "/1.jpg");
        QVERIFY(menu.undoJournal().isEmpty());

        // A button without a folder refuses as a drop does.
        QTest::keyClick(list, Qt::Key_3, Qt::AltModifier);
        QVERIFY(CommandsEnded());
        QCOMPARE(program.dialogs.asked.last().prompt, QStringLiteral("A folder has not been specified."));
        QCOMPARE(list->ListCount(), 4);
    }
};

QTEST_MAIN(UndoTest)
#include "tst_undo.moc"
