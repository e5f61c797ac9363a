// SPDX-License-Identifier: GPL-2.0-or-later
#include "panel/FileListRules.h"

#include <QtTest>

// Which way the user goes through a folder, and which pictures are decoded ahead of the keys.
class TestListWalk : public QObject
{
    Q_OBJECT

private slots:
    void direction_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("beforeDirection");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("direction");
        QTest::newRow("down") << 4 << 1 << 5 << 1;
        QTest::newRow("up after down") << 5 << 1 << 4 << -1;
        QTest::newRow("up") << 4 << -1 << 3 << -1;
        QTest::newRow("down after up") << 3 << -1 << 4 << 1;
        QTest::newRow("page down") << 2 << -1 << 14 << 1;
        QTest::newRow("home") << 14 << 1 << 0 << -1;
        QTest::newRow("shown again") << 7 << -1 << 7 << -1;
        QTest::newRow("nothing shown before") << -1 << -1 << 3 << 1;
    }
    void direction()
    {
        QFETCH(int, before);
        QFETCH(int, beforeDirection);
        QFETCH(int, index);
        QFETCH(int, direction);
        const ListWalk walk =
            WalkTo({QStringLiteral("/pics"), before, beforeDirection}, QStringLiteral("/pics"), index);
        QCOMPARE(walk.folder, QStringLiteral("/pics"));
        QCOMPARE(walk.index, index);
        QCOMPARE(walk.direction, direction);
    }

    void anotherFolderStartsDownwards()
    {
        const ListWalk walk = WalkTo({QStringLiteral("/a"), 9, -1}, QStringLiteral("/b"), 3);
        QCOMPARE(walk.folder, QStringLiteral("/b"));
        QCOMPARE(walk.direction, 1);
    }

    void ahead_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("ahead");
        QTest::newRow("down: two on, one back") << 5 << 1 << 20 << QList<int>{6, 7, 4};
        QTest::newRow("up: two on, one back") << 5 << -1 << 20 << QList<int>{4, 3, 6};
        QTest::newRow("first, down") << 0 << 1 << 20 << QList<int>{1, 2};
        QTest::newRow("one before the end") << 18 << 1 << 20 << QList<int>{19, 17, 16};
        QTest::newRow("the end: only back") << 19 << 1 << 20 << QList<int>{18, 17};
        QTest::newRow("the start going up: only on") << 0 << -1 << 20 << QList<int>{1, 2};
        QTest::newRow("two pictures") << 0 << 1 << 2 << QList<int>{1};
        QTest::newRow("one picture") << 0 << 1 << 1 << QList<int>{};
        QTest::newRow("nothing shown") << -1 << 1 << 20 << QList<int>{};
        QTest::newRow("past a list that shrank") << 25 << 1 << 20 << QList<int>{};
    }
    void ahead()
    {
        QFETCH(int, index);
        QFETCH(int, direction);
        QFETCH(int, count);
        QFETCH(QList<int>, ahead);
        const QList<int> got = IndexesAhead({QStringLiteral("/pics"), index, direction}, count);
        QCOMPARE(got, ahead);
        QVERIFY(got.size() <= PicturesAhead);
    }
};

QTEST_GUILESS_MAIN(TestListWalk)
#include "tst_listwalk.moc"
