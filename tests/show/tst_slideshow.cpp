// SPDX-License-Identifier: GPL-2.0-or-later
// The slide show's course and the viewer's keys, without any window.
#include "common/CommandQueue.h"
#include "common/KeyCodes.h"
#include "show/SlideShow.h"
#include "viewer/ViewerRules.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <deque>

namespace {

// Random numbers handed out in the order given, then 0.
std::function<float()> Draws(std::deque<float> values)
{
    return [values = std::move(values)]() mutable {
        if (values.empty()) {
            return 0.f;
        }
        const float v = values.front();
        values.pop_front();
        return v;
    };
}

QList<int> Ints(const QSignalSpy &spy)
{
    QList<int> out;
    for (const QList<QVariant> &args : spy) {
        out << args.at(0).toInt();
    }
    return out;
}

} // namespace

class tst_slideshow : public QObject
{
    Q_OBJECT
private slots:
    // In random order the slide decoded ahead is the one shown next; a list that has shrunk
    // below it gets a slide it still holds.
    void randomOrderShowsWhatWasDrawnAhead()
    {
        SlideShow show(Draws({0.5f, 0.1f, 0.95f, 0.3f}));
        QSignalSpy wanted(&show, &SlideShow::slideWanted);
        QSignalSpy ahead(&show, &SlideShow::aheadWanted);
        show.start(1, true, true);
        show.drawAhead(10);
        QCOMPARE(Ints(ahead), QList<int>({6}));
        show.advance(10);
        show.advance(10);
        QCOMPARE(Ints(wanted), QList<int>({6, 2}));
        QCOMPARE(Ints(ahead), QList<int>({6, 2, 10}));
        // Slide 10 was drawn ahead; the list now holds 5.
        show.advance(5);
        QCOMPARE(wanted.size(), 3);
        QVERIFY2(wanted.last().at(0).toInt() >= 1 && wanted.last().at(0).toInt() <= 5,
                 qPrintable(QString::number(wanted.last().at(0).toInt())));
        QCOMPARE(show.index(), wanted.last().at(0).toInt());
    }

    // In list order the show goes round both ways, by timer and by the arrow keys; other keys and
    // an empty list show nothing.
    void listOrderGoesRound()
    {
        SlideShow show(Draws({}));
        QSignalSpy wanted(&show, &SlideShow::slideWanted);
        QSignalSpy ahead(&show, &SlideShow::aheadWanted);
        show.start(9, false, true);
        show.drawAhead(10);
        show.advance(10);
        show.advance(10);
        show.stepByHand(vbKeyLeft, 10);
        show.stepByHand(vbKeyRight, 10);
        show.stepByHand(vbKeyRight, 10);
        show.stepByHand(vbKeyDelete, 10);
        QCOMPARE(Ints(wanted), QList<int>({10, 1, 10, 1, 2}));
        QCOMPARE(ahead.size(), 0);
        show.advance(0);
        QCOMPARE(wanted.size(), 5);
    }

    // The timer asks for slides while the show runs, never in the middle of a command (a move or
    // copy): ticks that came meanwhile give one slide when it ends, not a burst.
    void timerWaitsForTheCommandAndNeverPilesUp()
    {
        SlideShow show(Draws({}));
        auto *timer = show.findChild<QTimer *>(QStringLiteral("tmrSlide"));
        QVERIFY(timer != nullptr);
        QSignalSpy due(&show, &SlideShow::due);
        QSignalSpy ticks(timer, &QTimer::timeout);

        show.setInterval(20);
        show.start(1, false, true);
        QVERIFY(show.isRunning());
        QVERIFY(!timer->isActive()); // a show by hand has no timer
        show.stop();
        show.start(1, false, false);
        QVERIFY(timer->isActive());
        QTRY_VERIFY(due.size() >= 1);

        Commands().begin();
        due.clear();
        ticks.clear();
        QTRY_VERIFY(ticks.size() >= 3);
        QCOMPARE(due.size(), 0);
        // The password question of a screen-saver run holds the timer and keeps the show.
        show.pauseTimer();
        QVERIFY(!timer->isActive());
        QVERIFY(show.isRunning());
        Commands().end();
        QTRY_COMPARE(due.size(), 1);
        QCoreApplication::processEvents();
        QCOMPARE(due.size(), 1);

        show.resumeTimer();
        QVERIFY(timer->isActive());
        // No interval: the show moves only by hand.
        show.setInterval(0);
        QVERIFY(!timer->isActive());
        show.resumeTimer();
        QVERIFY(!timer->isActive());
        show.setInterval(20);
        show.stop();
        QVERIFY(!show.isRunning());
        QVERIFY(!timer->isActive());
    }

