// SPDX-License-Identifier: GPL-2.0-or-later
// The reduction shared by the helper's decoders and the viewer's own PNG decode.
#include "common/picture/RasterDecode.h"

#include <algorithm>
#include <bit>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

void FitRasterSize(std::uint32_t naturalW, std::uint32_t naturalH, std::uint32_t boxW, std::uint32_t boxH,
                   std::uint32_t &outW, std::uint32_t &outH)
{
    outW = naturalW;
    outH = naturalH;
    if (boxW == 0 || boxH == 0 || naturalW == 0 || naturalH == 0 || (boxW >= naturalW && boxH >= naturalH)) {
        return;
    }
    // Fitted inside the box: the limiting side takes the box's length, the other its share.
    if (static_cast<std::uint64_t>(boxW) * naturalH <= static_cast<std::uint64_t>(boxH) * naturalW) {
        outW = boxW;
        outH = static_cast<std::uint32_t>((static_cast<std::uint64_t>(naturalH) * boxW + naturalW / 2) / naturalW);
    } else {
        outH = boxH;
        outW = static_cast<std::uint32_t>((static_cast<std::uint64_t>(naturalW) * boxH + naturalH / 2) / naturalH);
    }
    outW = std::clamp<std::uint32_t>(outW, 1, naturalW);
    outH = std::clamp<std::uint32_t>(outH, 1, naturalH);
}

RowReducer::RowReducer(std::uint32_t width, std::uint32_t height, std::uint32_t outW, std::uint32_t outH,
                       std::uint32_t *out)
    : m_width(width)
    , m_height(height)
    , m_outW(outW)
    , m_outH(outH)
    , m_out(out)
    , m_end(outW, 0)
    , m_share(outW, outW)
    , m_row(static_cast<std::size_t>(outW) * 4)
    , m_sum(static_cast<std::size_t>(outW) * 4, 0)
{
    // A source pixel is outW units wide, an output pixel width units: a source pixel lies in one
    // output column, or in two when it straddles their border.
    for (std::uint32_t sx = 0; sx < width; ++sx) {
        const std::uint64_t from = static_cast<std::uint64_t>(sx) * outW;
        const auto ox = static_cast<std::uint32_t>(from / width);
        if (ox >= outW) {
            break;
        }
        m_end[ox] = sx + 1;
        m_share[ox] = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(ox + 1) * width, from + outW) - from);
    }
    for (std::uint32_t ox = 1; ox < outW; ++ox) {
        m_end[ox] = std::max(m_end[ox], m_end[ox - 1]);
    }
}

// One source row summed into each output column, weighted by the units of it each pixel covers:
// the pixels wholly inside a column are added plainly and weighted once, so that only the few
// that straddle a border are weighed one by one. `pixel(sx, v)` gives pixel sx as A, R, G, B.
template<typename Pixel> void RowReducer::sumColumns(Pixel pixel)
{
    // Per output pixel the shares add up to `width` units, of at most 255 x kStackRows a sample:
    // 255 x 257 x 65535 still fits 32 bits.
    std::uint32_t *row = m_row.data();
    std::uint32_t carry[4] = {0, 0, 0, 0};
    std::uint32_t sx = 0;
    for (std::uint32_t ox = 0; ox < m_outW; ++ox) {
        const std::uint32_t end = m_end[ox];
        const std::uint32_t share = m_share[ox];
        const std::uint32_t whole = share == m_outW || end == 0 ? end : end - 1;
        std::uint32_t sum[4] = {0, 0, 0, 0};
        for (; sx < whole; ++sx) {
            std::uint32_t v[4];
            pixel(sx, v);
            sum[0] += v[0];
            sum[1] += v[1];
            sum[2] += v[2];
            sum[3] += v[3];
        }
        std::uint32_t *o = row + static_cast<std::size_t>(ox) * 4;
        for (int i = 0; i < 4; ++i) {
            o[i] = sum[i] * m_outW + carry[i];
            carry[i] = 0;
        }
        if (whole != end) {
            std::uint32_t v[4];
            pixel(whole, v);
            const std::uint32_t rest = m_outW - share;
            for (int i = 0; i < 4; ++i) {
                o[i] += share * v[i];
                carry[i] = rest * v[i];
            }
            sx = end;
        }
    }
}

namespace {

// A stack of 257 rows of 255 still fits its 16-bit sums (and the column sums above).
constexpr std::uint32_t kStackRows = 257;

} // namespace

template<typename Bytes> void RowReducer::sumLayout(const Bytes *line, Layout layout)
{
    switch (layout) {
    case Layout::Words:
        sumColumns([line](std::uint32_t sx, std::uint32_t *v) {
            const Bytes *p = line + static_cast<std::size_t>(sx) * 4;
            if constexpr (std::endian::native == std::endian::little) {
                v[0] = p[3];
                v[1] = p[2];
                v[2] = p[1];
                v[3] = p[0];
            } else {
                v[0] = p[0];
                v[1] = p[1];
                v[2] = p[2];
                v[3] = p[3];
            }
        });
        break;
    case Layout::Rgba:
        sumColumns([line](std::uint32_t sx, std::uint32_t *v) {
            const Bytes *p = line + static_cast<std::size_t>(sx) * 4;
            v[0] = p[3];
            v[1] = p[0];
            v[2] = p[1];
            v[3] = p[2];
        });
        break;
    case Layout::Rgb: {
        // Opaque: each stacked row brings a full alpha.
        const std::uint32_t opaque = 255u * m_stacked;
        sumColumns([line, opaque](std::uint32_t sx, std::uint32_t *v) {
            const Bytes *p = line + static_cast<std::size_t>(sx) * 3;
            v[0] = opaque;
            v[1] = p[0];
            v[2] = p[1];
            v[3] = p[2];
        });
        break;
    }
    }
}

