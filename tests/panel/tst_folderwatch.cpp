// SPDX-License-Identifier: GPL-2.0-or-later
#include "Isolation.h"
#include "common/FileNames.h"
#include "panel/FileListRules.h"
#include "panel/FolderWatch.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(FolderChanges)

namespace {

bool Write(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// Everything the watcher reported, gathered.
struct Gathered
{
    QSet<QString> names;
    bool everything = false;
    bool gone = false;
    int reports = 0;
};

} // namespace

class TestFolderWatch : public QObject
{
    Q_OBJECT

private slots:
    // When a batch is due: after a quiet moment, at the latest a while after its first change.
    void batchTiming_data()
    {
        QTest::addColumn<QList<qint64>>("changesAt");
        QTest::addColumn<qint64>("due");
        const qint64 q = ChangeBatch::kQuietMs;
        const qint64 l = ChangeBatch::kLatestMs;
        QTest::addRow("one change") << QList<qint64>{1000} << 1000 + q;
        QTest::addRow("two close together") << QList<qint64>{1000, 1100} << 1100 + q;
        QTest::addRow("a steady stream still reports")
            << QList<qint64>{1000, 1100, 1200, 1300, 1400, 1500, 1600} << 1000 + l;
        QTest::addRow("a pause, then more") << QList<qint64>{0, 1000} << std::min<qint64>(1000 + q, 0 + l);
    }
    void batchTiming()
    {
        QFETCH(QList<qint64>, changesAt);
        QFETCH(qint64, due);
        ChangeBatch batch;
        QVERIFY(!batch.dueAtMs());
        for (qint64 at : changesAt) {
            batch.add(QStringLiteral("a%1").arg(at), at);
        }
        QCOMPARE(batch.dueAtMs(), std::optional<qint64>(due));
        const FolderChanges taken = batch.take();
        QCOMPARE(taken.names.size(), changesAt.size());
        QVERIFY(batch.isEmpty());
        QVERIFY(!batch.dueAtMs());
    }

    // The list read again: what stays selected and which entry is focused.
    void selectionAfterChange_data()
    {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QString>("focused");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<int>("focus");
        QTest::addColumn<bool>("kept");
        QTest::addColumn<QList<int>>("stillSelected");
        const QStringList abcd{"a", "b", "c", "d"};
        QTest::addRow("a file added in front") << abcd << QStringList{"b", "c"} << "c"
                                               << QStringList{"0", "a", "b", "c", "d"} << 3 << true << QList<int>{2, 3};
        QTest::addRow("the focused file went: the next")
            << abcd << QStringList{"b"} << "b" << QStringList{"a", "c", "d"} << 1 << false << QList<int>{};
        QTest::addRow("the next went too")
            << abcd << QStringList{"b"} << "b" << QStringList{"a", "d"} << 1 << false << QList<int>{};
        QTest::addRow("the last went: the one before")
            << abcd << QStringList{"d"} << "d" << QStringList{"a", "b"} << 1 << false << QList<int>{};
        QTest::addRow("everything went") << abcd << QStringList{"a"} << "a" << QStringList{} << -1 << false
                                         << QList<int>{};
        QTest::addRow("an empty list fills")
            << QStringList{} << QStringList{} << "" << QStringList{"x", "y"} << 0 << false << QList<int>{};
        QTest::addRow("nothing focused stays so") << abcd << QStringList{} << "" << abcd << -1 << false << QList<int>{};
        QTest::addRow("renamed away: the next")
            << abcd << QStringList{"a", "c"} << "c" << QStringList{"a", "b", "d", "z"} << 2 << false << QList<int>{0};
    }
    void selectionAfterChange()
    {
        QFETCH(QStringList, before);
        QFETCH(QStringList, selected);
        QFETCH(QString, focused);
        QFETCH(QStringList, after);
        QFETCH(int, focus);
        QFETCH(bool, kept);
        QFETCH(QList<int>, stillSelected);
        const SelectionAfterChange s = SelectionAfterFolderChange(before, selected, focused, after);
        QCOMPARE(s.focused, focus);
        QCOMPARE(s.focusKept, kept);
        QCOMPARE(s.selected, stillSelected);
    }

    // Only a change to what is listed makes the page again: not the program's own move, which the
    // list shows already, nor a file the list does not show.
    void whatMakesThePageAgain()
    {
        const QStringList ab{"a.jpg", "b.jpg"};
        QVERIFY(!ListedFilesChanged(ab, ab, {"moved.jpg"}, false));
        QVERIFY(!ListedFilesChanged(ab, ab, {"notes.txt"}, false));
        QVERIFY(ListedFilesChanged(ab, ab, {"notes.txt", "b.jpg"}, false)); // b rewritten
        QVERIFY(ListedFilesChanged(ab, {"a.jpg"}, {"b.jpg"}, false));
        QVERIFY(ListedFilesChanged(ab, {"a.jpg", "c.jpg", "b.jpg"}, {}, false));
        QVERIFY(ListedFilesChanged(ab, ab, {}, true));
    }

