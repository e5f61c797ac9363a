// SPDX-License-Identifier: GPL-2.0-or-later
#include "show/ScreenSaverRun.h"

#include "common/SettingsStore.h"
#include "common/SharedState.h"
#include "common/Utilities.h"
#include "common/platform/ForeignWindow.h"
#include "common/platform/SaverPassword.h"
#include "common/platform/SaverWindow.h"
#include "common/platform/ScreenSaver.h"
#include "common/platform/TermSignals.h"
#include "controls/PasswordDialogs.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <csignal>

namespace {

// Milliseconds between two steps of the logo, and between two tries to take the keyboard and
// pointer while another program holds them.
constexpr int kLogoTick = 40;
constexpr int kGrabRetry = 100;
// Milliseconds between two looks whether a password run's window is still on screen and on top.
constexpr int kGuardMs = 200;

} // namespace

ScreenSaverRun &ScreenSaverRun::instance()
{
    static ScreenSaverRun run;
    return run;
}

ScreenSaverRun::ScreenSaverRun()
{
    tmrDefaultScreenSaver.setInterval(kLogoTick);
    tmrDefaultScreenSaver.setTimerType(Qt::PreciseTimer);
    connect(&tmrDefaultScreenSaver, &QTimer::timeout, this, &ScreenSaverRun::tmrDefaultScreenSaver_Timer);
    m_grabRetry.setInterval(kGrabRetry);
    connect(&m_grabRetry, &QTimer::timeout, this, &ScreenSaverRun::tryGrab);
    m_guard.setInterval(kGuardMs);
    connect(&m_guard, &QTimer::timeout, this, &ScreenSaverRun::guard);
}

ScreenSaverRun::~ScreenSaverRun() = default;

bool ScreenSaverRun::askedByLauncher()
{
    return SaverWindowOfThisRun().has_value();
}

SaverStart ScreenSaverRun::begin()
{
    const QString file = SettingsFilePath(AppName);
    const std::optional<SaverWindowTarget> target = SaverWindowOfThisRun();
    const QString key = SaverRunKey(qEnvironmentVariable("DISPLAY"), target ? target->window : 0);
    const SaverStart start = ClassifySaverStart(file, key, target.has_value());
    if (start == SaverStart::StaleMark) {
        PrepareSaverRunStart(file);
        return start;
    }
    if (start == SaverStart::AlreadyRunning) {
        return start;
    }
    m_endRequested = false;
    m_ending = false;
    m_shown = false;
    // xscreensaver reads its programs' messages through a pipe and may be gone before the run's
    // end is written: a message then must not kill the run half-way through its end.
    std::signal(SIGPIPE, SIG_IGN);
    // The handlers come first: a stop that arrives once the lock is held must find them.
    m_signals = std::make_unique<TermSignals>();
    connect(m_signals.get(), &TermSignals::terminationRequested, this, &ScreenSaverRun::onTermination);
    m_signals->install();
    m_lock = std::make_unique<SaverRunLock>(file, key);
    if (!m_lock->acquire()) {
        m_lock.reset();
        m_signals.reset();
        return SaverStart::AlreadyRunning;
    }
    if (target && target->window != 0) {
        // The run lives as long as the window it is drawn into: a host that is killed takes its
        // run along, and the place is free for the next one.
        m_host = std::make_unique<ForeignWindowWatch>(target->window);
        connect(m_host.get(), &ForeignWindowWatch::gone, this, [this] { onTermination(); });
    }
    return SaverStart::Run;
}

void ScreenSaverRun::prepareWindow(QWidget &viewer)
{
    if (EmbedInSaverWindow(viewer)) {
        return;
    }
    if (wantsGrab()) {
        // No frame to click, nothing the window manager could minimise, move or close, and no
        // window of its stacked over the run.
        MakeUnmanaged(viewer);
    }
}

