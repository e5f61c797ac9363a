// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

// Zoom steps of the full-size view: Ctrl+wheel and the plus and minus keys go from one step to
// the next, keeping the point under the pointer (or the middle of the view) where it is.

// The scale one step up (direction > 0) or down from `scale`, 1 being the natural size. The
// steps are the usual fractions and multiples (1/8 ... 16), with the scale that fits the picture
// to the free area as a step of its own; the smallest is the fitted scale or 1/8, whichever is
// smaller, the largest 16. At either end the scale stays as it is.
[[nodiscard]] double NextZoomStep(double scale, int direction, double fittedScale);

// The scale at which a picture of `natural` pixels fits into `area` (never above 1).
[[nodiscard]] double FittedScale(QSizeF natural, QSizeF area);

// Where the picture's top-left corner goes when it is rescaled from `oldScale` to `newScale`,
// so that the picture point under `anchor` stays under it. All in the same coordinates.
[[nodiscard]] QPointF ZoomedTopLeft(QPointF topLeft, double oldScale, double newScale, QPointF anchor);

// The top-left corner kept inside the rules of the full-size view: a side smaller than the area
// is centred in it; a larger one leaves no gap at either edge.
[[nodiscard]] QPointF PlacedTopLeft(QPointF topLeft, QSizeF scaled, QRectF area);
