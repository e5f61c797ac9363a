// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The user's private folder for sockets and locks: one that only this user can enter, so no other
// local user can squat a socket name, read what goes through it, or hold a lock of ours.
//
// $XDG_RUNTIME_DIR when it is such a folder; else /run/user/UID when that is one (the session's own
// folder, which su and sudo drop from the environment); else a folder "vantrel-viewer-UID" in the
// temporary folder, made 0700 and checked; else one under the user's cache folder. Every candidate
// is taken only when it is a real folder (not a link), owned by this user, with no access for group
// or others.

// Empty when no safe folder could be found or made: callers then do without (and say so).
[[nodiscard]] QString PrivateRuntimeFolder();

// True when path is a folder (not a link) owned by the effective user that nobody else can enter.
[[nodiscard]] bool IsPrivateFolder(const QByteArray &path);

// The choice itself, for tests: the ready-made candidates in order (taken only when private), then
// the folders to create ("made" candidates: created 0700 when missing, taken only when private).
[[nodiscard]] QString ChoosePrivateFolder(const QList<QByteArray> &existing, const QList<QByteArray> &made);

// A name in the private folder that stands for one settings file, so two stores of one user keep
// apart: "vantrel-viewer-UID-HASH" followed by suffix. Empty when there is no private folder.
[[nodiscard]] QString PrivateFileFor(const QString &settingsFile, const QString &suffix);