    void viewerKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("mask");
        QTest::addColumn<bool>("show");
        QTest::addColumn<bool>("byHand");
        QTest::addColumn<bool>("saver");
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("argument");
        const auto row = [](const char *name, int key, int mask, bool show, bool byHand, bool saver, ViewerKey action,
                            int argument = 0) {
            QTest::newRow(name) << key << mask << show << byHand << saver << static_cast<int>(action) << argument;
        };
        row("F1", vbKeyF1, 0, false, false, false, ViewerKey::Help);
        row("Alt+P", vbKeyP, vbAltMask, false, false, false, ViewerKey::Print);
        row("Ctrl+Alt+P does nothing", vbKeyP, vbAltMask | vbCtrlMask, false, false, false, ViewerKey::None);
        row("Alt+R", vbKeyR, vbAltMask, false, false, false, ViewerKey::Refresh);
        row("Ctrl+R turns right", vbKeyR, vbCtrlMask, false, false, false, ViewerKey::RotateRight);
        row("Ctrl+Z", vbKeyZ, vbCtrlMask, false, false, false, ViewerKey::Undo);
        row("Alt+3 files into button 3", vbKey1 + 2, vbAltMask, false, false, false, ViewerKey::FileToFolder, 2);
        row("Ctrl+Alt+6 copies into button 6", vbKey6, vbAltMask | vbCtrlMask, false, false, false,
            ViewerKey::CopyToFolder, 5);
        row("Shift+Alt+1 does nothing", vbKey1, vbAltMask | vbShiftMask, false, false, false, ViewerKey::None);
        row("Alt+7 does nothing", vbKey6 + 1, vbAltMask, false, false, false, ViewerKey::None);
        row("+ with Shift zooms in", vbKeyPlus, vbShiftMask, false, false, false, ViewerKey::ZoomIn);
        row("Ctrl++ does nothing", vbKeyAdd, vbCtrlMask, false, false, false, ViewerKey::None);
        row("keypad -", vbKeySubtract, 0, false, false, false, ViewerKey::ZoomOut);
        // During a show every key ends it, the arrows of a show by hand excepted.
        row("Alt+P in a show", vbKeyP, vbAltMask, true, false, false, ViewerKey::StopShow);
        row("Delete in a show", vbKeyDelete, 0, true, false, false, ViewerKey::StopShow);
        row("Left in a timed show", vbKeyLeft, 0, true, false, false, ViewerKey::StopShow);
        row("Left in a show by hand", vbKeyLeft, 0, true, true, false, ViewerKey::SlideByHand, vbKeyLeft);
        row("no key in a show", 0, 0, true, false, false, ViewerKey::None);
        // A screen-saver run: a key ends it; behind its logo no key touches a file.
        row("a key ends a run", vbKeyDelete, 0, true, false, true, ViewerKey::EndScreenSaver);
        row("Delete behind the run's logo", vbKeyDelete, 0, false, false, true, ViewerKey::None);
        row("Alt+1 behind the run's logo", vbKey1, vbAltMask, false, false, true, ViewerKey::None);
    }

    void viewerKeys()
    {
        QFETCH(int, key);
        QFETCH(int, mask);
        QFETCH(bool, show);
        QFETCH(bool, byHand);
        QFETCH(bool, saver);
        QFETCH(int, action);
        QFETCH(int, argument);
        const ViewerKeyAction got = ViewerKeyActionOf(key, mask, show, byHand, saver);
        QCOMPARE(static_cast<int>(got.key), action);
        if (got.key != ViewerKey::None) {
            QCOMPARE(got.argument, argument);
        }
    }
};

QTEST_GUILESS_MAIN(tst_slideshow)
#include "tst_slideshow.moc"
