// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QColor>
#include <QPalette>
#include <QString>

#include <cstdint>
#include <optional>

// Conversions between the store's texts and the program's values. A text that does not convert
// gives no value, and the caller leaves its variable as it was.

// A number as the store may hold it: optional spaces, a sign, decimal digits with an optional
// fraction (rounded halves to even), or "&H" hexadecimal. Anything else is not a number.
[[nodiscard]] std::optional<double> ParseStoredNumber(const QString &text);

[[nodiscard]] std::optional<std::uint8_t> ToUnsigned8(const QString &text);
[[nodiscard]] std::optional<std::int16_t> ToInt16(const QString &text);
[[nodiscard]] std::optional<std::int32_t> ToInt32(const QString &text);

// Seconds between slides as the settings dialogs show them: a stored 1 to 255 as it is; anything
// else (absent, 0, not a number, too large) is the 4 both dialogs would show and store, so a show
// on a fresh profile advances on its own.
inline constexpr std::uint8_t DefaultSlideTime = 4;
[[nodiscard]] std::uint8_t SlideTimeFromStored(const QString &text);

// "True" or "False", exactly; nothing else is a truth value.
[[nodiscard]] std::optional<bool> ToTruth(const QString &text);
[[nodiscard]] QString TruthText(bool value);

// A colour as stored: the decimal text of 0x00BBGGRR (red in the low byte). Values from
// 0x80000000 up name a system colour by its index in the low byte.
[[nodiscard]] std::optional<std::int32_t> ToColourValue(const QString &text);
[[nodiscard]] QString ColourText(std::int32_t value);
[[nodiscard]] QColor ColourFromValue(std::int32_t value, const QPalette &palette = QPalette());
[[nodiscard]] std::int32_t ValueFromColour(const QColor &colour);

// A colour variable holds the stored text; every use converts it, and a text that does not
// convert uses the fallback (the key's default colour).
[[nodiscard]] QColor ColourOf(const QString &stored, std::int32_t fallback, const QPalette &palette = QPalette());

// A folder button's caption shows "&" literally, so every "&" of the folder name is doubled.
[[nodiscard]] QString CaptionFromFolderName(const QString &name);
[[nodiscard]] QString FolderNameFromCaption(const QString &caption);
