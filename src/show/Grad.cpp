#include "show/Grad.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QString>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct Components
{
    std::array<std::int32_t, 3> rgb{}; // red, green, blue
};

// The colour written as upper-case hexadecimal, padded to six digits: red is the last two digits,
// green the third and fourth from the left, blue the first two. Up to 0xFFFFFF that is the plain
// byte split; a longer value (a system colour such as 0x8000000F) splits by the same text rule.
Components split(std::int32_t colour)
{
    QString hex = QString::number(static_cast<std::uint32_t>(colour), 16).toUpper();
    while (hex.size() < 6) {
        hex.prepend(QLatin1Char('0'));
    }
    Components c;
    c.rgb[0] = hex.right(2).toInt(nullptr, 16);
    c.rgb[1] = hex.mid(2, 2).toInt(nullptr, 16);
    c.rgb[2] = hex.left(2).toInt(nullptr, 16);
    return c;
}

int roundHalfEven(double v)
{
    return static_cast<int>(std::nearbyint(v));
}

} // namespace

std::vector<GradientLine> GradientSweep(double width, double height, std::int32_t colour1, std::int32_t colour2,
                                        int angle)
{
    if (angle == 22 || angle == 140 || angle == 202 || angle == 320) {
        angle += 1;
    }
    const Components first = split(colour1);
    const Components second = split(colour2);
    std::array<float, 3> current{};
    std::array<std::int32_t, 3> difference{};
    std::array<int, 3> sign{};
    for (std::size_t k = 0; k < 3; ++k) {
        current[k] = static_cast<float>(first.rgb[k]);
        if (first.rgb[k] <= second.rgb[k]) {
            difference[k] = second.rgb[k] - first.rgb[k];
            sign[k] = -1;
        } else {
            difference[k] = first.rgb[k] - second.rgb[k];
            sign[k] = 1;
        }
    }
    int steps = *std::max_element(difference.begin(), difference.end());
    if (steps == 0) {
        steps = 1;
    }

    double a = angle;
    if (angle >= 0 && angle < 270) {
        a = angle + 90;
    } else if (angle >= 270 && angle < 360) {
        a = angle - 270;
    }
    const double T = std::fabs(std::tan(a * 3.14159265358979 / 180));
    const double W = width;
    const double H = height;
    double K1 = 0;
    double K2 = 0;
    double band = 0;
    const bool sectorH = (a >= 0 && a < 45) || (a >= 135 && a < 225) || (a >= 315 && a <= 360);
    const bool sectorV = (a >= 45 && a < 135) || (a >= 225 && a < 315);
    if (sectorH) {
        K1 = T * W;
        band = (K1 + H) / steps;
    } else if (sectorV) {
        K2 = H / T;
        band = (K2 + W) / steps;
    }
    // Cut to one decimal; the tenths drive the eleven-round correction cycle.
    const double r = std::nearbyint(band * 10) / 10;
    band = r > band ? r - 0.1 : r;
    const int threshold = roundHalfEven(10 - (band - std::floor(band)) * 10);

    float x1 = a >= 180 ? static_cast<float>(W) : 0.0f;
    float y1 = (a >= 90 && a < 270) ? static_cast<float>(H) : 0.0f;
    float x2 = 0;
    float y2 = 0;
    const auto w = static_cast<float>(W);
    const auto h = static_cast<float>(H);

    std::vector<GradientLine> lines;
    lines.reserve(static_cast<std::size_t>(std::max(0.0, (sectorH ? K1 + H : K2 + W))) + 64);
    int counter = 0;
    for (int i = 1; i <= steps + 20; ++i) {
        ++counter;
        if (counter == threshold) {
            band += 1;
        } else if (counter == 11 && threshold != 0) {
            band -= 1;
            counter = 0;
        } else if (counter == 10 && threshold == 0) {
            counter = 0;
        }
        for (int j = 1; j <= band; ++j) {
            const QRgb colour = qRgb(roundHalfEven(current[0]), roundHalfEven(current[1]), roundHalfEven(current[2]));
            lines.push_back({QLineF(x1, y1, x2, y2), colour});
            if (a >= 0 && a < 45) {
                x1 = -1;
                y1 = y1 + 1;
                x2 = w;
                y2 = static_cast<float>(y1 - K1);
            } else if (a >= 45 && a < 90) {
                x1 = x1 + 1;
                y1 = -1;
                x2 = static_cast<float>(x1 - K2);
                y2 = h;
            } else if (a >= 90 && a < 135) {
                x1 = x1 + 1;
                y1 = h;
                x2 = static_cast<float>(x1 - K2);
                y2 = -1;
            } else if (a >= 135 && a < 180) {
                x1 = -1;
                y1 = y1 - 1;
                x2 = w;
                y2 = static_cast<float>(y1 + K1);
            } else if (a >= 180 && a < 225) {
                x1 = w;
                y1 = y1 - 1;
                x2 = -1;
                y2 = static_cast<float>(y1 + K1);
            } else if (a >= 225 && a < 270) {
                x1 = x1 - 1;
                y1 = h;
                x2 = static_cast<float>(x1 + K2);
                y2 = -1;
            } else if (a >= 270 && a < 315) {
                x1 = x1 - 1;
                y1 = -1;
                x2 = static_cast<float>(x1 + K2);
                y2 = h;
            } else if (a >= 315 && a <= 360) {
                x1 = w;
                y1 = y1 + 1;
                x2 = -1;
                y2 = static_cast<float>(y1 - K1);
            }
        }
        for (std::size_t k = 0; k < 3; ++k) {
            const double next =
                static_cast<double>(current[k]) - (static_cast<double>(difference[k]) / steps) * sign[k];
            current[k] = static_cast<float>(std::clamp(next, 0.0, 255.0));
        }
    }
    return lines;
}

void DrawGradient(QPainter &painter, const std::vector<GradientLine> &lines)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen;
    pen.setWidth(1);
    pen.setCosmetic(true);
    // Lines of one colour come one after another: drawn in one call each, in the same order.
    QVarLengthArray<QLineF, 256> run;
    auto flush = [&](QRgb colour) {
        if (run.isEmpty()) {
            return;
        }
        pen.setColor(QColor::fromRgb(colour));
        painter.setPen(pen);
        painter.drawLines(run.constData(), static_cast<int>(run.size()));
        run.clear();
    };
    QRgb colour = lines.empty() ? 0 : lines.front().colour;
    for (const GradientLine &l : lines) {
        if (l.colour != colour) {
            flush(colour);
            colour = l.colour;
        }
        run.append(l.line);
    }
    flush(colour);
}

void PaintGradient(QPaintDevice &target, std::int32_t colour1, std::int32_t colour2, int angle)
{
    const auto lines = GradientSweep(target.width(), target.height(), colour1, colour2, angle);
    QPainter painter(&target);
    DrawGradient(painter, lines);
}
