// SPDX-License-Identifier: GPL-2.0-or-later
#include "show/Grad.h"

#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

int sectorOf(double a)
{
    if (a < 0 || a > 360) {
        return -1;
    }
    return std::min(7, static_cast<int>(a) / 45);
}

bool horizontalSector(int sector)
{
    return sector == 0 || sector == 3 || sector == 4 || sector == 7;
}

// Line n of the sweep: the start corner to the origin for n = 0, then moved n units from the start
// side. Coordinates are single precision as the ends were always kept; the far end is worked out
// from the near one.
QLineF lineAt(const GradientPlan &p, int n)
{
    if (n == 0 || p.sector < 0) {
        return QLineF(p.startX, p.startY, 0, 0);
    }
    const auto w = static_cast<float>(p.width);
    const auto h = static_cast<float>(p.height);
    const auto step = static_cast<float>(n);
    float x1 = 0;
    float y1 = 0;
    float x2 = 0;
    float y2 = 0;
    switch (p.sector) {
    case 0:
        x1 = -1, y1 = p.startY + step, x2 = w, y2 = static_cast<float>(y1 - p.K1);
        break;
    case 1:
        x1 = p.startX + step, y1 = -1, x2 = static_cast<float>(x1 - p.K2), y2 = h;
        break;
    case 2:
        x1 = p.startX + step, y1 = h, x2 = static_cast<float>(x1 - p.K2), y2 = -1;
        break;
    case 3:
        x1 = -1, y1 = p.startY - step, x2 = w, y2 = static_cast<float>(y1 + p.K1);
        break;
    case 4:
        x1 = w, y1 = p.startY - step, x2 = -1, y2 = static_cast<float>(y1 + p.K1);
        break;
    case 5:
        x1 = p.startX - step, y1 = h, x2 = static_cast<float>(x1 + p.K2), y2 = -1;
        break;
    case 6:
        x1 = p.startX - step, y1 = -1, x2 = static_cast<float>(x1 + p.K2), y2 = h;
        break;
    default:
        x1 = w, y1 = p.startY + step, x2 = -1, y2 = static_cast<float>(y1 - p.K1);
        break;
    }
    return QLineF(x1, y1, x2, y2);
}

// Which line passes through each pixel, as the sum of a row part and a column part: every line is
// straight and each is the one before moved by one unit, so the line through (x, y) is the line
// through (x, 0) moved by a whole number that depends on y alone (or the same with x and y
// swapped). A line at coordinate 10.7 lies in pixel 10, as when lines are drawn unsmoothed; of two
// lines in one pixel the later one shows. The small allowance keeps a slant of practically nothing
// (at 0 and 180 degrees) from moving the lines by one.
struct PixelLines
{
    std::vector<int> row;
    std::vector<int> column;
};

PixelLines pixelLines(const GradientPlan &p, int w, int h)
{
    constexpr double allowance = 1e-6;
    PixelLines m;
    m.row.resize(static_cast<std::size_t>(h));
    m.column.resize(static_cast<std::size_t>(w));
    if (horizontalSector(p.sector)) {
        // Line n crosses column x at y = n - run (sectors 0 and 7) or at y = H - n + run.
        const bool fromTop = p.sector == 0 || p.sector == 7;
        const bool runFromLeft = p.sector == 0 || p.sector == 3;
        for (int y = 0; y < h; ++y) {
            m.row[static_cast<std::size_t>(y)] = fromTop ? y : h - y;
        }
        for (int x = 0; x < w; ++x) {
            const double run = p.K1 * (runFromLeft ? x + 1 : w - x) / (w + 1);
            m.column[static_cast<std::size_t>(x)] =
                static_cast<int>(fromTop ? std::ceil(run - allowance) : std::floor(run + allowance));
        }
    } else {
        // Line n crosses row y at x = n - run (sectors 1 and 2) or at x = W - n + run.
        const bool fromLeft = p.sector == 1 || p.sector == 2;
        const bool runFromTop = p.sector == 1 || p.sector == 6;
        for (int x = 0; x < w; ++x) {
            m.column[static_cast<std::size_t>(x)] = fromLeft ? x : w - x;
        }
        for (int y = 0; y < h; ++y) {
            const double run = p.K2 * (runFromTop ? y + 1 : h - y) / (h + 1);
            m.row[static_cast<std::size_t>(y)] =
                static_cast<int>(fromLeft ? std::ceil(run - allowance) : std::floor(run + allowance));
        }
    }
    return m;
}

// One row of pixels. A full-screen picture is larger than the processor's caches, so the row is
// written around them (streaming stores), which saves reading each line of memory before it is
// overwritten; the caller fences once after the last row.
void fillRow(QRgb *out, const QRgb *colours, const int *column, int w)
{
    int x = 0;
#if defined(__SSE2__)
    for (; x < w && (reinterpret_cast<std::uintptr_t>(out + x) & 15) != 0; ++x) {
        out[x] = colours[column[x]];
    }
    for (; x + 4 <= w; x += 4) {
        const __m128i four =
            _mm_set_epi32(static_cast<int>(colours[column[x + 3]]), static_cast<int>(colours[column[x + 2]]),
                          static_cast<int>(colours[column[x + 1]]), static_cast<int>(colours[column[x]]));
        _mm_stream_si128(reinterpret_cast<__m128i *>(out + x), four);
    }
#endif
    for (; x < w; ++x) {
        out[x] = colours[column[x]];
    }
}

