// SPDX-License-Identifier: GPL-2.0-or-later
// A slide as an office suite exports it to WMF and EMF: gradients written as hundreds of solid
// bands (each with its own brush created, selected and deleted), curved shapes flattened to
// polygons, outlines as wide-pen polylines, and text placed glyph by glyph. Drawings like this
// are what people's metafiles mostly are, and they cost far more to draw than a few shapes.
#pragma once

#include <QByteArray>

// The same drawing in both formats, 29.7 x 21 cm (A4 landscape), deterministic.
QByteArray OfficeDrawingWmf();
QByteArray OfficeDrawingEmf();