bool ScreenSaverRun::wantsGrab() const
{
    // Inside xscreensaver's window, xscreensaver covers every screen, holds the input and locks.
    // Only an X server grabs; the headless platforms of tests and benchmarks cannot.
    return !InForeignSaverWindow() && StoredSaverPasswordState() != StoredPassword::None &&
           QGuiApplication::platformName() == QLatin1String("xcb");
}

void ScreenSaverRun::setRandomSource(RandomDraw rnd)
{
    m_rnd = std::move(rnd);
}

float ScreenSaverRun::draw()
{
    return m_rnd ? m_rnd() : RandomUnit();
}

void ScreenSaverRun::startLogo(QWidget *viewer)
{
    SharedState &s = State();
    m_viewer = viewer;
    if (m_logo.isNull()) {
        m_logo = new QLabel(viewer);
        m_logo->setObjectName(QStringLiteral("picScreenSaver"));
        m_logo->setPixmap(LoadResPicture(QStringLiteral("SCREENSAVER")));
        m_logo->resize(m_logo->pixmap().size());
        // Movement over the logo is movement over the viewer.
        m_logo->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_logo->setAttribute(Qt::WA_OpaquePaintEvent);
    }
    const LogoGeometry g{m_logo->width(), m_logo->height(), static_cast<int>(s.ScreenWidthPx),
                         static_cast<int>(s.ScreenHeightPx)};
    const LogoState start = StartLogo(g, [this] { return draw(); });
    s.LogoTurn = start.turn;
    s.LogoDirX = static_cast<std::int16_t>(start.dirX);
    s.LogoDirY = static_cast<std::int16_t>(start.dirY);
    m_logo->move(start.left, start.top);
    m_logo->show();
    m_logo->raise();
    tmrDefaultScreenSaver.start();
}

void ScreenSaverRun::tmrDefaultScreenSaver_Timer()
{
    if (m_logo.isNull()) {
        tmrDefaultScreenSaver.stop();
        return;
    }
    SharedState &s = State();
    const LogoGeometry g{m_logo->width(), m_logo->height(), static_cast<int>(s.ScreenWidthPx),
                         static_cast<int>(s.ScreenHeightPx)};
    const LogoState before{m_logo->x(), m_logo->y(), s.LogoDirX, s.LogoDirY, s.LogoTurn};
    const LogoState after = LogoTick(before, g, [this] { return draw(); });
    s.LogoTurn = after.turn;
    s.LogoDirX = static_cast<std::int16_t>(after.dirX);
    s.LogoDirY = static_cast<std::int16_t>(after.dirY);
    m_logo->move(after.left, after.top);
}

void ScreenSaverRun::pauseLogo()
{
    tmrDefaultScreenSaver.stop();
}

void ScreenSaverRun::resumeLogo()
{
    if (!m_logo.isNull()) {
        tmrDefaultScreenSaver.start();
    }
}

void ScreenSaverRun::watchScreen(QScreen *screen)
{
    connect(screen, &QScreen::geometryChanged, this, &ScreenSaverRun::coverScreens, Qt::UniqueConnection);
}

void ScreenSaverRun::coverScreens()
{
    m_covers.clear();
    if (!m_shown || InForeignSaverWindow()) {
        return;
    }
    // A second monitor left showing the desktop would defeat the screen saver: black it out.
    const QScreen *primary = QGuiApplication::primaryScreen();
    for (QScreen *screen : QGuiApplication::screens()) {
        watchScreen(screen);
        if (screen == primary) {
            continue;
        }
        auto cover = std::make_unique<QWidget>(nullptr, Qt::Window | Qt::FramelessWindowHint |
                                                            Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint);
        cover->setObjectName(QStringLiteral("saverCover"));
        QPalette pal = cover->palette();
        pal.setColor(QPalette::Window, Qt::black);
        cover->setPalette(pal);
        cover->setAutoFillBackground(true);
        cover->setCursor(Qt::BlankCursor);
        cover->setGeometry(screen->geometry());
        cover->show();
        m_covers.push_back(std::move(cover));
    }
}

