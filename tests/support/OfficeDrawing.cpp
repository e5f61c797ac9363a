// SPDX-License-Identifier: GPL-2.0-or-later
#include "OfficeDrawing.h"

#include <QPoint>
#include <QRect>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace {

// Logical units are 1/100 mm, as office suites write them.
constexpr int kWidth = 29700;
constexpr int kHeight = 21000;

enum class Op { Brush, NullPen, Pen, Polygon, Polyline, Font, TextColour, Text, ClipTo, Unclip };

struct Step
{
    Op op = Op::Brush;
    std::uint32_t colour = 0; // COLORREF: 0x00bbggrr
    int size = 0;             // pen width or font height
    int weight = 400;
    std::vector<QPoint> points;
    QString text;
    QRect rect;
};

std::uint32_t rgb(int r, int g, int b)
{
    return static_cast<std::uint32_t>(r | (g << 8) | (b << 16));
}

std::uint32_t mix(std::uint32_t from, std::uint32_t to, double t)
{
    auto channel = [&](int shift) {
        const double a = (from >> shift) & 0xFF;
        const double b = (to >> shift) & 0xFF;
        return static_cast<std::uint32_t>(std::lround(a + (b - a) * t)) << shift;
    };
    return channel(0) | channel(8) | channel(16);
}

std::vector<QPoint> ellipse(QPoint centre, int rx, int ry, int corners)
{
    std::vector<QPoint> points;
    for (int i = 0; i < corners; ++i) {
        const double a = 2 * std::numbers::pi * i / corners;
        points.emplace_back(centre.x() + static_cast<int>(std::lround(rx * std::cos(a))),
                            centre.y() + static_cast<int>(std::lround(ry * std::sin(a))));
    }
    return points;
}

std::vector<QPoint> roundedBox(QRect r, int radius)
{
    std::vector<QPoint> points;
    const QPoint corners[] = {{r.right() - radius, r.top() + radius},
                              {r.right() - radius, r.bottom() - radius},
                              {r.left() + radius, r.bottom() - radius},
                              {r.left() + radius, r.top() + radius}};
    for (int c = 0; c < 4; ++c) {
        for (int i = 0; i <= 8; ++i) {
            const double a = std::numbers::pi / 2 * (c - 1 + i / 8.0);
            points.emplace_back(corners[c].x() + static_cast<int>(std::lround(radius * std::cos(a))),
                                corners[c].y() + static_cast<int>(std::lround(radius * std::sin(a))));
        }
    }
    return points;
}

class Slide
{
public:
    void brush(std::uint32_t c) { add(Op::Brush).colour = c; }
    void noPen() { add(Op::NullPen); }
    void pen(std::uint32_t c, int width)
    {
        Step &s = add(Op::Pen);
        s.colour = c;
        s.size = width;
    }
    void polygon(std::vector<QPoint> p) { add(Op::Polygon).points = std::move(p); }
    void polyline(std::vector<QPoint> p) { add(Op::Polyline).points = std::move(p); }
    void font(int height, int weight)
    {
        Step &s = add(Op::Font);
        s.size = height;
        s.weight = weight;
    }
    void textColour(std::uint32_t c) { add(Op::TextColour).colour = c; }
    void text(QPoint at, const QString &t)
    {
        Step &s = add(Op::Text);
        s.points = {at};
        s.text = t;
    }
    void clipTo(QRect r) { add(Op::ClipTo).rect = r; }
    void unclip() { add(Op::Unclip); }

    // One solid band per step, the way a gradient reaches a metafile.
    void linearGradient(QRect r, std::uint32_t from, std::uint32_t to, int bands, bool vertical)
    {
        noPen();
        const int length = vertical ? r.height() : r.width();
        for (int i = 0; i < bands; ++i) {
            const int a = length * i / bands;
            const int b = length * (i + 1) / bands;
            brush(mix(from, to, static_cast<double>(i) / (bands - 1)));
            polygon(vertical ? std::vector<QPoint>{{r.left(), r.top() + a},
                                                   {r.right(), r.top() + a},
                                                   {r.right(), r.top() + b},
                                                   {r.left(), r.top() + b}}
                             : std::vector<QPoint>{{r.left() + a, r.top()},
                                                   {r.left() + b, r.top()},
                                                   {r.left() + b, r.bottom()},
                                                   {r.left() + a, r.bottom()}});
        }
    }