void drawLines(QPainter &painter, const std::vector<GradientLine> &lines)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen pen;
    pen.setWidth(1);
    pen.setCosmetic(true);
    for (const GradientLine &l : lines) {
        pen.setColor(QColor::fromRgb(l.colour));
        painter.setPen(pen);
        painter.drawLine(l.line);
    }
}

} // namespace

GradientPlan PlanGradient(double width, double height, std::int32_t colour1, std::int32_t colour2, int angle)
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
    GradientPlan plan;
    plan.sector = sectorOf(a);
    plan.width = width;
    plan.height = height;
    const double T = std::fabs(std::tan(a * 3.14159265358979 / 180));
    double band = 0;
    if (plan.sector >= 0 && horizontalSector(plan.sector)) {
        plan.K1 = T * width;
        band = (plan.K1 + height) / steps;
    } else if (plan.sector >= 0) {
        plan.K2 = height / T;
        band = (plan.K2 + width) / steps;
    }
    // Cut to one decimal, kept as whole tenths: 4.07 becomes 40 tenths, never 39.999... of them.
    const double rounded = std::nearbyint(band * 10);
    plan.tenths = static_cast<int>(std::clamp(rounded, 0.0, 1e9));
    if (rounded / 10 > band && plan.tenths > 0) {
        --plan.tenths;
    }
    // In every cycle of eleven rounds, the rounds from the threshold to the tenth draw one line
    // more than the others.
    const int threshold = 10 - plan.tenths % 10;

    plan.startX = a >= 180 ? static_cast<float>(width) : 0.0f;
    plan.startY = (a >= 90 && a < 270) ? static_cast<float>(height) : 0.0f;

    plan.colours.reserve(static_cast<std::size_t>(plan.tenths) * static_cast<std::size_t>(steps + 20) / 10 +
                         static_cast<std::size_t>(steps) + 64);
    int lines = plan.tenths / 10;
    int counter = 0;
    for (int i = 1; i <= steps + 20; ++i) {
        ++counter;
        if (counter == threshold) {
            ++lines;
        } else if (counter == 11) {
            --lines;
            counter = 0;
        }
        if (lines > 0) {
            const QRgb colour = qRgb(roundHalfEven(current[0]), roundHalfEven(current[1]), roundHalfEven(current[2]));
            plan.colours.insert(plan.colours.end(), static_cast<std::size_t>(lines), colour);
        }
        for (std::size_t k = 0; k < 3; ++k) {
            const double next =
                static_cast<double>(current[k]) - (static_cast<double>(difference[k]) / steps) * sign[k];
            current[k] = static_cast<float>(std::clamp(next, 0.0, 255.0));
        }
    }
    return plan;
}

std::vector<GradientLine> GradientSweep(double width, double height, std::int32_t colour1, std::int32_t colour2,
                                        int angle)
{
    const GradientPlan plan = PlanGradient(width, height, colour1, colour2, angle);
    std::vector<GradientLine> lines;
    lines.reserve(plan.colours.size());
    for (std::size_t n = 0; n < plan.colours.size(); ++n) {
        lines.push_back({lineAt(plan, static_cast<int>(n)), plan.colours[n]});
    }
    return lines;
}

void PaintGradient(QImage &target, std::int32_t colour1, std::int32_t colour2, int angle)
{
    const int w = target.width();
    const int h = target.height();
    if (w <= 0 || h <= 0) {
        return;
    }
    const GradientPlan plan = PlanGradient(w, h, colour1, colour2, angle);
    if (plan.colours.empty()) {
        return;
    }
    if (plan.sector < 0) {
        QPainter painter(&target);
        drawLines(painter, GradientSweep(w, h, colour1, colour2, angle));
        return;
    }
    const QImage::Format format = target.format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32 &&
        format != QImage::Format_ARGB32_Premultiplied) {
        QImage direct(w, h, QImage::Format_RGB32);
        PaintGradient(direct, colour1, colour2, angle);
        QPainter painter(&target);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, direct);
        return;
    }
    const PixelLines map = pixelLines(plan, w, h);
    // Past the last line (and before the first) a pixel takes the colour of the line next to it.
    const int last =
        *std::max_element(map.row.begin(), map.row.end()) + *std::max_element(map.column.begin(), map.column.end());
    std::vector<QRgb> lookup(static_cast<std::size_t>(std::max(last + 1, 1)));
    for (std::size_t i = 0; i < lookup.size(); ++i) {
        lookup[i] = plan.colours[std::min(i, plan.colours.size() - 1)];
    }
    const int *column = map.column.data();
    for (int y = 0; y < h; ++y) {
        fillRow(reinterpret_cast<QRgb *>(target.scanLine(y)), lookup.data() + map.row[static_cast<std::size_t>(y)],
                column, w);
    }
#if defined(__SSE2__)
    _mm_sfence();
#endif
}

void PaintGradient(QPaintDevice &target, std::int32_t colour1, std::int32_t colour2, int angle)
{
    if (target.devType() == QInternal::Image) {
        PaintGradient(static_cast<QImage &>(target), colour1, colour2, angle);
        return;
    }
    QPainter painter(&target);
    if (angle < 0 || angle > 360) {
        drawLines(painter, GradientSweep(target.width(), target.height(), colour1, colour2, angle));
        return;
    }
    QImage image(target.width(), target.height(), QImage::Format_RGB32);
    PaintGradient(image, colour1, colour2, angle);
    painter.drawImage(0, 0, image);
}
