// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// PNG, reduced as it is read to the size the picture is drawn at. The common kinds (8 or 16 bits,
// not interlaced, up to 100 MB of rows) are inflated whole by libdeflate, twice as fast as zlib,
// and unfiltered here; every other goes through libpng one row at a time, so that a thumbnail of
// a huge PNG holds a few rows of it, never the whole picture (an interlaced PNG alone must be
// held whole, its passes filling the same rows in turn). Either way the pixels are those Qt's own
// PNG reader gives: no gamma applied, 16-bit samples rounded to 8, palette, grey and transparency
// expanded; premultiplied 0xAARRGGBB words in the machine's order. No Qt, so that the fuzzer
// drives it alone.

#include "common/picture/RasterDecode.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

struct PngRequest
{
    // The box the picture is drawn in, as stored (before any EXIF turn). Zero: the natural size.
    std::uint32_t boxWidth = 0;
    std::uint32_t boxHeight = 0;
    // Reads up to `size` bytes of the file into `into`; fewer only at its end or on failure.
    std::function<std::size_t(unsigned char *into, std::size_t size)> read;
    // Where the result is written (width x height words, rows without gaps), once its size is
    // known; nullptr when it cannot be had (the decode then fails). Unset: RasterResult::pixels.
    std::function<std::uint32_t *(std::uint32_t width, std::uint32_t height, bool alpha)> allocate;
    // For the tests, which hold the two ways to each other: read through libpng alone, and
    // learn whether the file was decoded (or refused) without it.
    bool libpngOnly = false;
    bool *decodedDirectly = nullptr;
};

// Nothing when the file cannot be decoded (damaged, cut short, beyond the limits: `failure`
// says which). The size limits are checked on the header, before any pixel memory is taken.
[[nodiscard]] std::optional<RasterResult> DecodePng(const PngRequest &request, const RasterLimits &limits = {},
                                                    RasterFailure *failure = nullptr);
