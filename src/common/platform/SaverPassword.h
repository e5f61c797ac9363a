// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The screen-saver password: a yescrypt hash ("$y$...", as Debian hashes login passwords) kept in
// the settings store under "ScreenSaver"/"Password". Both programs use it: the viewer to end a
// run, the launcher to change it. No widgets here; the dialogs are in controls/PasswordDialogs.
//
// Passwords travel as bytes (UTF-8) in buffers the caller wipes with WipeSecret as soon as the
// check is done; nothing here keeps, logs or writes one in clear.

inline const QString SaverSection = QStringLiteral("ScreenSaver");
inline const QString SaverPasswordKey = QStringLiteral("Password");

enum class StoredPassword {
    None,    // no key or an empty value: every check passes
    Valid,   // a well-formed yescrypt hash
    Damaged, // anything else: every check fails until the key is removed
};

// A fresh hash of password with a new random salt; empty when libcrypt could not make one.
[[nodiscard]] QString HashSaverPassword(const QByteArray &password);

// Whether hash is a whole, well-formed yescrypt hash that crypt_r can check against.
[[nodiscard]] bool IsUsableSaverHash(const QString &hash);

// Whether password hashes to hash (compared in constant time). A damaged or unknown hash never
// matches.
[[nodiscard]] bool SaverPasswordMatches(const QByteArray &password, const QString &hash);

// The stored hash and what state it is in (re-read from the store each time).
[[nodiscard]] QString StoredSaverPasswordHash();
[[nodiscard]] StoredPassword StoredSaverPasswordState();

// Stores the hash of password, or removes the key when password is empty. False when the hash
// could not be made or the store could not be written (the old password then still holds).
bool SetSaverPassword(const QByteArray &password);

// How long the next answer waits after `failures` wrong answers in a row, in milliseconds: none
// for the first three, then 1 s, 2 s, 4 s, ... up to 30 s.
[[nodiscard]] int SaverPasswordDelayMs(int failures);

// Overwrites the buffer's bytes before it is released.
void WipeSecret(QByteArray &secret);
void WipeSecret(QString &secret);
