// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLineF>
#include <QRgb>

#include <cstdint>
#include <vector>

class QImage;
class QPaintDevice;

// The two-colour background of the slide show and the settings preview: straight lines one unit
// apart, each in one colour, swept across the surface from the side or corner where the first
// colour starts. Colours are 0x00BBGGRR values, the angle in degrees (0: first colour at the left
// edge, sweeping right; 90: from the bottom; 180: from the right; 270: from the top).

// The sweep as numbers: the colour of every line in drawing order, and where line n lies. Line 0
// runs from the start corner to the origin; line n >= 1 runs between the two ends below, moved n
// units from the start side.
struct GradientPlan
{
    // 0..7: the eighth of the internal angle (0 <= a < 45 is 0, ..., 315 <= a <= 360 is 7);
    // -1 for an angle outside 0..360, whose lines never move.
    int sector = -1;
    double width = 0;
    double height = 0;
    double K1 = 0; // vertical run of a line across the surface (sectors 0, 3, 4, 7)
    double K2 = 0; // horizontal run of a line across the surface (sectors 1, 2, 5, 6)
    float startX = 0;
    float startY = 0;
    int tenths = 0; // lines per colour band, in tenths, cut (never rounded up) to one decimal
    std::vector<QRgb> colours;
};

[[nodiscard]] GradientPlan PlanGradient(double width, double height, std::int32_t colour1, std::int32_t colour2,
                                        int angle);

struct GradientLine
{
    QLineF line;
    QRgb colour;
};

// Every line of the sweep, in drawing order, for a surface of width x height units.
[[nodiscard]] std::vector<GradientLine> GradientSweep(double width, double height, std::int32_t colour1,
                                                      std::int32_t colour2, int angle);

// Fills every pixel of the image with the colour of the sweep line through it; pixels beyond the
// first or last line take that line's colour, so no pixel keeps what was there before. An angle
// outside 0..360 draws only its few unmoving lines.
void PaintGradient(QImage &target, std::int32_t colour1, std::int32_t colour2, int angle = 0);

// Any other surface: its lines drawn one unit wide.
void PaintGradient(QPaintDevice &target, std::int32_t colour1, std::int32_t colour2, int angle = 0);
