// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// A picture or folder named from outside (the command line, a file manager, a second start),
// split into the folder the panel shows and the entry it selects.
struct OpenTarget
{
    QString folder;
    // The file to select; empty selects the folder's first picture.
    QString name;
};

// A folder (or a link to one) is shown from its first picture; anything else, a picture or not,
// is selected in its own folder, so the file list reports on it. A path that is not there is
// taken as a folder, which then shows as unavailable.
[[nodiscard]] OpenTarget ResolveOpenTarget(const QByteArray &path);

// The entry of the folder box for a folder that is not registered: its last name in brackets
// ("/" for the root).
[[nodiscard]] QString TemporaryEntryText(const QString &folder);

// Two paths name the same folder: the same text, or the same directory once links are followed.
[[nodiscard]] bool SameFolder(const QString &a, const QString &b);