    // A burst larger than a list can be patched by name is one "read it all again".
    void burstBecomesEverything()
    {
        ChangeBatch batch;
        for (qsizetype k = 0; k <= ChangeBatch::kMostNames; ++k) {
            batch.add(QString::number(k), 5);
        }
        const FolderChanges c = batch.take();
        QVERIFY(c.everything);
        QVERIFY(c.names.isEmpty());
        batch.add("x", 10);
        batch.addFolderGone(11);
        const FolderChanges gone = batch.take();
        QVERIFY(gone.folderGone);
        QCOMPARE(gone.names, QSet<QString>{"x"});
    }

    // Another process adds, removes, renames and rewrites files: each name is reported, and a
    // burst comes in few reports.
    void anotherProcessChangesTheFolder()
    {
        IsolatedEnvironment env;
        const QString folder = env.path("photos");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(Write(folder + "/old.jpg", "old"));
        QVERIFY(Write(folder + "/gone.jpg", "gone"));
        QVERIFY(Write(folder + "/same.jpg", "same"));
        FolderWatcher watcher;
        QVERIFY(watcher.watch(folder));
        Gathered got;
        connect(&watcher, &FolderWatcher::changed, this, [&got](const FolderChanges &c) {
            got.names.unite(c.names);
            got.everything |= c.everything;
            got.gone |= c.folderGone;
            ++got.reports;
        });
        QProcess other;
        other.setWorkingDirectory(folder);
        other.start(
            "sh", {"-c", "printf new > new.jpg; rm gone.jpg; mv old.jpg renamed.jpg; printf changed > same.jpg;"
                         "printf '\\351' > \"$(printf 'caf\\351.jpg')\"; for i in $(seq 1 300); do : > b$i.jpg; done"});
        QVERIFY(other.waitForFinished(30000));
        QCOMPARE(other.exitCode(), 0);
        const QSet<QString> expected{"new.jpg",     "gone.jpg", "old.jpg",
                                     "renamed.jpg", "same.jpg", DecodeName(QByteArray("caf\xe9.jpg")),
                                     "b1.jpg",      "b300.jpg"};
        QTRY_VERIFY_WITH_TIMEOUT(got.names.contains(expected), 5000);
        QVERIFY(!got.everything);
        QVERIFY(!got.gone);
        // 305 changes in well under a second: a handful of reports, not one per file.
        QVERIFY2(got.reports < 20, qPrintable(QString::number(got.reports)));
    }

    void folderRemoved()
    {
        IsolatedEnvironment env;
        const QString folder = env.path("goes");
        QVERIFY(QDir().mkpath(folder));
        FolderWatcher watcher;
        QVERIFY(watcher.watch(folder));
        QSignalSpy spy(&watcher, &FolderWatcher::changed);
        QVERIFY(QDir(folder).removeRecursively());
        QTRY_VERIFY_WITH_TIMEOUT(!spy.isEmpty(), 5000);
        QVERIFY(spy.last().at(0).value<FolderChanges>().folderGone);
        QVERIFY(!watcher.isWatching());
    }

    // What cannot be watched is not watched, and nothing is reported.
    void cannotBeWatched_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addRow("missing") << "missing";
        QTest::addRow("a file") << "file";
        QTest::addRow("empty path") << "";
    }
    void cannotBeWatched()
    {
        QFETCH(QString, what);
        IsolatedEnvironment env;
        QVERIFY(Write(env.path("file"), "x"));
        FolderWatcher watcher;
        QSignalSpy spy(&watcher, &FolderWatcher::changed);
        QVERIFY(!watcher.watch(what.isEmpty() ? QString() : env.path(what)));
        QVERIFY(!watcher.isWatching());
        // A watch given up stops the one before it too.
        QVERIFY(watcher.watch(env.dir()));
        QVERIFY(!watcher.watch(env.path("missing")));
        // A second watcher sees its own change; by then the first would have reported too.
        QVERIFY(QDir().mkpath(env.path("other")));
        FolderWatcher other;
        QVERIFY(other.watch(env.path("other")));
        QSignalSpy otherSpy(&other, &FolderWatcher::changed);
        QVERIFY(Write(env.path("later"), "x"));
        QVERIFY(Write(env.path("other/later"), "x"));
        QTRY_VERIFY_WITH_TIMEOUT(!otherSpy.isEmpty(), 5000);
        QVERIFY(spy.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFolderWatch)
#include "tst_folderwatch.moc"
