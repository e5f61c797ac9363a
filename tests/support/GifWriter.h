// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

// Animated GIFs made on the spot: a canvas, frames placed on it, each frame's pixels chosen by a
// function of (x, y) in the frame, and a four-colour palette: 0 red, 1 green, 2 blue, 3 white.
struct GifFrame
{
    QRect area;
    int delayCentiseconds = 10;
    std::function<int(int x, int y)> colourAt;
};

namespace gifwriter {

// LZW as GIF packs it: codes written low bit first, grown one bit whenever the table fills the
// current width, and a clear code once it holds 4096 entries.
inline QByteArray compress(const std::function<int(int x, int y)> &colourAt, QSize size)
{
    constexpr int minCodeSize = 2;
    constexpr int clearCode = 1 << minCodeSize;
    QByteArray packed;
    std::uint32_t bits = 0;
    int bitCount = 0;
    int codeSize = minCodeSize + 1;
    auto put = [&](int code) {
        bits |= std::uint32_t(code) << bitCount;
        bitCount += codeSize;
        while (bitCount >= 8) {
            packed += char(bits & 0xff);
            bits >>= 8;
            bitCount -= 8;
        }
    };
    // next[code * 4 + colour]: the code for that string followed by that colour, 0 for none.
    std::vector<std::uint16_t> next(4096 * 4, 0);
    int maxCode = clearCode + 1;
    int current = -1;
    put(clearCode);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int colour = colourAt(x, y) & 3;
            if (current < 0) {
                current = colour;
            } else if (next[std::size_t(current) * 4 + std::size_t(colour)] != 0) {
                current = next[std::size_t(current) * 4 + std::size_t(colour)];
            } else {
                put(current);
                next[std::size_t(current) * 4 + std::size_t(colour)] = std::uint16_t(++maxCode);
                if (maxCode >= (1 << codeSize)) {
                    ++codeSize;
                }
                if (maxCode == 4095) {
                    put(clearCode);
                    std::fill(next.begin(), next.end(), 0);
                    codeSize = minCodeSize + 1;
                    maxCode = clearCode + 1;
                }
                current = colour;
            }
        }
    }
    put(current);
    put(clearCode);
    codeSize = minCodeSize + 1;
    put(clearCode + 1);
    if (bitCount > 0) {
        packed += char(bits & 0xff);
    }
    QByteArray blocks;
    blocks += char(minCodeSize);
    for (qsizetype at = 0; at < packed.size(); at += 255) {
        const QByteArray block = packed.mid(at, 255);
        blocks += char(block.size());
        blocks += block;
    }
    return blocks + char(0);
}

inline void put16(QByteArray &out, int value)
{
    out += char(value & 0xff);
    out += char((value >> 8) & 0xff);
}

} // namespace gifwriter

// Loops forever when `loop`, else plays once.
inline QByteArray MakeGif(QSize canvas, const QList<GifFrame> &frames, bool loop = true)
{
    QByteArray g("GIF89a");
    gifwriter::put16(g, canvas.width());
    gifwriter::put16(g, canvas.height());
    g += QByteArray("\x81\x00\x00", 3); // a global palette of four colours
    g += QByteArray("\xff\x00\x00\x00\xff\x00\x00\x00\xff\xff\xff\xff", 12);
    if (loop) {
        g += QByteArray("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    }
    for (const GifFrame &f : frames) {
        g += QByteArray("\x21\xf9\x04\x00", 4);
        gifwriter::put16(g, f.delayCentiseconds);
        g += QByteArray("\x00\x00", 2);
        g += char(0x2c);
        gifwriter::put16(g, f.area.x());
        gifwriter::put16(g, f.area.y());
        gifwriter::put16(g, f.area.width());
        gifwriter::put16(g, f.area.height());
        g += char(0);
        g += gifwriter::compress(f.colourAt, f.area.size());
    }
    return g + ';';
}

inline bool WriteGif(const QString &path, QSize canvas, const QList<GifFrame> &frames, bool loop = true)
{
    QFile file(path);
    const QByteArray bytes = MakeGif(canvas, frames, loop);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}
