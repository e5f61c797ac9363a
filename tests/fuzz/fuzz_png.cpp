// SPDX-License-Identifier: GPL-2.0-or-later
// PNG through the viewer's own decode, alone (fuzz_raster reaches it through the loader too): at
// the natural size, reduced, and into a place of the caller's, as the viewer asks. Each decode is
// made twice, the direct way and through libpng alone, and the two must answer alike.
#include "common/picture/PngDecode.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
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
    auto both = [&](PngRequest &request, std::vector<std::uint32_t> *place) {
        RasterFailure failures[2] = {};
        std::optional<RasterResult> results[2];
        std::vector<std::uint32_t> placed[2];
        for (const int way : {0, 1}) {
            at = 0;
            request.libpngOnly = way == 1;
            results[way] = DecodePng(request, limits, &failures[way]);
            if (place != nullptr) {
                placed[way] = *place;
            }
        }
        const bool same =
            failures[0] == failures[1] && results[0].has_value() == results[1].has_value() &&
            (!results[0] ||
             (results[0]->width == results[1]->width && results[0]->height == results[1]->height &&
              results[0]->naturalWidth == results[1]->naturalWidth &&
              results[0]->naturalHeight == results[1]->naturalHeight && results[0]->hasAlpha == results[1]->hasAlpha &&
              results[0]->pixels == results[1]->pixels && placed[0] == placed[1]));
        if (!same) {
            std::abort();
        }
    };
    PngRequest whole;
    whole.read = reader;
    both(whole, nullptr);
    PngRequest reduced;
    reduced.read = reader;
    reduced.boxWidth = 120;
    reduced.boxHeight = 90;
    std::vector<std::uint32_t> place;
    reduced.allocate = [&place](std::uint32_t w, std::uint32_t h, bool) {
        place.assign(static_cast<std::size_t>(w) * h, 0);
        return place.data();
    };
    both(reduced, &place);
    return 0;
}
