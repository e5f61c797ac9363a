// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/SeamOutlines.h"

#include <charconv>
#include <cmath>
#include <numbers>
#include <optional>
#include <string_view>
#include <vector>

namespace {

struct Point
{
    double x;
    double y;
};

struct Attribute
{
    std::string_view name;
    std::string_view value;
};

// The attributes of one element, name="value" each; nothing when they are not of that form.
std::optional<std::vector<Attribute>> attributesOf(std::string_view text)
{
    std::vector<Attribute> result;
    std::size_t at = 0;
    for (;;) {
        while (at < text.size() && text[at] == ' ') {
            ++at;
        }
        if (at == text.size()) {
            return result;
        }
        const std::size_t equals = text.find("=\"", at);
        if (equals == std::string_view::npos) {
            return std::nullopt;
        }
        const std::size_t close = text.find('"', equals + 2);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        result.push_back({text.substr(at, equals - at), text.substr(equals + 2, close - equals - 2)});
        at = close + 1;
    }
}

bool readNumber(std::string_view &text, double &value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || !std::isfinite(value)) {
        return false;
    }
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

// "M x,y L x,y ... Z": one closed outline of straight edges, as the converter writes polygons.
std::optional<std::vector<Point>> polygonOf(std::string_view d)
{
    std::vector<Point> points;
    char command = 'M';
    for (;;) {
        if (!d.starts_with(command) || d.size() < 2 || d[1] != ' ') {
            return std::nullopt;
        }
        d.remove_prefix(2);
        Point p{};
        if (!readNumber(d, p.x) || !d.starts_with(',')) {
            return std::nullopt;
        }
        d.remove_prefix(1);
        if (!readNumber(d, p.y) || !d.starts_with(' ')) {
            return std::nullopt;
        }
        d.remove_prefix(1);
        points.push_back(p);
        if (d == "Z") {
            return points;
        }
        command = 'L';
    }
}

double cross(Point a, Point b)
{
    return a.x * b.y - a.y * b.x;
}

// The polygon grown by `half` on every side with mitred corners, when it is convex and no corner
// is sharp enough for a miter limit to cut (a miter at most twice the stroke width, below any
// renderer's limit).
std::optional<std::vector<Point>> grown(std::vector<Point> points, double half)
{
    auto same = [](Point a, Point b) { return std::abs(a.x - b.x) < 1e-9 && std::abs(a.y - b.y) < 1e-9; };
    std::vector<Point> corners;
    for (const Point p : points) {
        if (corners.empty() || !same(corners.back(), p)) {
            corners.push_back(p);
        }
    }
    while (corners.size() > 1 && same(corners.front(), corners.back())) {
        corners.pop_back();
    }
    // Drop corners where the outline runs straight on.
    for (bool dropped = true; dropped && corners.size() >= 3;) {
        dropped = false;
        for (std::size_t i = 0; i < corners.size(); ++i) {
            const Point a = corners[(i + corners.size() - 1) % corners.size()];
            const Point b = corners[i];
            const Point c = corners[(i + 1) % corners.size()];
            const Point in{b.x - a.x, b.y - a.y};
            const Point out{c.x - b.x, c.y - b.y};
            if (std::abs(cross(in, out)) <= 1e-12 * (std::hypot(in.x, in.y) * std::hypot(out.x, out.y)) &&
                in.x * out.x + in.y * out.y > 0) {
                corners.erase(corners.begin() + static_cast<std::ptrdiff_t>(i));
                dropped = true;
                break;
            }
        }
    }
    const std::size_t n = corners.size();
    if (n < 3) {
        return std::nullopt;
    }
    double area = 0;
    for (std::size_t i = 0; i < n; ++i) {
        area += cross(corners[i], corners[(i + 1) % n]);
    }
    if (std::abs(area) < 1e-9) {
        return std::nullopt;
    }
    const double side = area > 0 ? 1 : -1;
    std::vector<Point> normals(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Point a = corners[i];
        const Point b = corners[(i + 1) % n];
        const double length = std::hypot(b.x - a.x, b.y - a.y);
        normals[i] = {side * (b.y - a.y) / length, -side * (b.x - a.x) / length};
    }
    std::vector<Point> result;
    double turning = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Point n1 = normals[(i + n - 1) % n];
        const Point n2 = normals[i];
        const double turn = cross(n1, n2);
        const double along = n1.x * n2.x + n1.y * n2.y;
        if (turn * side <= 0 || along < -0.5) { // not convex here, or a miter over twice the width
            return std::nullopt;
        }
        turning += std::atan2(turn, along);
        const double scale = half / (1 + along);
        result.push_back({corners[i].x + (n1.x + n2.x) * scale, corners[i].y + (n1.y + n2.y) * scale});
    }
    // Turning once round: a star drawn as one outline also turns one way at every corner.
    if (std::abs(std::abs(turning) - 2 * std::numbers::pi) > 1e-6) {
        return std::nullopt;
    }
    return result;
}

void appendNumber(std::string &out, double value)
{
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 4);
    out.append(buffer, error == std::errc() ? end : buffer);
}

// The element's replacement, or nothing to keep it as it is.
std::optional<std::string> folded(std::string_view element)
{
    const auto attributes = attributesOf(element);
    if (!attributes) {
        return std::nullopt;
    }
    std::string_view clip;
    std::string_view d;
    std::string_view width;
    std::string_view stroke;
    std::string_view fill;
    for (const Attribute &a : *attributes) {
        std::string_view *slot = a.name == "clip-path"      ? &clip
                                 : a.name == "d"            ? &d
                                 : a.name == "stroke-width" ? &width
                                 : a.name == "stroke"       ? &stroke
                                 : a.name == "fill"         ? &fill
                                                            : nullptr;
        if (slot == nullptr || !slot->empty()) {
            return std::nullopt;
        }
        *slot = a.value;
    }
    if (width != "1px" || stroke.size() != 7 || !stroke.starts_with('#') || stroke != fill) {
        return std::nullopt;
    }
    const auto polygon = polygonOf(d);
    if (!polygon) {
        return std::nullopt;
    }
    const auto outline = grown(*polygon, 0.5);
    if (!outline) {
        return std::nullopt;
    }
    std::string out = "<path ";
    if (!clip.empty()) {
        out.append("clip-path=\"").append(clip).append("\" ");
    }
    out.append("d=\"");
    char command = 'M';
    for (const Point p : *outline) {
        out.push_back(command);
        out.push_back(' ');
        appendNumber(out, p.x);
        out.push_back(',');
        appendNumber(out, p.y);
        out.push_back(' ');
        command = 'L';
    }
    out.append("Z\" fill=\"").append(fill).append("\" />");
    return out;
}

} // namespace

void FoldSeamOutlines(std::string &svg)
{
    constexpr std::string_view open = "<path ";
    constexpr std::string_view close = "/>";
    std::string out;
    out.reserve(svg.size());
    std::size_t copied = 0;
    for (std::size_t at = svg.find(open); at != std::string::npos; at = svg.find(open, at)) {
        const std::size_t end = svg.find(close, at);
        if (end == std::string::npos) {
            break;
        }
        const std::string_view inside(svg.data() + at + open.size(), end - at - open.size());
        if (const auto replacement = folded(inside)) {
            out.append(svg, copied, at - copied);
            out += *replacement;
            copied = end + close.size();
        }
        at = end + close.size();
    }
    if (copied == 0) {
        return;
    }
    out.append(svg, copied, std::string::npos);
    svg = std::move(out);
}
