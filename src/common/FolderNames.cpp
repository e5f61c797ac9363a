// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/FolderNames.h"

#include <algorithm>

QStringList FolderNames()
{
    const SettingRows rows = GetAllSettings(AppName, QStringLiteral("Directories"));
    QStringList names;
    names.reserve(rows.size());
    for (const auto &row : rows) {
        names.append(row.first);
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}
