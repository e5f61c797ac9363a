// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <functional>

// The per-user store that both programs share. Everything is text: numbers as plain decimal,
// truth values as "True"/"False", colours as the decimal text of 0x00BBGGRR.
//
// The file is "$XDG_CONFIG_HOME/<application>/<application>.ini", or the file that
// VANTREL_SETTINGS names (tests and the demo use a throw-away one). Every read first looks at the
// file again, so a value written by the other program is seen at the next read.

inline const QString AppName = QStringLiteral("Vantrel Viewer");

using SettingRows = QList<QPair<QString, QString>>;

// Stored text of one key; empty text when the key, the section or the file is missing or unreadable.
[[nodiscard]] QString GetSetting(const QString &application, const QString &section, const QString &key);

// Creates or replaces one value and writes the file at once (whole or not at all); a value that is
// already stored as given leaves the file untouched. Returns false when the file could not be
// written; the caller's value then simply does not outlive the run.
bool SaveSetting(const QString &application, const QString &section, const QString &key, const QString &value);

// One value of a batch saved together.
struct SettingChange
{
    QString section;
    QString key;
    QString value;
};

// Saves several values as one write of the file, under one lock and after one fresh read, so a
// batch costs one rewrite however many keys it holds. A value already stored as given is not
// written again, and when every value is, the file is left exactly as it is. Returns false when
// the file could not be written.
bool SaveSettings(const QString &application, const QList<SettingChange> &changes);

// All (key, value) rows of a section in code-point order of the keys; empty when there is none.
[[nodiscard]] SettingRows GetAllSettings(const QString &application, const QString &section);

// Removes one key; a missing key is not an error. Returns false when the file could not be written.
bool DeleteSetting(const QString &application, const QString &section, const QString &key);

// The file that holds the store of this application.
[[nodiscard]] QString SettingsFilePath(const QString &application);

// Keys are free text ("Tom & Jerry", "50% off", "a/b"); QSettings would read "/" as a group
// separator, so these two make any text a single key and back.
[[nodiscard]] QString EncodeSettingKey(const QString &key);
[[nodiscard]] QString DecodeSettingKey(const QString &stored);

// Forgets what the store learnt about the settings file (tests that switch files).
void ForgetSettingsFileState();

// A save that fails is never silent: every failed SaveSetting, SaveSettings or DeleteSetting calls
// the handler with the reason in plain words ("the disk that holds ... is full"). The programs
// install one that tells the user; without one the reason goes to the standard error. A value
// that could not be saved is not kept by the store either: the next read gives what the file holds.
using SaveFailureHandler = std::function<void(const QString &reason)>;
void SetSaveFailureHandler(SaveFailureHandler handler);
// Why the last save failed; empty when it succeeded.
[[nodiscard]] QString LastSaveFailure();