    void radialGradient(QPoint centre, int radius, std::uint32_t outside, std::uint32_t inside, int rings)
    {
        noPen();
        for (int i = 0; i < rings; ++i) {
            const int r = radius * (rings - i) / rings;
            brush(mix(outside, inside, static_cast<double>(i) / (rings - 1)));
            polygon(ellipse(centre, r, r, 72));
        }
    }

    std::vector<Step> steps;

private:
    Step &add(Op op)
    {
        steps.emplace_back();
        steps.back().op = op;
        return steps.back();
    }
};

// A glyph's advance at a font height, near enough to a sans face's.
int advance(QChar c, int height)
{
    const char l = c.toLatin1();
    if (l == ' ' || l == 'i' || l == 'l' || l == 'j' || l == 't' || l == 'f' || l == '.' || l == ',') {
        return height * 28 / 100;
    }
    if (l == 'm' || l == 'w' || l == 'M' || l == 'W') {
        return height * 83 / 100;
    }
    return c.isUpper() || c.isDigit() ? height * 64 / 100 : height * 55 / 100;
}

std::vector<Step> slide()
{
    Slide s;
    s.linearGradient(QRect(0, 0, kWidth, kHeight), rgb(11, 46, 107), rgb(232, 241, 255), 255, true);

    const QRect header(1000, 900, kWidth - 2000, 2800);
    s.clipTo(header);
    s.linearGradient(header, rgb(250, 160, 40), rgb(200, 40, 60), 128, false);
    s.unclip();
    s.font(-1100, 700);
    s.textColour(rgb(255, 255, 255));
    s.text({1600, 2700}, QStringLiteral("Quarterly review: the northern sites"));

    s.radialGradient({22600, 12400}, 5200, rgb(20, 90, 40), rgb(190, 240, 150), 96);

    const std::uint32_t fills[] = {rgb(66, 133, 244), rgb(52, 168, 83), rgb(251, 188, 5)};
    for (int i = 0; i < 3; ++i) {
        const QRect box(1500 + i * 5200, 5200, 4200, 2600);
        s.pen(rgb(30, 30, 30), 50);
        s.brush(fills[i]);
        s.polygon(roundedBox(box, 500));
        auto outline = roundedBox(box, 500);
        outline.push_back(outline.front());
        s.polyline(outline);
        s.font(-520, 700);
        s.textColour(rgb(255, 255, 255));
        s.text({box.left() + 400, box.top() + 1500}, QStringLiteral("Stage %1").arg(i + 1));
        if (i < 2) {
            s.noPen();
            s.brush(rgb(40, 40, 40));
            const int x = box.right() + 100;
            const int y = box.center().y();
            s.polygon({{x, y - 120},
                       {x + 600, y - 120},
                       {x + 600, y - 360},
                       {x + 900, y},
                       {x + 600, y + 360},
                       {x + 600, y + 120},
                       {x, y + 120}});
        }
    }

    // A pie chart of five slices.
    const QPoint pie(22600, 12400);
    const std::uint32_t slices[] = {rgb(230, 80, 60), rgb(250, 200, 60), rgb(90, 160, 220), rgb(120, 90, 200),
                                    rgb(240, 240, 240)};
    const double shares[] = {0.31, 0.22, 0.19, 0.16, 0.12};
    double start = -std::numbers::pi / 2;
    s.pen(rgb(255, 255, 255), 40);
    for (int i = 0; i < 5; ++i) {
        const double end = start + shares[i] * 2 * std::numbers::pi;
        std::vector<QPoint> slice{pie};
        for (int k = 0; k <= 40; ++k) {
            const double a = start + (end - start) * k / 40;
            slice.emplace_back(pie.x() + static_cast<int>(std::lround(3600 * std::cos(a))),
                               pie.y() + static_cast<int>(std::lround(3600 * std::sin(a))));
        }
        s.brush(slices[i]);
        s.polygon(slice);
        start = end;
    }

    // A trend line: a cubic curve flattened to a polyline, over a grid.
    s.pen(rgb(200, 200, 210), 20);
    for (int y = 9000; y <= 19000; y += 1000) {
        s.polyline({{1500, y}, {15500, y}});
    }
    s.pen(rgb(200, 30, 30), 90);
    std::vector<QPoint> curve;
    for (int k = 0; k <= 240; ++k) {
        const double t = k / 240.0;
        const double x = 1500 + 14000 * t;
        const double y = 17500 - 6500 * t + 2500 * std::sin(t * 3 * std::numbers::pi) * (1 - t);
        curve.emplace_back(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
    }
    s.polyline(curve);

    // A star and the bullet points.
    std::vector<QPoint> star;
    for (int k = 0; k < 10; ++k) {
        const double a = -std::numbers::pi / 2 + k * std::numbers::pi / 5;
        const int r = k % 2 ? 500 : 1200;
        star.emplace_back(27000 + static_cast<int>(std::lround(r * std::cos(a))),
                          5000 + static_cast<int>(std::lround(r * std::sin(a))));
    }
    s.pen(rgb(120, 80, 0), 40);
    s.brush(rgb(255, 215, 0));
    s.polygon(star);
    s.font(-420, 400);
    s.textColour(rgb(20, 20, 40));
    const QString bullets[] = {QStringLiteral("Visitors up 14 % on the year, most of them in May"),
                               QStringLiteral("Two new trails opened; a third waits for its bridge"),
                               QStringLiteral("Costs held at last year's level, staff up by three"),
                               QStringLiteral("Survey: 87 % would come back, 9 % not sure")};
    for (int i = 0; i < 4; ++i) {
        s.text({1700, 9700 + i * 700}, QStringLiteral("\u00B7 ") + bullets[i]);
    }
    return s.steps;
}

class Writer
{
public:
    virtual ~Writer() = default;

    void write(const std::vector<Step> &steps)
    {
        for (const Step &step : steps) {
            switch (step.op) {
            case Op::Brush:
                replace(brush, createBrush(step.colour));
                break;
            case Op::NullPen:
                replace(pen, createPen(5, 0, 0xFFFFFF));
                break;
            case Op::Pen:
                replace(pen, createPen(0, step.size, step.colour));
                break;
            case Op::Font:
                replace(font, createFont(step.size, step.weight));
                break;
            case Op::Polygon:
                polygon(step.points, true);
                break;
            case Op::Polyline:
                polygon(step.points, false);
                break;
            case Op::TextColour:
                textColour(step.colour);
                break;
            case Op::Text:
                text(step.points.front(), step.text, fontHeight(steps, &step));
                break;
            case Op::ClipTo:
                clipTo(step.rect);
                break;
            case Op::Unclip:
                unclip();
                break;
            }
        }
    }

protected:
    // Object slots are taken lowest first and freed by deletion, as a GDI object table is.
    int takeSlot()
    {
        const auto free = std::find(used.begin(), used.end(), false);
        if (free != used.end()) {
            *free = true;
            return static_cast<int>(free - used.begin());
        }
        used.push_back(true);
        return static_cast<int>(used.size()) - 1;
    }

    static std::vector<int> dxFor(const QString &s, int height)
    {
        std::vector<int> dx;
        for (const QChar c : s) {
            dx.push_back(advance(c, std::abs(height)));
        }
        return dx;
    }

    virtual int createBrush(std::uint32_t colour) = 0;
    virtual int createPen(int style, int width, std::uint32_t colour) = 0;
    virtual int createFont(int height, int weight) = 0;
    virtual void select(int slot) = 0;
    virtual void remove(int slot) = 0;
    virtual void polygon(const std::vector<QPoint> &points, bool closed) = 0;
    virtual void textColour(std::uint32_t colour) = 0;
    virtual void text(QPoint at, const QString &s, int height) = 0;
    virtual void clipTo(QRect r) = 0;
    virtual void unclip() = 0;

    std::vector<bool> used;

private:
    void replace(int &current, int created)
    {
        select(created);
        if (current >= 0) {
            remove(current);
            used[static_cast<std::size_t>(current)] = false;
        }
        current = created;
    }

    static int fontHeight(const std::vector<Step> &steps, const Step *at)
    {
        for (auto it = steps.rend() - (at - steps.data()); it != steps.rend(); ++it) {
            if (it->op == Op::Font) {
                return it->size;
            }
        }
        return -400;
    }

    int brush = -1;
    int pen = -1;
    int font = -1;
};

void put16(QByteArray &b, int v)
{
    const auto u = static_cast<std::uint16_t>(v);
    b.append(static_cast<char>(u & 0xFF));
    b.append(static_cast<char>(u >> 8));
}

void put32(QByteArray &b, std::int64_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    for (int shift = 0; shift < 32; shift += 8) {
        b.append(static_cast<char>((u >> shift) & 0xFF));
    }
}

class WmfWriter : public Writer
{
public:
    QByteArray finish(const std::vector<Step> &steps)
    {
        record(0x020B, {0, 0});            // SetWindowOrg(y, x)
        record(0x020C, {kHeight, kWidth}); // SetWindowExt(y, x)
        record(0x0102, {1});               // SetBkMode: transparent
        record(0x0106, {1});               // SetPolyFillMode: alternate
        record(0x012E, {24, 0});           // SetTextAlign: baseline
        write(steps);
        record(0x0000, {}); // EOF

        QByteArray out;
        put32(out, 0x9AC6CDD7);
        put16(out, 0);
        for (const int v : {0, 0, kWidth, kHeight}) {
            put16(out, v);
        }
        put16(out, 2540); // units per inch: 1/100 mm
        put32(out, 0);
        std::uint16_t checksum = 0;
        for (int i = 0; i < 20; i += 2) {
            checksum ^= static_cast<std::uint16_t>(static_cast<unsigned char>(out[i]) |
                                                   (static_cast<unsigned char>(out[i + 1]) << 8));
        }
        put16(out, checksum);
        put16(out, 1);
        put16(out, 9);
        put16(out, 0x0300);
        put32(out, (18 + body.size()) / 2);
        put16(out, static_cast<int>(used.size()));
        put32(out, maxRecord);
        put16(out, 0);
        return out + body;
    }

protected:
    int createBrush(std::uint32_t colour) override
    {
        record(0x02FC, {0, static_cast<int>(colour & 0xFFFF), static_cast<int>(colour >> 16), 0});
        return takeSlot();
    }
    int createPen(int style, int width, std::uint32_t colour) override
    {
        record(0x02FA, {style, width, 0, static_cast<int>(colour & 0xFFFF), static_cast<int>(colour >> 16)});
        return takeSlot();
    }
    int createFont(int height, int weight) override
    {
        QByteArray face("Liberation Sans");
        face.resize(32, '\0');
        record(0x02FB, {height, 0, 0, 0, weight, 0, 0, 0, 0}, face);
        return takeSlot();
    }
    void select(int slot) override { record(0x012D, {slot}); }
    void remove(int slot) override { record(0x01F0, {slot}); }
    void polygon(const std::vector<QPoint> &points, bool closed) override
    {
        std::vector<int> words{static_cast<int>(points.size())};
        for (const QPoint p : points) {
            words.push_back(p.x());
            words.push_back(p.y());
        }
        record(closed ? 0x0324 : 0x0325, words);
    }
    void textColour(std::uint32_t colour) override
    {
        record(0x0209, {static_cast<int>(colour & 0xFFFF), static_cast<int>(colour >> 16)});
    }
    void text(QPoint at, const QString &s, int height) override
    {
        QByteArray chars = s.toLatin1();
        const auto length = static_cast<int>(chars.size());
        if (chars.size() % 2) {
            chars.append('\0');
        }
        QByteArray tail = chars;
        for (const int dx : dxFor(s, height)) {
            put16(tail, dx);
        }
        record(0x0A32, {at.y(), at.x(), length, 0}, tail);
    }
    void clipTo(QRect r) override
    {
        record(0x001E, {});
        record(0x0416, {r.bottom() + 1, r.right() + 1, r.top(), r.left()});
    }
    void unclip() override { record(0x0127, {-1}); }

private:
    void record(int function, const std::vector<int> &words, const QByteArray &tail = {})
    {
        QByteArray r;
        put32(r, 3 + static_cast<std::int64_t>(words.size()) + (tail.size() + 1) / 2);
        put16(r, function);
        for (const int w : words) {
            put16(r, w);
        }
        r += tail;
        if (r.size() % 2) {
            r.append('\0');
        }
        maxRecord = std::max<std::int64_t>(maxRecord, r.size() / 2);
        body += r;
    }

    QByteArray body;
    std::int64_t maxRecord = 0;
};

class EmfWriter : public Writer
{
public:
    EmfWriter() { used.push_back(true); } // handle 0 is the metafile itself

    QByteArray finish(const std::vector<Step> &steps)
    {
        record(17, {8});                                   // SETMAPMODE: anisotropic
        record(10, {0, 0});                                // SETWINDOWORGEX
        record(9, {kWidth, kHeight});                      // SETWINDOWEXTEX
        record(12, {0, 0});                                // SETVIEWPORTORGEX
        record(11, {devicePx(kWidth), devicePx(kHeight)}); // SETVIEWPORTEXTEX
        record(18, {1});                                   // SETBKMODE: transparent
        record(19, {1});                                   // SETPOLYFILLMODE: alternate
        record(22, {24});                                  // SETTEXTALIGN: baseline
        write(steps);
        record(14, {0, 16, 20}); // EOF

        const QByteArray description = QByteArray::fromRawData("V\0a\0n\0t\0r\0e\0l\0\0\0\0\0\0", 20);
        constexpr int headerSize = 108;
        QByteArray out;
        put32(out, 1);
        put32(out, headerSize + description.size());
        for (const int v : {0, 0, devicePx(kWidth) - 1, devicePx(kHeight) - 1, 0, 0, kWidth - 1, kHeight - 1}) {
            put32(out, v);
        }
        put32(out, 0x464D4520);
        put32(out, 0x10000);
        put32(out, headerSize + description.size() + body.size());
        put32(out, records + 1);
        put16(out, static_cast<int>(used.size()));
        put16(out, 0);
        put32(out, description.size() / 2);
        put32(out, headerSize);
        put32(out, 0);
        for (const int v : {1024, 768, 271, 203, 0, 0, 0, 271000, 203000}) {
            put32(out, v);
        }
        return out + description + body;
    }

protected:
    int createBrush(std::uint32_t colour) override
    {
        const int slot = takeSlot();
        record(39, {slot, 0, colour, 0});
        return slot;
    }
    int createPen(int style, int width, std::uint32_t colour) override
    {
        const int slot = takeSlot();
        record(38, {slot, style, width, 0, colour});
        return slot;
    }
    int createFont(int height, int weight) override
    {
        const int slot = takeSlot();
        QByteArray logFont;
        for (const int v : {height, 0, 0, 0, weight}) {
            put32(logFont, v);
        }
        logFont.append(QByteArray(8, '\0'));
        const QString face = QStringLiteral("Liberation Sans");
        logFont.append(reinterpret_cast<const char *>(face.utf16()), face.size() * 2);
        logFont.append(QByteArray(320 - logFont.size(), '\0')); // the rest of an ENUMLOGFONTEXDV
        record(82, {slot}, logFont);
        return slot;
    }
    void select(int slot) override { record(37, {slot}); }
    void remove(int slot) override { record(40, {slot}); }
    void polygon(const std::vector<QPoint> &points, bool closed) override
    {
        QRect bounds;
        for (const QPoint p : points) {
            bounds |= QRect(p, QSize(1, 1));
        }
        std::vector<std::int64_t> values{bounds.left(), bounds.top(), bounds.right(), bounds.bottom(),
                                         static_cast<std::int64_t>(points.size())};
        for (const QPoint p : points) {
            values.push_back(p.x());
            values.push_back(p.y());
        }
        record(closed ? 3 : 4, values);
    }
    void textColour(std::uint32_t colour) override { record(24, {colour}); }
    void text(QPoint at, const QString &s, int height) override
    {
        const std::vector<int> dx = dxFor(s, height);
        int width = 0;
        for (const int d : dx) {
            width += d;
        }
        constexpr int fixed = 76;
        const int stringBytes = static_cast<int>((s.size() * 2 + 3) / 4 * 4);
        QByteArray tail(reinterpret_cast<const char *>(s.utf16()), s.size() * 2);
        tail.append(QByteArray(stringBytes - tail.size(), '\0'));
        for (const int d : dx) {
            put32(tail, d);
        }
        record(84,
               {at.x(), at.y() + height, at.x() + width, at.y(), 1, 0, 0, at.x(), at.y(), s.size(), fixed, 0, 0, 0, -1,
                -1, fixed + stringBytes},
               tail);
    }
    void clipTo(QRect r) override
    {
        record(33, {});
        record(30, {r.left(), r.top(), r.right() + 1, r.bottom() + 1});
    }
    void unclip() override { record(34, {-1}); }

private:
    static int devicePx(int hundredthsMm) { return hundredthsMm * 1024 / 27100; }

    void record(int type, const std::vector<std::int64_t> &values, const QByteArray &tail = {})
    {
        QByteArray r;
        put32(r, type);
        put32(r, 8 + 4 * static_cast<std::int64_t>(values.size()) + (tail.size() + 3) / 4 * 4);
        for (const std::int64_t v : values) {
            put32(r, v);
        }
        r += tail;
        r.append(QByteArray((4 - r.size() % 4) % 4, '\0'));
        body += r;
        ++records;
    }

    QByteArray body;
    int records = 0;
};

} // namespace

QByteArray OfficeDrawingWmf()
{
    WmfWriter writer;
    return writer.finish(slide());
}

QByteArray OfficeDrawingEmf()
{
    EmfWriter writer;
    return writer.finish(slide());
}
