// SPDX-License-Identifier: GPL-2.0-or-later
// PNG through the viewer's own row-by-row decode, alone (fuzz_raster reaches it through the
// loader too): at the natural size, reduced, and into a place of the caller's, as the viewer asks.
#include "common/picture/PngDecode.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Small enough limits that each input decodes quickly; the limits themselves are checked the
    // same way whatever their values.
    RasterLimits limits;
    limits.maxPixels = 4'000'000;
    limits.maxSide = 8192;
    std::size_t at = 0;
    // In odd pieces, as a file read through a buffer may come.
    auto reader = [&](unsigned char *into, std::size_t wanted) -> std::size_t {
        const std::size_t n = std::min({wanted, size - at, std::size_t(4093)});
        std::memcpy(into, data + at, n);
        at += n;
        return n;
    };
    PngRequest whole;
    whole.read = reader;
    (void)DecodePng(whole, limits);
    at = 0;
    PngRequest reduced;
    reduced.read = reader;
    reduced.boxWidth = 120;
    reduced.boxHeight = 90;
    std::vector<std::uint32_t> place;
    reduced.allocate = [&place](std::uint32_t w, std::uint32_t h, bool) {
        place.assign(static_cast<std::size_t>(w) * h, 0);
        return place.data();
    };
    (void)DecodePng(reduced, limits);
    return 0;
}
