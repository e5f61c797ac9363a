#pragma once

#include <QLineF>
#include <QRgb>

#include <cstdint>
#include <vector>

class QPainter;
class QPaintDevice;

// The two-colour background of the slide show and the settings preview: straight lines one unit
// apart, each in one colour, swept across the surface from the side or corner where the first
// colour starts. Colours are 0x00BBGGRR values, the angle in degrees (0: first colour at the left
// edge, sweeping right; 90: from the bottom; 180: from the right; 270: from the top).

struct GradientLine
{
    QLineF line;
    QRgb colour;
};

// Every line of the sweep, in drawing order, for a surface of width x height units.
[[nodiscard]] std::vector<GradientLine> GradientSweep(double width, double height, std::int32_t colour1,
                                                      std::int32_t colour2, int angle);

// Draws lines as one-unit, unsmoothed strokes.
void DrawGradient(QPainter &painter, const std::vector<GradientLine> &lines);

// Paints the whole device (its width and height in pixels).
void PaintGradient(QPaintDevice &target, std::int32_t colour1, std::int32_t colour2, int angle = 0);
