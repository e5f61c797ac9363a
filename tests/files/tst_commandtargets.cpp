// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/CommandTargets.h"

#include <QTemporaryDir>
#include <QtTest>

#include <optional>

// Which files a command takes, and which entry follows them, from snapshots of the list and page.
class CommandTargetsTest : public QObject
{
    Q_OBJECT

private:
    static ListSnapshot list(int count, QList<int> selected, int focused)
    {
        ListSnapshot l;
        l.folder = QStringLiteral("/pics");
        for (int i = 0; i < count; ++i) {
            l.names << QStringLiteral("%1.jpg").arg(i);
            l.selected << selected.contains(i);
        }
        l.focused = focused;
        return l;
    }

private slots:
    void whichFiles()
    {
        // One selected entry (or none): the focused one.
        CommandTargets t = TargetsOf(list(5, {2}, 2), PageSnapshot());
        QCOMPARE(t.from, CommandTargets::From::Focused);
        QCOMPARE(t.paths, QStringList{"/pics/2.jpg"});
        // Two or more: the selection, in list order.
        t = TargetsOf(list(8, {5, 1, 2}, 5), PageSnapshot());
        QCOMPARE(t.from, CommandTargets::From::Selection);
        QCOMPARE(t.indexes, (QList<int>{1, 2, 5}));
        QCOMPARE(t.paths.last(), QStringLiteral("/pics/5.jpg"));
        // No focused entry: nothing, never the folder itself.
        QVERIFY(TargetsOf(list(3, {}, -1), PageSnapshot()).isEmpty());
        QVERIFY(TargetsOf(list(0, {}, 0), PageSnapshot()).isEmpty());
        // A page shown: its selected thumbnails, whatever the list's selection; placeholders and
        // unselected thumbnails are not taken.
        PageSnapshot page;
        page.loaded = true;
        page.names = QStringList{"a.jpg", "File moved", "c.jpg", "d.jpg"};
        page.tags = QStringList{"selected00", "invalid", "", "selected01"};
        t = TargetsOf(list(8, {1, 2, 3}, 1), page);
        QCOMPARE(t.from, CommandTargets::From::Page);
        QCOMPARE(t.paths, (QStringList{"/pics/a.jpg", "/pics/d.jpg"}));
        QCOMPARE(t.indexes, (QList<int>{0, 3}));
        // A name at the root is joined without a double slash.
        ListSnapshot root = list(1, {}, 0);
        root.folder = QStringLiteral("/");
        QCOMPARE(TargetsOf(root, PageSnapshot()).paths, QStringList{"/0.jpg"});
    }

    void follower_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<int>("focused");
        QTest::addColumn<QList<bool>>("gone");
        QTest::addColumn<int>("countAfter");
        QTest::addColumn<int>("expected"); // -1: none
        // Entries 2, 3 and 5 of 8 all moved: the entry after 5 is now at 3.
        QTest::newRow("several, all gone") << 8 << QList<int>{2, 3, 5} << 5 << QList<bool>{true, true, true} << 5 << 3;
        // The middle one stayed: the entry after 5 is at 4.
        QTest::newRow("several, one stayed")
            << 8 << QList<int>{2, 3, 5} << 5 << QList<bool>{true, false, true} << 6 << 4;
        // The last one stayed: it is selected itself, where it now stands.
        QTest::newRow("several, last stayed")
            << 8 << QList<int>{2, 3, 5} << 5 << QList<bool>{true, true, false} << 6 << 3;
        // The selection reached the end of the list: nothing follows.
        QTest::newRow("several at the end") << 4 << QList<int>{2, 3} << 3 << QList<bool>{true, true} << 2 << -1;
        QTest::newRow("one in the middle") << 5 << QList<int>{2} << 2 << QList<bool>{true} << 4 << 2;
        QTest::newRow("one at the end") << 5 << QList<int>{4} << 4 << QList<bool>{true} << 4 << 3;
        QTest::newRow("one that stayed") << 5 << QList<int>{4} << 4 << QList<bool>{false} << 5 << 4;
        QTest::newRow("the only one") << 1 << QList<int>{0} << 0 << QList<bool>{true} << 0 << -1;
    }

    void follower()
    {
        QFETCH(int, count);
        QFETCH(QList<int>, selected);
        QFETCH(int, focused);
        QFETCH(QList<bool>, gone);
        QFETCH(int, countAfter);
        QFETCH(int, expected);
        const CommandTargets t = TargetsOf(list(count, selected, focused), PageSnapshot());
        const std::optional<int> f = FollowerAfterRemoval(t, gone, countAfter);
        QCOMPARE(f.value_or(-1), expected);
    }

    // "Gone" is read from the file system: a dangling link left behind is still there.
    void goneIsWhatTheFileSystemSays()
    {
        QTemporaryDir dir;
        ListSnapshot l = list(3, {0, 1, 2}, 0);
        l.folder = dir.path();
        QFile(dir.filePath("0.jpg")).open(QIODevice::WriteOnly);
        QVERIFY(QFile::link(dir.filePath("nowhere"), dir.filePath("2.jpg")));
        QCOMPARE(GoneAfterCommand(TargetsOf(l, PageSnapshot())), (QList<bool>{false, true, false}));
    }
};

QTEST_GUILESS_MAIN(CommandTargetsTest)
#include "tst_commandtargets.moc"
