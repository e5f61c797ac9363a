// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/WmfToEmf.h"

#include "common/picture/MetafileFormat.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>

namespace {

// EMF record types.
enum : std::uint32_t {
    EMR_HEADER = 1,
    EMR_POLYGON = 3,
    EMR_POLYLINE = 4,
    EMR_POLYPOLYGON = 8,
    EMR_SETWINDOWEXTEX = 9,
    EMR_SETWINDOWORGEX = 10,
    EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETVIEWPORTORGEX = 12,
    EMR_EOF = 14,
    EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19,
    EMR_SETROP2 = 20,
    EMR_SETSTRETCHBLTMODE = 21,
    EMR_SETTEXTALIGN = 22,
    EMR_SETTEXTCOLOR = 24,
    EMR_SETBKCOLOR = 25,
    EMR_MOVETOEX = 27,
    EMR_EXCLUDECLIPRECT = 29,
    EMR_INTERSECTCLIPRECT = 30,
    EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34,
    EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38,
    EMR_CREATEBRUSHINDIRECT = 39,
    EMR_DELETEOBJECT = 40,
    EMR_ELLIPSE = 42,
    EMR_RECTANGLE = 43,
    EMR_ROUNDRECT = 44,
    EMR_ARC = 45,
    EMR_CHORD = 46,
    EMR_PIE = 47,
    EMR_LINETO = 54,
    EMR_STRETCHDIBITS = 81,
    EMR_EXTCREATEFONTINDIRECTW = 82,
    EMR_EXTTEXTOUTW = 84,
    EMR_CREATEDIBPATTERNBRUSHPT = 94,
};

// The EMF's reference device is a screen's: the converter draws pen-less shapes with a one-pixel
// outline to close the seams between them, and at a finer device that pixel is too thin to.
constexpr double kDeviceDpi = 96;
constexpr std::size_t kMaxObjects = 65535;

class Writer
{
public:
    std::vector<std::uint8_t> bytes;
    std::uint32_t records = 0;

    void begin(std::uint32_t type)
    {
        m_start = bytes.size();
        u32(type);
        u32(0);
    }
    void end()
    {
        while ((bytes.size() - m_start) % 4 != 0) {
            bytes.push_back(0);
        }
        const auto size = static_cast<std::uint32_t>(bytes.size() - m_start);
        std::memcpy(bytes.data() + m_start + 4, &size, 4);
        ++records;
    }
    void u32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
    void u16(std::uint16_t v)
    {
        bytes.push_back(static_cast<std::uint8_t>(v));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void f32(float v)
    {
        std::uint32_t raw = 0;
        std::memcpy(&raw, &v, 4);
        u32(raw);
    }
    void raw(const unsigned char *p, std::size_t n) { bytes.insert(bytes.end(), p, p + n); }
    void rect(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b)
    {
        i32(l);
        i32(t);
        i32(r);
        i32(b);
    }
    // Records of one call with 32-bit arguments.
    void simple(std::uint32_t type, std::initializer_list<std::int32_t> args)
    {
        begin(type);
        for (const std::int32_t a : args) {
            i32(a);
        }
        end();
    }

private:
    std::size_t m_start = 0;
};

// One WMF record: its parameters are 16-bit words after the 6-byte record header.
struct Record
{
    const unsigned char *params = nullptr;
    std::size_t words = 0;

