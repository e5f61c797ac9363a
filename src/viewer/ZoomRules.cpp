// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/ZoomRules.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr std::array<double, 15> kSteps{1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3, 1, 1.5,
                                        2,       3,       4,       6,       8,       12,      16};
constexpr double kLargest = 16;
// Scales this close count as the same step (a fitted scale a hair off a step is that step).
constexpr double kSame = 1.0 / 512;

bool same(double a, double b)
{
    return std::abs(a - b) <= kSame * std::max(a, b);
}

double placedAxis(double at, double length, double areaStart, double areaLength)
{
    if (length <= areaLength) {
        return areaStart + (areaLength - length) / 2;
    }
    return std::clamp(at, areaStart + areaLength - length, areaStart);
}

} // namespace

double FittedScale(QSizeF natural, QSizeF area)
{
    if (natural.width() <= 0 || natural.height() <= 0 || area.width() <= 0 || area.height() <= 0) {
        return 1;
    }
    return std::min({1.0, area.width() / natural.width(), area.height() / natural.height()});
}

double NextZoomStep(double scale, int direction, double fittedScale)
{
    const double smallest = std::min(kSteps.front(), fittedScale);
    if (direction > 0) {
        double next = kLargest;
        for (double step : kSteps) {
            if (step > scale && !same(step, scale)) {
                next = std::min(next, step);
            }
        }
        if (fittedScale > scale && !same(fittedScale, scale)) {
            next = std::min(next, fittedScale);
        }
        return scale >= kLargest ? scale : next;
    }
    if (direction < 0) {
        double next = smallest;
        for (double step : kSteps) {
            if (step < scale && !same(step, scale)) {
                next = std::max(next, step);
            }
        }
        if (fittedScale < scale && !same(fittedScale, scale)) {
            next = std::max(next, fittedScale);
        }
        return scale <= smallest ? scale : next;
    }
    return scale;
}

QPointF ZoomedTopLeft(QPointF topLeft, double oldScale, double newScale, QPointF anchor)
{
    if (oldScale <= 0) {
        return topLeft;
    }
    const double ratio = newScale / oldScale;
    return anchor - (anchor - topLeft) * ratio;
}

QPointF PlacedTopLeft(QPointF topLeft, QSizeF scaled, QRectF area)
{
    return {placedAxis(topLeft.x(), scaled.width(), area.left(), area.width()),
            placedAxis(topLeft.y(), scaled.height(), area.top(), area.height())};
}
