// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "common/SharedState.h"
#include "common/picture/Picture.h"
#include "panel/SortOrder.h"

#include <functional>

// Reads one stored value: (section, key) -> text, empty when absent.
using SettingReader = std::function<QString(const QString &section, const QString &key)>;

[[nodiscard]] SettingReader StoreReader();

// The viewer's start-up read of the store into the shared state, in its fixed order. A value that
// does not convert leaves its variable as it was; colours stay text. BasePath is looked up afresh
// from "Directories" by the name in "Basename".
void ReadStoredSettings(SharedState &state, const SettingReader &read);

// The order of the file list as stored ([Settings] "SortOrder" and "SortDescending"); a fresh
// profile gives names in natural order, ascending. Read when the panel loads and after the
// settings dialog, which writes it.
[[nodiscard]] SortOrder StoredSortOrder(const SettingReader &read);

// Which pictures the file list shows ([Settings] "AllPictures"): every format the program reads,
// unless the store says "False" (the six extensions of the original formats only). A fresh
// profile, or one from before the choice existed, lists them all.
[[nodiscard]] PictureSet StoredPictureSet(const SettingReader &read);

// Defaults after the read: a missing first colour also turns the gradient to 270 degrees; the
// other two colours default on their own.
void ApplyColourDefaults(SharedState &state);

inline constexpr std::int32_t DefaultSlideColor = 16744448;  // 0xFF8000
inline constexpr std::int32_t DefaultSlideColor2 = 16777215; // white
inline constexpr std::int32_t DefaultFontColor = 65535;      // yellow

// Milliseconds between slides. Wider than the 16 bits the stored seconds were once squeezed into,
// so every storable value (0 to 255 s) is a valid interval; 0 stops the timer.
[[nodiscard]] int SlideIntervalMs(std::uint8_t slideTime);
