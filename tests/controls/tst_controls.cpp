// SPDX-License-Identifier: GPL-2.0-or-later
#include "Isolation.h"
#include "ScriptedDialogs.h"
#include "common/SharedState.h"
#include "common/Utilities.h"
#include "controls/ARButton.h"
#include "controls/CommonDialog.h"
#include "controls/HelpWindow.h"

#include <QFile>
#include <QGuiApplication>
#include <QPrinter>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>

class ControlsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { ResetState(); }

    void leftClickClicksAndReportsTwips()
    {
        ARButton b;
        b.resize(100, 24);
        b.setTwipsPerPixel(15, 15);
        QSignalSpy click(&b, &ARButton::Click);
        QSignalSpy down(&b, &ARButton::MouseDown);
        QSignalSpy up(&b, &ARButton::MouseUp);
        QTest::mouseClick(&b, Qt::LeftButton, Qt::ControlModifier, QPoint(10, 5));
        QCOMPARE(click.count(), 1);
        QCOMPARE(down.count(), 1);
        QCOMPARE(down.first().at(0).toInt(), 1);        // left
        QCOMPARE(down.first().at(1).toInt(), 2);        // Ctrl
        QCOMPARE(down.first().at(2).toFloat(), 150.0f); // twips
        QCOMPARE(down.first().at(3).toFloat(), 75.0f);
        QCOMPARE(up.first().at(0).toInt(), 1);
    }

    void twipsFollowTheScreen()
    {
        State().TwipsPerPixelX = 12;
        State().TwipsPerPixelY = 12;
        ARButton b;
        b.resize(100, 24);
        QSignalSpy down(&b, &ARButton::MouseDown);
        QTest::mousePress(&b, Qt::LeftButton, Qt::ShiftModifier | Qt::AltModifier, QPoint(10, 20));
        QCOMPARE(down.first().at(1).toInt(), 5); // Shift + Alt
        QCOMPARE(down.first().at(2).toFloat(), 120.0f);
        QCOMPARE(down.first().at(3).toFloat(), 240.0f);
        QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(10, 20));
    }

    void everyButtonsReleaseClicksAfterMouseUp_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<int>("code");
        QTest::newRow("left") << Qt::LeftButton << 1;
        QTest::newRow("right") << Qt::RightButton << 2;
        QTest::newRow("middle") << Qt::MiddleButton << 4;
    }

    void everyButtonsReleaseClicksAfterMouseUp()
    {
        // The windows' MouseUp handlers mark a release that is not the left button's; the Click
        // that follows must come, and come after, so that it clears the mark.
        QFETCH(Qt::MouseButton, button);
        QFETCH(int, code);
        ARButton b;
        b.resize(50, 20);
        QStringList order;
        connect(&b, &ARButton::MouseDown, this,
                [&order](int Button) { order << QStringLiteral("down %1").arg(Button); });
        connect(&b, &ARButton::MouseUp, this, [&order](int Button) { order << QStringLiteral("up %1").arg(Button); });
        connect(&b, &ARButton::Click, this, [&order] { order << QStringLiteral("click"); });
        QTest::mouseClick(&b, button, {}, QPoint(5, 5));
        QCOMPARE(order, (QStringList{QStringLiteral("down %1").arg(code), QStringLiteral("up %1").arg(code),
                                     QStringLiteral("click")}));
        // Released away from the button: no click, whichever button.
        order.clear();
        QTest::mousePress(&b, button, {}, QPoint(5, 5));
        QTest::mouseRelease(&b, button, {}, QPoint(200, 5));
        QVERIFY(!order.contains(QStringLiteral("click")));
    }

    void releaseOutsideDoesNotClick()
    {
        ARButton b;
        b.resize(50, 20);
        QSignalSpy click(&b, &ARButton::Click);
        QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(200, 5));
        QCOMPARE(click.count(), 0);
        // A release without a press on the button is no click either.
        QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(click.count(), 0);
    }

    void keyboardStillClicks()
    {
        ARButton b;
        b.resize(50, 20);
        QSignalSpy click(&b, &ARButton::Click);
        b.click();
        QCOMPARE(click.count(), 1);
    }

    void storedProperties()
    {
        ARButton b;
        b.setCaption(QStringLiteral("Tom && Jerry"));
        QCOMPARE(b.caption(), QStringLiteral("Tom && Jerry"));
        b.setForeColor(0x0000C0);
        b.setFontBold(true);
        b.setDisplayState(2);
        QCOMPARE(b.foreColor(), 0x0000C0);
        QVERIFY(b.fontBold());
        QCOMPARE(b.displayState(), 2);
        // The caption shows one ampersand: "&&" is an escaped "&", not an access key.
        b.resize(120, 24);
        QImage shot(b.size(), QImage::Format_ARGB32);
        b.render(&shot); // paints without crashing with every state set
        QVERIFY(!shot.isNull());
    }

    void colourChooserCancelKeepsTheColour()
    {
        ScriptedDialogs dialogs;
        CommonDialog cd;
        cd.Color = 16744448;
        QVERIFY(!cd.ShowColor());
        QCOMPARE(cd.Color, 16744448);
        QCOMPARE(dialogs.asked.first().prompt, QColor(0x00, 0x80, 0xFF).name()); // offered as the current colour
        dialogs.colourAnswers.append(QColor(0x10, 0x20, 0x30));
        QVERIFY(cd.ShowColor());
        QCOMPARE(cd.Color, 0x302010);
    }

    void printerChooserCancelPrintsNothing()
    {
        ScriptedDialogs dialogs;
        CommonDialog cd;
        cd.CancelError = true;
        cd.Flags = 0x100004;
        QPrinter printer;
        QVERIFY(!cd.ShowPrinter(printer));
        dialogs.printerAnswers.append(true);
        QVERIFY(cd.ShowPrinter(printer));
    }

    void messageBoxesTakeTheProgramTitle()
    {
        ScriptedDialogs dialogs;
        dialogs.msgAnswers.append(vbNo);
        QCOMPARE(MsgBox(QStringLiteral("Replace?"), vbYesNo | vbQuestion), int(vbNo));
        QCOMPARE(dialogs.asked.first().title, QStringLiteral("Vantrel Viewer"));
        QCOMPARE(dialogs.asked.first().style & vbIconMask, int(vbQuestion));
        QCOMPARE(MsgBox(QStringLiteral("x"), vbOKOnly, QStringLiteral("Own")), int(vbOK));
        QCOMPARE(dialogs.asked.last().title, QStringLiteral("Own"));
        QCOMPARE(InputBox(QStringLiteral("Enter new file name:"), QStringLiteral("Rename File"), QStringLiteral("a")),
                 std::optional<QString>());
    }

    void cursorsAndBitmaps_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QPoint>("hotSpot");
        QTest::newRow("NORMAL") << "NORMAL" << QPoint(0, 0);
        QTest::newRow("WAIT") << "WAIT" << QPoint(16, 15);
        QTest::newRow("MAGNIFIER") << "MAGNIFIER" << QPoint(0, 0);
        QTest::newRow("MOVE") << "MOVE" << QPoint(16, 8);
        QTest::newRow("COPY") << "COPY" << QPoint(16, 8);
    }

    void cursorsAndBitmaps()
    {
        QFETCH(QString, name);
        QFETCH(QPoint, hotSpot);
        const QCursor cursor = LoadResCursor(name);
        QCOMPARE(cursor.shape(), Qt::BitmapCursor);
        QCOMPARE(cursor.pixmap().size(), QSize(32, 32));
        QCOMPARE(cursor.hotSpot(), hotSpot);
        QCOMPARE(LoadResPicture("HANDUP").size(), QSize(19, 17));
        QCOMPARE(LoadResPicture("HANDDOWN").size(), QSize(19, 17));
        QCOMPARE(LoadResPicture("101").size(), QSize(36, 36));
        QCOMPARE(LoadResPicture("SPLASH").size(), QSize(320, 180));
        QCOMPARE(LoadResPicture("LOADING").size(), QSize(200, 50));
        QCOMPARE(LoadResPicture("LOGO").size(), QSize(162, 33));
    }

    void pointerOverridesNestAndBalance()
    {
        SetMouseCursor("WAIT");
        QVERIFY(QGuiApplication::overrideCursor() != nullptr);
        QCOMPARE(QGuiApplication::overrideCursor()->hotSpot(), QPoint(16, 15));
        ShowMouseCursor(false);
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
        ShowMouseCursor(true);
        QCOMPARE(QGuiApplication::overrideCursor()->hotSpot(), QPoint(16, 15));
        SetDefaultMouseCursor();
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr); // no override left behind
        ShowMouseCursor(true);                                // an extra show does not leave the count below zero
        ShowMouseCursor(false);
        QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::BlankCursor);
        ShowMouseCursor(true);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void helpOpensAtItsContents()
    {
        IsolatedEnvironment env;
        const QString help = env.path("VIEWER.HLP");
        QFile f(help);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<html><body><h1>Contents</h1><a href=\"#keys\">Keys</a><h2 id=keys>Keys</h2></body></html>");
        f.close();
        CommonDialog cd;
        cd.HelpFile = help;
        cd.HelpCommand = 11;
        cd.ShowHelp();
        QVERIFY(HelpWindow::instance() != nullptr);
        QVERIFY(HelpWindow::instance()->browser()->toPlainText().contains(QStringLiteral("Contents")));
        // Asking again reuses the one window.
        HelpWindow *first = HelpWindow::instance();
        cd.ShowHelp();
        QCOMPARE(HelpWindow::instance(), first);
        // A missing help file says so in the window instead of failing.
        cd.HelpFile = env.path("missing.HLP");
        cd.ShowHelp();
        QVERIFY(HelpWindow::instance()->browser()->toPlainText().contains(QStringLiteral("cannot be found")));
        HelpWindow::closeInstance();
    }
};

QTEST_MAIN(ControlsTest)
#include "tst_controls.moc"
