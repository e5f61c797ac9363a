// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QtGlobal>

// The course of a move or copy on the interface thread, driven by what its worker reports. The
// worker files; the interface shows progress, asks the replace question, and reports the end:
//
//   Working --question--> Asking --answer--> Working --done--> Reporting --reported--> Finished
//
// Input to the program's windows is held from the start until the worker is done, so no second
// command starts in the middle; the question and the progress window are modal windows of their
// own and get their input. The end is reported with the hold gone, so its box can be answered.
class TransferFlow
{
public:
    enum class Phase { Working, Asking, Reporting, Finished };

    [[nodiscard]] Phase phase() const { return m_phase; }

    // Whether the progress window opens now: for a list of several files at once, for one file
    // once it has taken half a second; never while a question is up, and only once.
    [[nodiscard]] bool opensProgress(int fileCount, qint64 elapsedMs) const;
    // How long the progress window waits before it shows itself.
    [[nodiscard]] static int progressDelayMs(int fileCount);
    // The progress window may be seen only while files move: a question is never under it.
    [[nodiscard]] bool showsProgress() const { return m_phase == Phase::Working && m_progressOpen; }
    [[nodiscard]] bool holdsInput() const { return m_phase == Phase::Working || m_phase == Phase::Asking; }

    void progressOpened() { m_progressOpen = true; }
    // The worker asks; false when a question cannot be asked now (one is already up, or the
    // transfer is over), and the worker is answered Cancel.
    bool question();
    void answered();
    void workerDone(int result);
    void reported();
    [[nodiscard]] int result() const { return m_result; }

private:
    Phase m_phase = Phase::Working;
    bool m_progressOpen = false;
    int m_result = 0;
};