    [[nodiscard]] bool has(std::size_t n) const { return n <= words; }
    [[nodiscard]] std::int16_t s(std::size_t i) const
    {
        return i < words ? static_cast<std::int16_t>(params[2 * i] | (params[2 * i + 1] << 8)) : 0;
    }
    [[nodiscard]] std::uint16_t u(std::size_t i) const { return static_cast<std::uint16_t>(s(i)); }
    [[nodiscard]] std::uint32_t u32at(std::size_t i) const
    {
        return u(i) | (static_cast<std::uint32_t>(u(i + 1)) << 16);
    }
    [[nodiscard]] const unsigned char *bytesFrom(std::size_t word) const { return params + 2 * word; }
    [[nodiscard]] std::size_t bytesLeft(std::size_t word) const { return word <= words ? 2 * (words - word) : 0; }
};

// Windows-1252 text (what WMF strings mostly are) to UTF-16.
std::u16string toUtf16(const unsigned char *p, std::size_t n)
{
    static const char16_t high[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                      0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::u16string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = p[i];
        out += (c >= 0x80 && c < 0xA0) ? high[c - 0x80] : static_cast<char16_t>(c);
    }
    return out;
}

// Size of a device-independent bitmap's header and colour table, or 0 when it is not one.
std::size_t dibHeaderSize(const unsigned char *p, std::size_t n)
{
    if (n < 12) {
        return 0;
    }
    const std::uint32_t headerSize = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    if (headerSize == 12) { // BITMAPCOREHEADER: RGB triples
        const unsigned bits = p[10] | (p[11] << 8);
        const std::size_t colours = bits <= 8 ? (std::size_t{1} << bits) : 0;
        const std::size_t total = 12 + 3 * colours;
        return total <= n ? total : 0;
    }
    if (headerSize < 40 || headerSize > 124 || headerSize > n) {
        return 0;
    }
    const unsigned bits = p[14] | (p[15] << 8);
    const std::uint32_t compression = p[16] | (p[17] << 8) | (p[18] << 16) | (static_cast<std::uint32_t>(p[19]) << 24);
    std::uint32_t used = p[32] | (p[33] << 8) | (p[34] << 16) | (static_cast<std::uint32_t>(p[35]) << 24);
    if (bits > 32 || used > 256) {
        return 0;
    }
    if (used == 0 && bits <= 8) {
        used = 1u << bits;
    }
    std::size_t total = headerSize + 4u * used;
    if (compression == 3 && headerSize == 40) { // BI_BITFIELDS: three masks follow
        total += 12;
    }
    return total <= n ? total : 0;
}

class Converter
{
public:
    Converter(const unsigned char *data, std::size_t length, const MetafileHeader &header)
        : m_data(data)
        , m_length(length)
        , m_header(header)
    {}

    std::optional<std::vector<std::uint8_t>> run()
    {
        const int left = Record{m_data + 6, 4}.s(0);
        const int top = Record{m_data + 6, 4}.s(1);
        const int right = Record{m_data + 6, 4}.s(2);
        const int bottom = Record{m_data + 6, 4}.s(3);
        m_deviceWidth = std::max(1, static_cast<int>(std::lround(m_header.himetricWidth / 2540.0 * kDeviceDpi)));
        m_deviceHeight = std::max(1, static_cast<int>(std::lround(m_header.himetricHeight / 2540.0 * kDeviceDpi)));

        writeHeaderPlaceholder();
        // Logical units: the bounding box until the metafile sets its own window.
        m_out.simple(EMR_SETMAPMODE, {8}); // MM_ANISOTROPIC
        m_windowOrg = {std::min(left, right), std::min(top, bottom)};
        m_windowExt = {std::max(1, std::abs(right - left)), std::max(1, std::abs(bottom - top))};
        m_out.simple(EMR_SETWINDOWORGEX, {m_windowOrg[0], m_windowOrg[1]});
        m_out.simple(EMR_SETWINDOWEXTEX, {m_windowExt[0], m_windowExt[1]});
        m_out.simple(EMR_SETVIEWPORTORGEX, {0, 0});
        m_out.simple(EMR_SETVIEWPORTEXTEX, {m_deviceWidth, m_deviceHeight});

        const std::size_t headerWords = Record{m_data + 22, 9}.u(1);
        std::size_t offset = 22 + 2 * headerWords;
        while (offset + 6 <= m_length) {
            const std::uint32_t sizeWords = Record{m_data + offset, 2}.u32at(0);
            const std::uint16_t function = Record{m_data + offset + 4, 1}.u(0);
            if (sizeWords < 3 || sizeWords > (m_length - offset) / 2) {
                break; // a record that does not fit ends the drawing
            }
            if (function == 0) {
                break;
            }
            const Record r{m_data + offset + 6, sizeWords - 3};
            play(function, r);
            offset += 2 * static_cast<std::size_t>(sizeWords);
        }
        m_out.simple(EMR_EOF, {0, 16, 20});
        finishHeader();
        return std::move(m_out.bytes);
    }

private:
    void writeHeaderPlaceholder()
    {
        m_out.begin(EMR_HEADER);
        for (int i = 0; i < 25; ++i) {
            m_out.u32(0);
        }
        m_out.end();
    }

