// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

#include <cstdint>

// Tells live screen-saver runs from a "Mode" "On" left behind by a run that died.
//
// Each run holds an exclusive flock on a marker file of its own for its whole life and writes its
// process id into it; a clean end removes the file. A run is one per place: an X screen for a run
// that covers the screen, or the window it draws into (xscreensaver runs one program per screen,
// and its settings show one more in their preview), so runs of different places live side by side.
// The kernel drops the lock when the process dies however it dies (SIGKILL, a crash), so:
//   - marker locked:               that run is alive;
//   - marker present, not locked:  that run died without ending ("On" is stale);
//   - no marker:                   no run was started there since the last clean end.
// The markers live in the user's private folder (no other user can hold or remove them), in a
// folder of their own per settings file.
class SaverRunLock
{
public:
    // settingsFile: the store's file. key: the run's place (SaverRunKey); empty: this display's
    // screen.
    explicit SaverRunLock(const QString &settingsFile, const QString &key = QString());
    ~SaverRunLock();
    SaverRunLock(const SaverRunLock &) = delete;
    SaverRunLock &operator=(const SaverRunLock &) = delete;

    // Takes the lock for this process; false when another live run holds this place or the file
    // cannot be made.
    bool acquire();
    // Removes the marker and drops the lock (the run ended cleanly).
    void release();
    [[nodiscard]] bool held() const { return m_fd >= 0; }

    // The marker of one place; empty when the user has no private folder.
    [[nodiscard]] static QString markerPath(const QString &settingsFile, const QString &key = QString());
    // The folder of a store's markers.
    [[nodiscard]] static QString runsFolder(const QString &settingsFile);

private:
    QString m_path;
    QString m_key;
    int m_fd = -1;
};

// The place of a run: the X display and screen ($DISPLAY, ":1" read as ":1.0"), and the window it
// draws into (0: the whole screen).
[[nodiscard]] QString SaverRunKey(const QString &display, std::uint32_t window);
// This process's screen.
[[nodiscard]] QString ThisScreenRunKey();

enum class SaverRunState {
    NoRun,   // no marker
    Alive,   // a live process holds the marker
    DeadRun, // a marker without a live holder: the run that wrote it did not end cleanly
};

// One place.
[[nodiscard]] SaverRunState QuerySaverRun(const QString &settingsFile, const QString &key);
// Every place: Alive when any run lives, else DeadRun when any died, else NoRun.
[[nodiscard]] SaverRunState QuerySaverRun(const QString &settingsFile);
[[nodiscard]] inline bool SaverRunAlive(const QString &settingsFile)
{
    return QuerySaverRun(settingsFile) == SaverRunState::Alive;
}

// For the launcher's "/S", before it writes "Mode" = "On": removes dead runs' markers. Returns
// false and changes nothing when a run is alive (the screen saver is already on screen).
bool PrepareSaverRunStart(const QString &settingsFile);
// The same for one place (a run drawn into xscreensaver's window): only that place's run counts.
bool PrepareSaverRunStart(const QString &settingsFile, const QString &key);

// How a start that read "Mode" = "On" goes on.
enum class SaverStart {
    Run,           // the run the launcher asked for
    StaleMark,     // left by a dead run: clear it and start normally
    AlreadyRunning // another run is on screen at this place: end without showing anything
};
// askedByLauncher: the launcher named this start's place (its environment says so); otherwise
// "On" alone marks the run and a dead run's marker tells it is stale.
[[nodiscard]] SaverStart ClassifySaverStart(const QString &settingsFile, const QString &key = QString(),
                                            bool askedByLauncher = false);
