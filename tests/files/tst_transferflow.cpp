// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/CommandQueue.h"
#include "files/TransferFlow.h"

#include <QObject>
#include <QTest>

#include <functional>
#include <memory>

// The course of a move or copy, and the queue that keeps what arrives from outside for its end.
class TransferFlowTest : public QObject
{
    Q_OBJECT

private slots:
    void progressOpensForLongListsAtOnceAndForOneSlowFile()
    {
        const TransferFlow flow;
        QVERIFY(!flow.opensProgress(1, 0));
        QVERIFY(!flow.opensProgress(3, 500));
        QVERIFY(flow.opensProgress(4, 0));
        QVERIFY(flow.opensProgress(1, 501));
        QCOMPARE(TransferFlow::progressDelayMs(4), 0);
        QCOMPARE(TransferFlow::progressDelayMs(1), 400);
    }

    void progressOpensOnce()
    {
        TransferFlow flow;
        QVERIFY(flow.opensProgress(10, 0));
        flow.progressOpened();
        QVERIFY(!flow.opensProgress(10, 10000));
        QVERIFY(flow.showsProgress());
    }

    // The question is never under the progress window, which comes back once it is answered.
    void aQuestionPutsTheProgressAside()
    {
        TransferFlow flow;
        QVERIFY(flow.question());
        QCOMPARE(flow.phase(), TransferFlow::Phase::Asking);
        QVERIFY(!flow.opensProgress(10, 10000)); // not opened while the question is up
        flow.answered();
        QVERIFY(flow.opensProgress(10, 10000));
        flow.progressOpened();
        QVERIFY(flow.showsProgress());
        QVERIFY(flow.question());
        QVERIFY(!flow.showsProgress());
        QVERIFY(flow.holdsInput());
        QVERIFY(!flow.question()); // one question at a time: a second is answered Cancel
        flow.answered();
        QVERIFY(flow.showsProgress());
    }

    // Input is held while the worker files; the report of the end comes with the hold gone.
    void theEndIsReportedWithInputFree()
    {
        TransferFlow flow;
        QVERIFY(flow.holdsInput());
        flow.progressOpened();
        flow.workerDone(1223);
        QCOMPARE(flow.phase(), TransferFlow::Phase::Reporting);
        QCOMPARE(flow.result(), 1223);
        QVERIFY(!flow.holdsInput());
        QVERIFY(!flow.showsProgress());
        QVERIFY(!flow.question()); // no question after the end
        flow.answered();
        QCOMPARE(flow.phase(), TransferFlow::Phase::Reporting);
        flow.reported();
        QCOMPARE(flow.phase(), TransferFlow::Phase::Finished);
        flow.workerDone(0); // a second end changes nothing
        QCOMPARE(flow.result(), 1223);
        QCOMPARE(flow.phase(), TransferFlow::Phase::Finished);
    }

    void idleRunsAtOnce()
    {
        CommandQueue queue;
        int ran = 0;
        queue.whenIdle(nullptr, [&] { ++ran; });
        QCOMPARE(ran, 1);
        QCOMPARE(queue.waiting(), 0);
    }

    // What arrives during a command runs after it, in order, and not while a second command
    // that one of them began is running.
    void busyQueuesInOrder()
    {
        CommandQueue queue;
        QStringList ran;
        queue.begin();
        queue.whenIdle(nullptr, [&] { ran << "open a.jpg"; });
        queue.whenIdle(nullptr, [&] {
            ran << "move";
            queue.begin(); // a command of its own, still running when this returns
        });
        queue.whenIdle(nullptr, [&] { ran << "open b.jpg"; });
        QVERIFY(ran.isEmpty());
        QCOMPARE(queue.waiting(), 3);
        queue.end();
        QCOMPARE(ran, (QStringList{"open a.jpg", "move"}));
        QVERIFY(queue.busy());
        queue.end();
        QCOMPARE(ran, (QStringList{"open a.jpg", "move", "open b.jpg"}));
        QVERIFY(!queue.busy());
    }

    void nestedCommandsEndWithTheOuter()
    {
        CommandQueue queue;
        int ran = 0;
        queue.begin();
        queue.begin();
        queue.whenIdle(nullptr, [&] { ++ran; });
        queue.end();
        QCOMPARE(ran, 0);
        queue.end();
        QCOMPARE(ran, 1);
        queue.end(); // an extra end is harmless
        QVERIFY(!queue.busy());
    }

    void aKeyedActionWaitsOnce()
    {
        CommandQueue queue;
        int ticks = 0;
        int other = 0;
        const int key = 0;
        queue.begin();
        queue.whenIdle(
            nullptr, [&] { ++ticks; }, &key);
        queue.whenIdle(nullptr, [&] { ++other; });
        queue.whenIdle(
            nullptr, [&] { ticks += 10; }, &key);
        QCOMPARE(queue.waiting(), 2);
        queue.end();
        QCOMPARE(ticks, 10); // the last one, in the first one's place
        QCOMPARE(other, 1);
    }

    void anActionOfAGoneWindowIsDropped()
    {
        CommandQueue queue;
        auto window = std::make_unique<QObject>();
        int ran = 0;
        queue.begin();
        queue.whenIdle(window.get(), [&] { ++ran; });
        window.reset();
        queue.end();
        QCOMPARE(ran, 0);
        QCOMPARE(queue.waiting(), 0);
    }

    // In the program what waited runs from the event loop, never inside the code that ended the
    // command; a command begun before then keeps it waiting.
    void aRunnerTakesWhatWaitedOutOfTheEndingCode()
    {
        CommandQueue queue;
        QList<std::function<void()>> later;
        queue.setRunner([&](std::function<void()> run) { later << std::move(run); });
        int ran = 0;
        queue.begin();
        queue.whenIdle(nullptr, [&] { ++ran; });
        queue.end();
        QCOMPARE(ran, 0);
        QCOMPARE(later.size(), 1);
        queue.begin(); // a box opened before the event loop came round
        later.takeFirst()();
        QCOMPARE(ran, 0);
        queue.end();
        QCOMPARE(later.size(), 1);
        later.takeFirst()();
        QCOMPARE(ran, 1);
        QCOMPARE(queue.waiting(), 0);
    }

    void clearForgetsEverything()
    {
        CommandQueue queue;
        int ran = 0;
        queue.begin();
        queue.whenIdle(nullptr, [&] { ++ran; });
        queue.clear();
        QVERIFY(!queue.busy());
        QCOMPARE(queue.waiting(), 0);
        QCOMPARE(ran, 0);
    }
};

QTEST_GUILESS_MAIN(TransferFlowTest)
#include "tst_transferflow.moc"