    void finishHeader()
    {
        Writer h;
        h.begin(EMR_HEADER);
        h.rect(0, 0, m_deviceWidth - 1, m_deviceHeight - 1);           // rclBounds, device units
        h.rect(0, 0, m_header.himetricWidth, m_header.himetricHeight); // rclFrame, HIMETRIC
        h.u32(0x464D4520);                                             // " EMF"
        h.u32(0x10000);
        h.u32(static_cast<std::uint32_t>(m_out.bytes.size()));
        h.u32(m_out.records);
        h.u16(static_cast<std::uint16_t>(std::min<std::size_t>(m_slots.size() + 1, 65535)));
        h.u16(0);
        h.u32(0); // no description
        h.u32(0);
        h.u32(0);                                          // no palette
        h.i32(static_cast<std::int32_t>(10 * kDeviceDpi)); // reference device: 10 x 10 inches
        h.i32(static_cast<std::int32_t>(10 * kDeviceDpi));
        h.i32(254);
        h.i32(254);
        h.u32(0);
        h.u32(0);
        h.u32(0);
        h.i32(254000);
        h.i32(254000);
        h.end();
        std::copy(h.bytes.begin(), h.bytes.end(), m_out.bytes.begin());
    }

    // WMF objects take the lowest free slot; EMF names them by handle (slot + 1).
    std::int32_t allocateSlot()
    {
        for (std::size_t i = 0; i < m_slots.size(); ++i) {
            if (!m_slots[i]) {
                m_slots[i] = true;
                return static_cast<std::int32_t>(i + 1);
            }
        }
        if (m_slots.size() >= kMaxObjects) {
            return 0;
        }
        m_slots.push_back(true);
        return static_cast<std::int32_t>(m_slots.size());
    }

    void nullBrush(std::int32_t handle)
    {
        m_out.simple(EMR_CREATEBRUSHINDIRECT, {handle, 1, 0, 0}); // BS_NULL
    }

    void points(const Record &r, std::size_t first, std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            m_out.i32(r.s(first + 2 * i));
            m_out.i32(r.s(first + 2 * i + 1));
        }
    }

    void bounds(const Record &r, std::size_t first, std::size_t count)
    {
        std::int32_t l = 32767, t = 32767, rr = -32768, b = -32768;
        for (std::size_t i = 0; i < count; ++i) {
            l = std::min<std::int32_t>(l, r.s(first + 2 * i));
            rr = std::max<std::int32_t>(rr, r.s(first + 2 * i));
            t = std::min<std::int32_t>(t, r.s(first + 2 * i + 1));
            b = std::max<std::int32_t>(b, r.s(first + 2 * i + 1));
        }
        m_out.rect(l, t, rr, b);
    }

    void box(std::uint32_t type, const Record &r, std::size_t at)
    {
        // WMF keeps bottom, right, top, left; EMF left, top, right, bottom.
        m_out.begin(type);
        m_out.rect(r.s(at + 3), r.s(at + 2), r.s(at + 1), r.s(at));
    }

