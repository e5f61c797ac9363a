// SPDX-License-Identifier: GPL-2.0-or-later
// HEIF/AVIF, JPEG XL and TIFF through the helper's decoding code, in this process (the viewer
// sends them to the helper, which this stands for): at the natural size and reduced, and the size
// alone. VV_FUZZ_KIND picks the format.
#include "common/picture/RasterDecode.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const RasterKind kind = RasterKind::VV_FUZZ_KIND;
    // Small enough limits that each input decodes quickly; the limits themselves are checked the
    // same way whatever their values.
    RasterLimits limits;
    limits.maxPixels = 4'000'000;
    limits.maxSide = 8192;
    RasterRequest info;
    info.infoOnly = true;
    (void)DecodeRaster(kind, data, size, info, limits);
    // Threads of its own would make each input cost their start and end, not the decode.
    RasterRequest reduced;
    reduced.boxWidth = 120;
    reduced.boxHeight = 90;
    reduced.threads = 0;
    (void)DecodeRaster(kind, data, size, reduced, limits);
    // As the helper asks: the box once the size is known (small: a JPEG XL's first pass, a
    // TIFF's reduced page), the pixels into a place of the caller's.
    std::vector<std::uint32_t> place;
    RasterRequest thumbnail;
    thumbnail.threads = 0;
    thumbnail.boxFor = [](std::uint32_t w, std::uint32_t h, std::uint32_t &boxW, std::uint32_t &boxH) {
        boxW = w / 9 + 1;
        boxH = h / 9 + 1;
        return true;
    };
    thumbnail.allocate = [&place](std::size_t count) {
        place.assign(count, 0);
        return place.data();
    };
    (void)DecodeRaster(kind, data, size, thumbnail, limits);
    RasterRequest whole;
    // HEIF's HEVC decoder hands its work to threads of its own: that path is fuzzed here.
    whole.threads = kind == RasterKind::Heif ? 2 : 0;
    (void)DecodeRaster(kind, data, size, whole, limits);
    return 0;
}
