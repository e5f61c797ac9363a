// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/TransferFlow.h"

bool TransferFlow::opensProgress(int fileCount, qint64 elapsedMs) const
{
    return m_phase == Phase::Working && !m_progressOpen && (fileCount > 3 || elapsedMs > 500);
}

int TransferFlow::progressDelayMs(int fileCount)
{
    return fileCount > 3 ? 0 : 400;
}

bool TransferFlow::question()
{
    if (m_phase != Phase::Working) {
        return false;
    }
    m_phase = Phase::Asking;
    return true;
}

void TransferFlow::answered()
{
    if (m_phase == Phase::Asking) {
        m_phase = Phase::Working;
    }
}

void TransferFlow::workerDone(int result)
{
    if (m_phase == Phase::Working || m_phase == Phase::Asking) {
        m_result = result;
        m_phase = Phase::Reporting;
    }
}

void TransferFlow::reported()
{
    if (m_phase == Phase::Reporting) {
        m_phase = Phase::Finished;
    }
}
