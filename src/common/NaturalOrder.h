// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

// The order of every list of names the user sees (folders, files): case-insensitive, with runs
// of digits compared as numbers ("IMG_2" before "IMG_10"); names equal but for case fall back
// to code-point order, so the order is total and the same everywhere.
[[nodiscard]] bool NaturalLess(const QString &a, const QString &b);