void ScreenSaverRun::protect(QWidget *viewer)
{
    m_viewer = viewer;
    m_shown = true;
    // Monitors plugged in, taken away or set to another size during the run are covered as they
    // are now.
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &ScreenSaverRun::coverScreens, Qt::UniqueConnection);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &ScreenSaverRun::coverScreens, Qt::UniqueConnection);
    coverScreens();
    if (m_endRequested) {
        QTimer::singleShot(0, this, &ScreenSaverRun::endRun);
    }
    m_wantGrab = wantsGrab();
    if (m_wantGrab) {
        m_guard.start();
    }
    restoreInput();
}

void ScreenSaverRun::tryGrab()
{
    if (!m_wantGrab || m_viewer.isNull()) {
        m_grabRetry.stop();
        return;
    }
    m_grabbed = GrabInput(*m_viewer);
    if (m_grabbed) {
        m_grabRetry.stop();
    }
    // Otherwise another program holds the keyboard or pointer (an open menu): tried again shortly.
}

void ScreenSaverRun::guard()
{
    if (!m_wantGrab || m_viewer.isNull()) {
        m_guard.stop();
        return;
    }
    // Another program may unmap the run's window, minimise it or map a window over it; the X
    // server drops the grabs of a window that leaves the screen.
    if (KeepOnTop(*m_viewer)) {
        m_grabbed = false;
    }
    for (const std::unique_ptr<QWidget> &cover : m_covers) {
        KeepOnTop(*cover);
    }
    if (!m_grabbed) {
        restoreInput();
    }
}

void ScreenSaverRun::restoreInput()
{
    if (!m_wantGrab) {
        return;
    }
    tryGrab();
    if (!m_grabbed && !m_grabRetry.isActive()) {
        m_grabRetry.start();
    }
}

void ScreenSaverRun::onTermination()
{
    m_endRequested = true;
    if (!m_shown) {
        // Still starting (the loading window lets events through): the end waits for the display,
        // which protect() completes.
        return;
    }
    if (m_asking) {
        // The password box closes first; EndScreenSaver ends the run when it returns.
        CancelPasswordCheck();
        if (QWidget *modal = QApplication::activeModalWidget()) {
            modal->close();
        }
        return;
    }
    endRun();
}

void ScreenSaverRun::endRun()
{
    if (m_ending) {
        return;
    }
    m_ending = true;
    const std::int32_t saverWasActive = State().SaverWasActive;
    // Stop signals keep coming here until the end is written: xscreensaver's SIGTERM is often
    // followed by another as its process goes (the run ends with its parent), which would
    // otherwise kill the run between letting go of its place and writing "Off".
    const std::unique_ptr<TermSignals> stillCaught = std::move(m_signals);
    // The keyboard and the pointer go before anything is written: a write may wait on the disk or
    // on a lock, and the display must never stay held meanwhile.
    finish();
    // Another run (xscreensaver's program on another screen) keeps the mark on.
    if (!SaverRunAlive(SettingsFilePath(AppName))) {
        SaveSetting(AppName, QStringLiteral("ScreenSaver"), QStringLiteral("Mode"), QStringLiteral("Off"));
    }
    if (m_quit) {
        m_quit();
    }
    if (saverWasActive != 0) {
        ScreenSaver().release();
        State().SaverWasActive = 0;
    }
}

void ScreenSaverRun::finish()
{
    tmrDefaultScreenSaver.stop();
    m_guard.stop();
    m_grabRetry.stop();
    if (m_grabbed) {
        ReleaseInput();
    }
    m_grabbed = false;
    m_wantGrab = false;
    m_covers.clear();
    if (!m_logo.isNull()) {
        m_logo->hide();
    }
    m_signals.reset();
    m_host.reset();
    if (m_lock) {
        m_lock->release();
        m_lock.reset();
    }
    m_asking = false;
    m_shown = false;
}
