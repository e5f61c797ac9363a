#pragma once

#include <QString>

// Tells a live screen-saver run from a "Mode" "On" left behind by a run that died.
//
// A run holds an exclusive flock on a marker file next to the settings file for its whole life
// and writes its process id into it; a clean end removes the file. The kernel drops the lock when
// the process dies however it dies (SIGKILL, a crash), so:
//   - marker locked:               a run is alive;
//   - marker present, not locked:  the last run died without ending ("On" is stale);
//   - no marker:                   no run was started since the last clean end.
// The launcher clears a stale marker before it writes "On" (PrepareSaverRunStart), so a start that
// then finds "On" and no marker is the run it asked for, while a start that finds "On" beside a
// dead run's marker is a normal start.
class SaverRunLock
{
public:
    // settingsFile: the store's file; the marker lives beside it.
    explicit SaverRunLock(QString settingsFile);
    ~SaverRunLock();
    SaverRunLock(const SaverRunLock &) = delete;
    SaverRunLock &operator=(const SaverRunLock &) = delete;

    // Takes the lock for this process; false when another live run holds it or the file cannot be
    // made.
    bool acquire();
    // Removes the marker and drops the lock (the run ended cleanly).
    void release();
    [[nodiscard]] bool held() const { return m_fd >= 0; }

    [[nodiscard]] static QString markerPath(const QString &settingsFile);

private:
    QString m_path;
    int m_fd = -1;
};

enum class SaverRunState {
    NoRun,   // no marker
    Alive,   // a live process holds the marker
    DeadRun, // a marker without a live holder: the run that wrote it did not end cleanly
};

[[nodiscard]] SaverRunState QuerySaverRun(const QString &settingsFile);
[[nodiscard]] inline bool SaverRunAlive(const QString &settingsFile)
{
    return QuerySaverRun(settingsFile) == SaverRunState::Alive;
}

// For the launcher, before it writes "Mode" = "On": removes a dead run's marker. Returns false and
// changes nothing when a run is alive (the screen saver is already on screen).
bool PrepareSaverRunStart(const QString &settingsFile);

// How a start that read "Mode" = "On" goes on.
enum class SaverStart {
    Run,           // the run the launcher asked for
    StaleMark,     // left by a dead run: clear it and start normally
    AlreadyRunning // another run is on screen: end without showing anything
};
[[nodiscard]] SaverStart ClassifySaverStart(const QString &settingsFile);
