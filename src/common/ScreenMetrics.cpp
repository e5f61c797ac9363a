// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/ScreenMetrics.h"

#include "common/Rounding.h"

#include <QRegularExpression>

std::optional<ScreenSpec> ParseScreenSpec(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(\\d{1,5})\\s*[xX]\\s*(\\d{1,5})\\s*(?:@\\s*(\\d{1,2}(?:\\.\\d+)?))?\\s*$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    ScreenSpec spec;
    spec.widthPx = m.captured(1).toInt();
    spec.heightPx = m.captured(2).toInt();
    if (m.hasCaptured(3)) {
        spec.twipsPerPixel = m.captured(3).toFloat();
    }
    if (spec.widthPx <= 0 || spec.heightPx <= 0 || spec.twipsPerPixel < 1 || spec.twipsPerPixel > 30) {
        return std::nullopt;
    }
    return spec;
}

void ApplyScreenMetrics(SharedState &state, const ScreenSpec &screen)
{
    state.TwipsPerPixelX = screen.twipsPerPixel;
    state.TwipsPerPixelY = screen.twipsPerPixel;
    const float widthTwips = static_cast<float>(screen.widthPx) * screen.twipsPerPixel;
    const float heightTwips = static_cast<float>(screen.heightPx) * screen.twipsPerPixel;
    state.ScreenWidthPx = widthTwips / state.TwipsPerPixelX;
    state.ScreenHeightPx = heightTwips / state.TwipsPerPixelY;
    state.PixelScaleX = static_cast<double>(state.TwipsPerPixelX) / 15.0;
    state.PixelScaleY = static_cast<double>(state.TwipsPerPixelY) / 15.0;
}

int TwipsToPixels(double twips, float twipsPerPixel)
{
    const double tpp = twipsPerPixel > 0 ? twipsPerPixel : 15.0;
    return static_cast<int>(RoundToInt(twips / tpp));
}

QRect TwipsRect(double left, double top, double width, double height, float twipsPerPixelX, float twipsPerPixelY)
{
    return QRect(TwipsToPixels(left, twipsPerPixelX), TwipsToPixels(top, twipsPerPixelY),
                 TwipsToPixels(width, twipsPerPixelX), TwipsToPixels(height, twipsPerPixelY));
}

int ScaledDesignPixels(double designTwips, double pixelScale, float twipsPerPixel)
{
    if (pixelScale <= 0 || twipsPerPixel <= 0) {
        return static_cast<int>(RoundToInt(designTwips / 15.0));
    }
    return TwipsToPixels(designTwips * pixelScale, twipsPerPixel);
}

float ScreenTwipsPerPixelX()
{
    const float tpp = State().TwipsPerPixelX;
    return tpp > 0 ? tpp : 15.0f;
}

float ScreenTwipsPerPixelY()
{
    const float tpp = State().TwipsPerPixelY;
    return tpp > 0 ? tpp : 15.0f;
}

QRect CentredDesignRect(double widthTwips, double heightTwips, const SharedState &state)
{
    const int w = ScaledDesignPixels(widthTwips, state.PixelScaleX, state.TwipsPerPixelX);
    const int h = ScaledDesignPixels(heightTwips, state.PixelScaleY, state.TwipsPerPixelY);
    return QRect((static_cast<int>(state.ScreenWidthPx) - w) / 2, (static_cast<int>(state.ScreenHeightPx) - h) / 2, w,
                 h);
}
