// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "common/CommandQueue.h"
#include "files/FileOperations.h"

#include <QTest>

#include <optional>

// A move or copy runs on while the event loop turns; these wait for its end as a user would.
inline bool CommandsEnded(int timeoutMs = 120000)
{
    return QTest::qWaitFor([] { return !Commands().busy(); }, timeoutMs);
}

inline int TransferToEnd(bool move, const QString &sources, const QString &destination)
{
    std::optional<int> result;
    const auto done = [&result](int r) { result = r; };
    if (move) {
        MoveFiles(sources, destination, nullptr, done);
    } else {
        CopyFiles(sources, destination, nullptr, done);
    }
    if (!QTest::qWaitFor([&result] { return result.has_value(); }, 300000)) {
        return -1;
    }
    return *result;
}
inline int MoveToEnd(const QString &sources, const QString &destination)
{
    return TransferToEnd(true, sources, destination);
}
inline int CopyToEnd(const QString &sources, const QString &destination)
{
    return TransferToEnd(false, sources, destination);
}