    void stretchDib(const Record &r, std::size_t dibWord, std::int32_t xDst, std::int32_t yDst, std::int32_t cxDst,
                    std::int32_t cyDst, std::int32_t xSrc, std::int32_t ySrc, std::int32_t cxSrc, std::int32_t cySrc,
                    std::uint32_t usage, std::uint32_t rop)
    {
        const unsigned char *dib = r.bytesFrom(dibWord);
        const std::size_t dibBytes = r.bytesLeft(dibWord);
        const std::size_t bmi = dibHeaderSize(dib, dibBytes);
        if (bmi == 0 || bmi >= dibBytes) {
            return;
        }
        const std::size_t bits = dibBytes - bmi;
        constexpr std::uint32_t fixed = 80;
        m_out.begin(EMR_STRETCHDIBITS);
        m_out.rect(xDst, yDst, xDst + cxDst, yDst + cyDst);
        m_out.i32(xDst);
        m_out.i32(yDst);
        m_out.i32(xSrc);
        m_out.i32(ySrc);
        m_out.i32(cxSrc);
        m_out.i32(cySrc);
        m_out.u32(fixed);
        m_out.u32(static_cast<std::uint32_t>(bmi));
        m_out.u32(fixed + static_cast<std::uint32_t>(bmi));
        m_out.u32(static_cast<std::uint32_t>(bits));
        m_out.u32(usage);
        m_out.u32(rop);
        m_out.i32(cxDst);
        m_out.i32(cyDst);
        m_out.raw(dib, dibBytes);
        m_out.end();
    }

    void text(std::int32_t x, std::int32_t y, const unsigned char *string, std::size_t count, std::uint32_t options,
              const std::array<std::int32_t, 4> &clip, const Record *dx, std::size_t dxWord)
    {
        const std::u16string utf16 = toUtf16(string, count);
        const bool withDx = dx != nullptr && dx->has(dxWord + count);
        constexpr std::uint32_t fixed = 76;
        const auto stringBytes = static_cast<std::uint32_t>(2 * utf16.size());
        const std::uint32_t paddedString = (stringBytes + 3) & ~3u;
        m_out.begin(EMR_EXTTEXTOUTW);
        m_out.rect(0, 0, -1, -1); // bounds not computed
        m_out.u32(1);             // GM_COMPATIBLE
        m_out.f32(1);
        m_out.f32(1);
        m_out.i32(x);
        m_out.i32(y);
        m_out.u32(static_cast<std::uint32_t>(utf16.size()));
        m_out.u32(fixed);
        m_out.u32(options);
        m_out.rect(clip[0], clip[1], clip[2], clip[3]);
        m_out.u32(withDx ? fixed + paddedString : 0);
        for (const char16_t c : utf16) {
            m_out.u16(static_cast<std::uint16_t>(c));
        }
        for (std::uint32_t i = stringBytes; i < paddedString; ++i) {
            m_out.bytes.push_back(0);
        }
        if (withDx) {
            for (std::size_t i = 0; i < count; ++i) {
                m_out.i32(dx->s(dxWord + i));
            }
        }
        m_out.end();
    }

