// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "common/platform/SaverRunLock.h"
#include "show/LogoRules.h"

#include <QLabel>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class ForeignWindowWatch;
class QScreen;
class QWidget;
class TermSignals;

// What a screen-saver run holds besides the viewer's own display: the lock that marks the run as
// alive, the stop signals, the watch on the window it is drawn into, the drifting logo and its
// timer, the black covers over the other screens (following screens that come, go or change
// size), and, while a password is set, the keyboard and the pointer, held from the show's first
// moment until the right password is given, with the run's window kept on screen and on top. One
// per program.
class ScreenSaverRun : public QObject
{
    Q_OBJECT
public:
    [[nodiscard]] static ScreenSaverRun &instance();
    ~ScreenSaverRun() override;

    // For a start that read "Mode" = "On", or that the launcher named a place for: a run (the lock
    // is now held, and SIGTERM, SIGINT, SIGHUP and the end of a window it is drawn into end the run
    // cleanly), a stale mark of a dead run (cleared), or another live run at this place.
    SaverStart begin();
    // Whether this start is a run the launcher asked for (it named the place in the environment).
    [[nodiscard]] static bool askedByLauncher();
    // The viewer before it is first shown: drawn into the foreign window it was given, or, with a
    // password set, made a window the window manager leaves alone.
    void prepareWindow(QWidget &viewer);
    [[nodiscard]] bool active() const { return m_lock != nullptr && m_lock->held(); }

    // The logo on the viewer: placed at random, moving from the next tick on.
    void startLogo(QWidget *viewer);
    void tmrDefaultScreenSaver_Timer();
    [[nodiscard]] bool logoRunning() const { return tmrDefaultScreenSaver.isActive(); }
    void pauseLogo();
    void resumeLogo();
    [[nodiscard]] QLabel *picScreenSaver() const { return m_logo.data(); }
    // Where the random numbers of the logo come from (tests pass their own; empty: the clock's).
    void setRandomSource(RandomDraw rnd);
    // How the program ends when a run ends (Quit).
    void setQuit(std::function<void()> quit) { m_quit = std::move(quit); }

    // Covers the other screens and, while a password is set, takes the keyboard and pointer so
    // that no other window receives input.
    void protect(QWidget *viewer);
    // Takes the keyboard and the pointer again where they were lost (kept while the password is
    // asked: the password box lives inside the run's window).
    void restoreInput();
    [[nodiscard]] bool inputGrabbed() const { return m_grabbed; }

    // The password dialog is open: a stop signal then closes it and ends the run when it returns.
    void setAsking(bool asking) { m_asking = asking; }
    [[nodiscard]] bool endRequested() const { return m_endRequested; }

    // The run's clean end: the keyboard and the pointer let go first, then "Mode" = "Off" (unless
    // another run lives), the program shut down, the desktop's screen saver let go. Called when
    // the password was accepted, on a stop signal and when the window it is drawn into goes.
    void endRun();
    // Lets go of everything the run holds (the program is ending by whatever road).
    void finish();

    QTimer tmrDefaultScreenSaver;

private:
    ScreenSaverRun();
    void onTermination();
    void tryGrab();
    void guard();
    void coverScreens();
    void watchScreen(QScreen *screen);
    [[nodiscard]] bool wantsGrab() const;
    [[nodiscard]] float draw();

    std::unique_ptr<SaverRunLock> m_lock;
    std::unique_ptr<TermSignals> m_signals;
    std::function<void()> m_quit;
    std::unique_ptr<ForeignWindowWatch> m_host;
    QPointer<QWidget> m_viewer;
    QPointer<QLabel> m_logo;
    std::vector<std::unique_ptr<QWidget>> m_covers;
    RandomDraw m_rnd;
    QTimer m_grabRetry;
    QTimer m_guard;
    bool m_wantGrab = false;
    bool m_grabbed = false;
    bool m_asking = false;
    bool m_endRequested = false;
    bool m_ending = false;
    bool m_shown = false; // the run's display is up: a stop signal can end it at once
};
