// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// What only some commands need (printing, metafiles drawn from their vectors) lives in shared
// objects of its own, loaded at its first use: a start maps none of their libraries. Each offers
// one table of functions under a known name, whose first member is its version.

// The table `symbol` of the shared object `fileName`, loaded once and kept: first beside the
// executable, then in the installed folder of the program's modules. Only from a folder and a
// file that no other user can write. Nothing, with the reason for the user in `error`, when it
// cannot be loaded or is not of `version`. Any thread.
[[nodiscard]] const void *LoadModule(const char *fileName, const char *symbol, int version, QString *error);

// The folders searched, in order (tests); empty brings back the program's own.
void SetModuleFolders(const QStringList &folders);