    void play(std::uint16_t function, const Record &r)
    {
        switch (function) {
        case 0x0103: // SetMapMode
            m_out.simple(EMR_SETMAPMODE, {r.u(0)});
            break;
        case 0x020B: // SetWindowOrg(y, x)
            m_windowOrg = {r.s(1), r.s(0)};
            m_out.simple(EMR_SETWINDOWORGEX, {m_windowOrg[0], m_windowOrg[1]});
            break;
        case 0x020C: // SetWindowExt(y, x)
            if (r.s(0) != 0 && r.s(1) != 0) {
                m_windowExt = {r.s(1), r.s(0)};
                m_out.simple(EMR_SETWINDOWEXTEX, {m_windowExt[0], m_windowExt[1]});
            }
            break;
        case 0x020F: // OffsetWindowOrg(y, x)
            m_windowOrg[0] += r.s(1);
            m_windowOrg[1] += r.s(0);
            m_out.simple(EMR_SETWINDOWORGEX, {m_windowOrg[0], m_windowOrg[1]});
            break;
        case 0x0410: // ScaleWindowExt(yDenom, yNum, xDenom, xNum)
            if (r.s(0) != 0 && r.s(2) != 0) {
                m_windowExt[0] = m_windowExt[0] * r.s(3) / r.s(2);
                m_windowExt[1] = m_windowExt[1] * r.s(1) / r.s(0);
                if (m_windowExt[0] != 0 && m_windowExt[1] != 0) {
                    m_out.simple(EMR_SETWINDOWEXTEX, {m_windowExt[0], m_windowExt[1]});
                }
            }
            break;
        case 0x0102: // SetBkMode
            m_out.simple(EMR_SETBKMODE, {r.u(0)});
            break;
        case 0x0201: // SetBkColor
            m_out.simple(EMR_SETBKCOLOR, {static_cast<std::int32_t>(r.u32at(0))});
            break;
        case 0x0209: // SetTextColor
            m_out.simple(EMR_SETTEXTCOLOR, {static_cast<std::int32_t>(r.u32at(0))});
            break;
        case 0x012E: // SetTextAlign
            m_out.simple(EMR_SETTEXTALIGN, {r.u(0)});
            break;
        case 0x0106: // SetPolyFillMode
            m_out.simple(EMR_SETPOLYFILLMODE, {r.u(0)});
            break;
        case 0x0104: // SetROP2
            m_out.simple(EMR_SETROP2, {r.u(0)});
            break;
        case 0x0107: // SetStretchBltMode
            m_out.simple(EMR_SETSTRETCHBLTMODE, {r.u(0)});
            break;
        case 0x001E: // SaveDC
            m_saved.push_back({m_windowOrg, m_windowExt});
            m_out.simple(EMR_SAVEDC, {});
            break;
        case 0x0127: { // RestoreDC(n): n < 0 counts back from the newest
            const int n = r.s(0);
            if (n < 0 && static_cast<std::size_t>(-n) <= m_saved.size()) {
                const auto state = m_saved[m_saved.size() - static_cast<std::size_t>(-n)];
                m_saved.resize(m_saved.size() - static_cast<std::size_t>(-n));
                m_windowOrg = state.first;
                m_windowExt = state.second;
                m_out.simple(EMR_RESTOREDC, {n});
            }
            break;
        }
        case 0x02FA: { // CreatePenIndirect(style, width.x, width.y, colour)
            const std::int32_t h = allocateSlot();
            if (h != 0) {
                m_out.simple(EMR_CREATEPEN, {h, r.u(0), r.s(1), 0, static_cast<std::int32_t>(r.u32at(3))});
            }
            break;
        }
        case 0x02FC: { // CreateBrushIndirect(style, colour, hatch)
            const std::int32_t h = allocateSlot();
            if (h != 0) {
                m_out.simple(EMR_CREATEBRUSHINDIRECT, {h, r.u(0), static_cast<std::int32_t>(r.u32at(1)), r.u(3)});
            }
            break;
        }
        case 0x02FB: { // CreateFontIndirect
            const std::int32_t h = allocateSlot();
            if (h == 0) {
                break;
            }
            m_out.begin(EMR_EXTCREATEFONTINDIRECTW);
            m_out.i32(h);
            m_out.i32(r.s(0)); // height
            m_out.i32(r.s(1)); // width
            m_out.i32(r.s(2)); // escapement
            m_out.i32(r.s(3)); // orientation
            m_out.i32(r.s(4)); // weight
            const unsigned char *b = r.bytesFrom(5);
            const std::size_t left = r.bytesLeft(5);
            for (std::size_t i = 0; i < 8; ++i) { // italic ... pitch and family
                m_out.bytes.push_back(i < left ? b[i] : 0);
            }
            std::size_t nameLength = 0;
            while (8 + nameLength < left && nameLength < 31 && b[8 + nameLength] != 0) {
                ++nameLength;
            }
            const std::u16string face = left > 8 ? toUtf16(b + 8, nameLength) : std::u16string();
            for (std::size_t i = 0; i < 32; ++i) {
                m_out.u16(i < face.size() ? static_cast<std::uint16_t>(face[i]) : 0);
            }
            m_out.end();
            break;
        }
        case 0x0142: { // DibCreatePatternBrush(style, usage, DIB)
            const std::int32_t h = allocateSlot();
            if (h == 0) {
                break;
            }
            const unsigned char *dib = r.bytesFrom(2);
            const std::size_t dibBytes = r.bytesLeft(2);
            const std::size_t bmi = dibHeaderSize(dib, dibBytes);
            if (bmi == 0 || bmi >= dibBytes) {
                nullBrush(h);
                break;
            }
            m_out.begin(EMR_CREATEDIBPATTERNBRUSHPT);
            m_out.i32(h);
            m_out.u32(r.u(1));
            m_out.u32(32);
            m_out.u32(static_cast<std::uint32_t>(bmi));
            m_out.u32(32 + static_cast<std::uint32_t>(bmi));
            m_out.u32(static_cast<std::uint32_t>(dibBytes - bmi));
            m_out.raw(dib, dibBytes);
            m_out.end();
            break;
        }
        case 0x00F7:   // CreatePalette
        case 0x01F9:   // CreatePatternBrush (device-dependent bitmap)
        case 0x06FF: { // CreateRegion
            // Occupies a slot like any object; drawing with it paints nothing.
            const std::int32_t h = allocateSlot();
            if (h != 0) {
                nullBrush(h);
            }
            break;
        }
        case 0x012D: { // SelectObject(index)
            const std::size_t index = r.u(0);
            if (index < m_slots.size() && m_slots[index]) {
                m_out.simple(EMR_SELECTOBJECT, {static_cast<std::int32_t>(index + 1)});
            }
            break;
        }
        case 0x01F0: { // DeleteObject(index)
            const std::size_t index = r.u(0);
            if (index < m_slots.size() && m_slots[index]) {
                m_slots[index] = false;
                m_out.simple(EMR_DELETEOBJECT, {static_cast<std::int32_t>(index + 1)});
            }
            break;
        }
        case 0x0324:   // Polygon(count, points)
        case 0x0325: { // Polyline
            const std::size_t count = r.u(0);
            if (count == 0 || !r.has(1 + 2 * count)) {
                break;
            }
            m_out.begin(function == 0x0324 ? EMR_POLYGON : EMR_POLYLINE);
            bounds(r, 1, count);
            m_out.u32(static_cast<std::uint32_t>(count));
            points(r, 1, count);
            m_out.end();
            break;
        }
        case 0x0538: { // PolyPolygon(polygons, counts..., points...)
            const std::size_t polygons = r.u(0);
            if (polygons == 0 || !r.has(1 + polygons)) {
                break;
            }
            std::size_t total = 0;
            for (std::size_t i = 0; i < polygons; ++i) {
                total += r.u(1 + i);
            }
            const std::size_t first = 1 + polygons;
            if (total == 0 || !r.has(first + 2 * total)) {
                break;
            }
            m_out.begin(EMR_POLYPOLYGON);
            bounds(r, first, total);
            m_out.u32(static_cast<std::uint32_t>(polygons));
            m_out.u32(static_cast<std::uint32_t>(total));
            for (std::size_t i = 0; i < polygons; ++i) {
                m_out.u32(r.u(1 + i));
            }
            points(r, first, total);
            m_out.end();
            break;
        }
        case 0x0214: // MoveTo(y, x)
            m_out.simple(EMR_MOVETOEX, {r.s(1), r.s(0)});
            break;
        case 0x0213: // LineTo(y, x)
            m_out.simple(EMR_LINETO, {r.s(1), r.s(0)});
            break;
        case 0x041B: // Rectangle(bottom, right, top, left)
            if (r.has(4)) {
                box(EMR_RECTANGLE, r, 0);
                m_out.end();
            }
            break;
        case 0x0418: // Ellipse
            if (r.has(4)) {
                box(EMR_ELLIPSE, r, 0);
                m_out.end();
            }
            break;
        case 0x061C: // RoundRect(height, width, bottom, right, top, left)
            if (r.has(6)) {
                box(EMR_ROUNDRECT, r, 2);
                m_out.i32(r.s(1));
                m_out.i32(r.s(0));
                m_out.end();
            }
            break;
        case 0x0817: // Arc(yEnd, xEnd, yStart, xStart, bottom, right, top, left)
        case 0x081A: // Pie
        case 0x0830: // Chord
            if (r.has(8)) {
                box(function == 0x0817 ? EMR_ARC : function == 0x081A ? EMR_PIE : EMR_CHORD, r, 4);
                m_out.i32(r.s(3));
                m_out.i32(r.s(2));
                m_out.i32(r.s(1));
                m_out.i32(r.s(0));
                m_out.end();
            }
            break;
        case 0x0416: // IntersectClipRect(bottom, right, top, left)
        case 0x0415: // ExcludeClipRect
            if (r.has(4)) {
                box(function == 0x0416 ? EMR_INTERSECTCLIPRECT : EMR_EXCLUDECLIPRECT, r, 0);
                m_out.end();
            }
            break;
        case 0x0521: { // TextOut(count, string, y, x)
            const std::size_t count = r.u(0);
            const std::size_t stringWords = (count + 1) / 2;
            if (count == 0 || !r.has(1 + stringWords + 2)) {
                break;
            }
            text(r.s(1 + stringWords + 1), r.s(1 + stringWords), r.bytesFrom(1), count, 0, {0, 0, 0, 0}, nullptr, 0);
            break;
        }
        case 0x0A32: { // ExtTextOut(y, x, count, options, [rect], string, [dx])
            const std::size_t count = r.u(2);
            const std::uint16_t options = r.u(3);
            std::size_t at = 4;
            std::array<std::int32_t, 4> clip{0, 0, 0, 0};
            if (options & 0x0006) { // ETO_OPAQUE, ETO_CLIPPED
                clip = {r.s(4), r.s(5), r.s(6), r.s(7)};
                at += 4;
            }
            if (count == 0 || r.bytesLeft(at) < count) {
                break;
            }
            text(r.s(1), r.s(0), r.bytesFrom(at), count, options, clip, &r, at + (count + 1) / 2);
            break;
        }
        case 0x0F43: // StretchDIB(rop, usage, srcH, srcW, ySrc, xSrc, dstH, dstW, yDst, xDst, DIB)
            if (r.has(11)) {
                stretchDib(r, 11, r.s(10), r.s(9), r.s(8), r.s(7), r.s(6), r.s(5), r.s(4), r.s(3), r.u(2), r.u32at(0));
            }
            break;
        case 0x0B41: // DibStretchBlt(rop, srcH, srcW, ySrc, xSrc, dstH, dstW, yDst, xDst, DIB)
            if (r.has(10)) {
                stretchDib(r, 10, r.s(9), r.s(8), r.s(7), r.s(6), r.s(5), r.s(4), r.s(3), r.s(2), 0, r.u32at(0));
            }
            break;
        case 0x0940: // DibBitBlt(rop, ySrc, xSrc, height, width, yDst, xDst, DIB)
            if (r.has(8)) {
                stretchDib(r, 8, r.s(7), r.s(6), r.s(5), r.s(4), r.s(3), r.s(2), r.s(5), r.s(4), 0, r.u32at(0));
            }
            break;
        default:
            // Escapes, palettes and the rest change nothing that is drawn here.
            break;
        }
    }

    const unsigned char *m_data;
    std::size_t m_length;
    MetafileHeader m_header;
    Writer m_out;
    std::vector<bool> m_slots;
    std::array<std::int32_t, 2> m_windowOrg{0, 0};
    std::array<std::int32_t, 2> m_windowExt{1, 1};
    std::vector<std::pair<std::array<std::int32_t, 2>, std::array<std::int32_t, 2>>> m_saved;
    int m_deviceWidth = 1;
    int m_deviceHeight = 1;
};

} // namespace

std::optional<std::vector<std::uint8_t>> WmfToEmf(const unsigned char *data, std::size_t length)
{
    const auto header = ParseMetafileHeader(data, length);
    if (!header || header->kind != MetafileKind::Wmf) {
        return std::nullopt;
    }
    return Converter(data, length, *header).run();
}