void RowReducer::addRow(const std::uint32_t *line)
{
    addLine(reinterpret_cast<const std::uint8_t *>(line), Layout::Words);
}

void RowReducer::addSamples(const std::uint8_t *line, unsigned channels)
{
    addLine(line, channels == 4 ? Layout::Rgba : Layout::Rgb);
}

// Spreading a row over the output columns costs more than the rest of a reduction together;
// stacked first, a large reduction spreads one row in many.
void RowReducer::addLine(const std::uint8_t *bytes, Layout layout)
{
    if (m_outRow >= m_outH) {
        return;
    }
    if (m_stacked > 0 && layout != m_stackLayout) {
        flushStack();
    }
    // Each source row brings outH units to the output rows, each of which takes `height` units.
    std::uint64_t room = m_height - m_yFilled - static_cast<std::uint64_t>(m_stacked) * m_outH;
    if (m_stacked > 0 && room < m_outH) {
        flushStack();
        room = m_height - m_yFilled;
    }
    const std::size_t n = static_cast<std::size_t>(m_width) * (layout == Layout::Rgb ? 3 : 4);
    if (m_stack.size() < n) {
        m_stack.resize(n);
    }
    std::uint16_t *stack = m_stack.data();
    if (m_stacked == 0) {
        std::fill_n(stack, n, std::uint16_t{0});
    }
    std::size_t i = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i));
        auto *s = reinterpret_cast<__m128i *>(stack + i);
        _mm_storeu_si128(s, _mm_add_epi16(_mm_loadu_si128(s), _mm_unpacklo_epi8(b, zero)));
        _mm_storeu_si128(s + 1, _mm_add_epi16(_mm_loadu_si128(s + 1), _mm_unpackhi_epi8(b, zero)));
    }
#endif
    for (; i < n; ++i) {
        stack[i] = static_cast<std::uint16_t>(stack[i] + bytes[i]);
    }
    m_stackLayout = layout;
    ++m_stacked;
    // A row that ends an output row, or straddles two (weighed into each), is spread at once.
    if (room <= m_outH || m_stacked == kStackRows) {
        flushStack();
    }
}

void RowReducer::flushStack()
{
    if (m_stacked == 0) {
        return;
    }
    sumLayout(m_stack.data(), m_stackLayout);
    addSummedRow(m_stacked);
    m_stacked = 0;
}

void RowReducer::addSummedRow(std::uint32_t rows)
{
    // Each source row brings outH units down; a stack of rows lies wholly inside one output row,
    // so each of its rows weighs outH there, while a single row may be split between two.
    std::uint64_t left = static_cast<std::uint64_t>(rows) * m_outH;
    const std::uint64_t area = static_cast<std::uint64_t>(m_width) * m_height;
    while (left > 0 && m_outRow < m_outH) {
        const std::uint64_t take = std::min<std::uint64_t>(left, m_height - m_yFilled);
        const std::uint64_t weight = rows == 1 ? take : m_outH;
        for (std::size_t i = 0; i < m_sum.size(); ++i) {
            m_sum[i] += weight * m_row[i];
        }
        left -= take;
        m_yFilled += take;
        if (m_yFilled == m_height) {
            std::uint32_t *o = m_out + static_cast<std::size_t>(m_outRow) * m_outW;
            for (std::uint32_t x = 0; x < m_outW; ++x) {
                const std::uint64_t *s = &m_sum[static_cast<std::size_t>(x) * 4];
                auto c = [&](int i) {
                    return static_cast<std::uint32_t>(std::min<std::uint64_t>((s[i] + area / 2) / area, 255));
                };
                o[x] = (c(0) << 24) | (c(1) << 16) | (c(2) << 8) | c(3);
            }
            std::fill(m_sum.begin(), m_sum.end(), 0u);
            m_yFilled = 0;
            ++m_outRow;
        }
    }
}

std::vector<std::uint32_t> ReduceRaster(const std::uint32_t *source, std::uint32_t width, std::uint32_t height,
                                        std::size_t stride, std::uint32_t outW, std::uint32_t outH)
{
    std::vector<std::uint32_t> out(static_cast<std::size_t>(outW) * outH);
    RowReducer reducer(width, height, outW, outH, out.data());
    for (std::uint32_t y = 0; y < height; ++y) {
        reducer.addRow(source + static_cast<std::size_t>(y) * stride);
    }
    return out;
}

int TiffBlockOrientation(const unsigned char *b, std::size_t n)
{
    if (n < 8) {
        return 1;
    }
    const bool little = b[0] == 'I' && b[1] == 'I';
    if (!little && !(b[0] == 'M' && b[1] == 'M')) {
        return 1;
    }
    auto u16 = [&](std::size_t at) -> std::uint32_t {
        return little ? (b[at] | (b[at + 1] << 8)) : ((b[at] << 8) | b[at + 1]);
    };
    auto u32 = [&](std::size_t at) { return little ? (u16(at + 2) << 16) | u16(at) : (u16(at) << 16) | u16(at + 2); };
    const std::uint32_t ifd = u32(4);
    if (ifd < 8 || ifd > n - 2) {
        return 1;
    }
    const std::uint32_t entries = u16(ifd);
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::size_t at = ifd + 2 + std::size_t(i) * 12;
        if (at + 12 > n) {
            return 1;
        }
        if (u16(at) == 0x0112 && u16(at + 2) == 3) {
            const std::uint32_t value = u16(at + 8);
            return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
        }
    }
    return 1;
}
