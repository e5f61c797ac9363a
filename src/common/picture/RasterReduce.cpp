// SPDX-License-Identifier: GPL-2.0-or-later
// The reduction shared by the helper's decoders and the viewer's own PNG decode.
#include "common/picture/RasterDecode.h"

#include <algorithm>

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
    , m_column(width)
    , m_share(width)
    , m_row(static_cast<std::size_t>(outW) * 4)
    , m_sum(static_cast<std::size_t>(outW) * 4, 0)
{
    // A source pixel is outW units wide, an output pixel width units: a source pixel lies in one
    // output column, or in two when it straddles their border.
    for (std::uint32_t sx = 0; sx < width; ++sx) {
        const std::uint64_t from = static_cast<std::uint64_t>(sx) * outW;
        const auto ox = static_cast<std::uint32_t>(from / width);
        m_column[sx] = ox;
        m_share[sx] = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(ox + 1) * width, from + outW) - from);
    }
}

void RowReducer::addRow(const std::uint32_t *line)
{
    if (m_outRow >= m_outH) {
        return;
    }
    // Per output pixel the shares add up to `width` units: 255 x 65535 fits 32 bits.
    std::fill(m_row.begin(), m_row.end(), 0u);
    std::uint32_t *row = m_row.data();
    for (std::uint32_t sx = 0; sx < m_width; ++sx) {
        const std::uint32_t p = line[sx];
        const std::uint32_t a = p >> 24;
        const std::uint32_t r = (p >> 16) & 0xFF;
        const std::uint32_t g = (p >> 8) & 0xFF;
        const std::uint32_t b = p & 0xFF;
        const std::uint32_t share = m_share[sx];
        std::uint32_t *o = row + static_cast<std::size_t>(m_column[sx]) * 4;
        o[0] += share * a;
        o[1] += share * r;
        o[2] += share * g;
        o[3] += share * b;
        const std::uint32_t rest = m_outW - share;
        if (rest != 0) {
            o[4] += rest * a;
            o[5] += rest * r;
            o[6] += rest * g;
            o[7] += rest * b;
        }
    }
    std::uint64_t left = m_outH;
    const std::uint64_t area = static_cast<std::uint64_t>(m_width) * m_height;
    while (left > 0 && m_outRow < m_outH) {
        const std::uint64_t take = std::min<std::uint64_t>(left, m_height - m_yFilled);
        for (std::size_t i = 0; i < m_sum.size(); ++i) {
            m_sum[i] += take * m_row[i];
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
