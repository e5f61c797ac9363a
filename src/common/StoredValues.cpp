// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/StoredValues.h"

#include "common/Rounding.h"

#include <cmath>
#include <limits>

std::optional<double> ParseStoredNumber(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        return std::nullopt;
    }
    if (t.startsWith(QLatin1String("&H"), Qt::CaseInsensitive)) {
        bool ok = false;
        QString digits = t.mid(2);
        if (digits.endsWith(QLatin1Char('&'))) {
            digits.chop(1);
        }
        if (digits.isEmpty() || digits.size() > 8) {
            return std::nullopt;
        }
        const quint32 raw = digits.toUInt(&ok, 16);
        if (!ok) {
            return std::nullopt;
        }
        // Eight hex digits are a 32-bit pattern; the high bit makes it negative.
        if (digits.size() > 4) {
            return static_cast<double>(static_cast<qint32>(raw));
        }
        return static_cast<double>(static_cast<qint16>(static_cast<quint16>(raw)));
    }
    for (const QChar c : t) {
        if (!(c.isDigit() && c.unicode() < 128) && c != QLatin1Char('-') && c != QLatin1Char('+') &&
            c != QLatin1Char('.') && c != QLatin1Char('e') && c != QLatin1Char('E')) {
            return std::nullopt;
        }
    }
    bool ok = false;
    const double value = t.toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

namespace {

template<class T> std::optional<T> toIntegral(const QString &text)
{
    const auto number = ParseStoredNumber(text);
    if (!number) {
        return std::nullopt;
    }
    const double rounded = RoundHalfEven(*number);
    if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<T>::max())) {
        return std::nullopt;
    }
    return static_cast<T>(rounded);
}

} // namespace

std::optional<std::uint8_t> ToUnsigned8(const QString &text)
{
    return toIntegral<std::uint8_t>(text);
}

std::optional<std::int16_t> ToInt16(const QString &text)
{
    return toIntegral<std::int16_t>(text);
}

std::optional<std::int32_t> ToInt32(const QString &text)
{
    return toIntegral<std::int32_t>(text);
}

std::uint8_t SlideTimeFromStored(const QString &text)
{
    const auto seconds = ToUnsigned8(text);
    return seconds && *seconds != 0 ? *seconds : DefaultSlideTime;
}

std::optional<bool> ToTruth(const QString &text)
{
    if (text == QLatin1String("True")) {
        return true;
    }
    if (text == QLatin1String("False")) {
        return false;
    }
    return std::nullopt;
}

QString TruthText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

std::optional<std::int32_t> ToColourValue(const QString &text)
{
    // Colours are written as unsigned decimal text up to 0xFFFFFFFF by some tools; accept both forms.
    const auto number = ParseStoredNumber(text);
    if (!number) {
        return std::nullopt;
    }
    const double rounded = RoundHalfEven(*number);
    if (rounded >= 2147483648.0 && rounded <= 4294967295.0) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(rounded));
    }
    if (rounded < -2147483648.0 || rounded > 2147483647.0) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(rounded);
}

QString ColourText(std::int32_t value)
{
    return QString::number(value);
}

QColor ColourFromValue(std::int32_t value, const QPalette &palette)
{
    const auto bits = static_cast<std::uint32_t>(value);
    if (bits & 0x80000000u) {
        // System colours by their index; the few the windows use map onto the palette.
        switch (bits & 0xFFu) {
        case 0x05:
            return palette.color(QPalette::Base);
        case 0x08:
            return palette.color(QPalette::Text);
        case 0x0D:
            return palette.color(QPalette::Highlight);
        case 0x0E:
            return palette.color(QPalette::HighlightedText);
        case 0x0F:
            return palette.color(QPalette::Button);
        case 0x10:
            return palette.color(QPalette::Dark);
        case 0x12:
            return palette.color(QPalette::ButtonText);
        case 0x14:
            return palette.color(QPalette::Light);
        case 0x17:
            return palette.color(QPalette::ToolTipText);
        case 0x18:
            return palette.color(QPalette::ToolTipBase);
        default:
            return palette.color(QPalette::Window);
        }
    }
    return QColor(static_cast<int>(bits & 0xFFu), static_cast<int>((bits >> 8) & 0xFFu),
                  static_cast<int>((bits >> 16) & 0xFFu));
}

std::int32_t ValueFromColour(const QColor &colour)
{
    const QColor rgb = colour.toRgb();
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(rgb.red()) |
                                     (static_cast<std::uint32_t>(rgb.green()) << 8) |
                                     (static_cast<std::uint32_t>(rgb.blue()) << 16));
}

QColor ColourOf(const QString &stored, std::int32_t fallback, const QPalette &palette)
{
    return ColourFromValue(ToColourValue(stored).value_or(fallback), palette);
}

QString CaptionFromFolderName(const QString &name)
{
    QString caption = name;
    caption.replace(QLatin1Char('&'), QLatin1String("&&"));
    return caption;
}

QString FolderNameFromCaption(const QString &caption)
{
    QString name = caption;
    name.replace(QLatin1String("&&"), QLatin1String("&"));
    return name;
}
