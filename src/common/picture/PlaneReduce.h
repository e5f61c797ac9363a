// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// HEIF and AVIF pictures drawn smaller than they are decoded, reduced by the decoder itself.
// libheif 1.15 turns every decoded picture into RGB before anything else sees it, and hands out
// YCbCr only by converting that RGB back: a thumbnail of a 12 MP photo paid for converting all
// of it. Reduced here, in the decoder plugin, libheif converts (and turns and mirrors) a picture
// of the drawn size instead, with its own arithmetic, as it would have the whole one.

#include <cstddef>
#include <cstdint>

struct heif_image;

struct PlaneReduction
{
    // The picture as libheif shows it (after its turn and mirror), and the size it is drawn at
    // in that orientation.
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t outW = 0;
    std::uint32_t outH = 0;
    // The largest picture the decoder may make, in pixels.
    std::uint64_t maxPixels = 0;
};

// While one lives, the decoders called on this thread reduce the picture they decode as it asks.
class ScopedPlaneReduction
{
public:
    explicit ScopedPlaneReduction(const PlaneReduction &reduction);
    ~ScopedPlaneReduction();
    ScopedPlaneReduction(const ScopedPlaneReduction &) = delete;
    ScopedPlaneReduction &operator=(const ScopedPlaneReduction &) = delete;
};

// The reduction asked of this thread, or nullptr.
const PlaneReduction *CurrentPlaneReduction();

// The size a decoded picture of codedW x codedH is reduced to: false when none is asked for, or
// when the picture is not of the size asked about (libheif would crop it, or it is a tile).
// A picture libheif turns a quarter is decoded with its sides swapped.
bool PlaneReductionFor(std::uint32_t codedW, std::uint32_t codedH, std::uint32_t &outW, std::uint32_t &outH);

// A decoder's 8-bit planes: Y, and Cb and Cr subsampled by 2^shiftX across and 2^shiftY down
// (no chroma for monochrome).
struct PlaneSamples
{
    const std::uint8_t *plane[3] = {};
    std::ptrdiff_t stride[3] = {};
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // The chroma planes' size as the decoder gives them.
    std::uint32_t chromaW = 0;
    std::uint32_t chromaH = 0;
    int shiftX = 0;
    int shiftY = 0;
    bool monochrome = false;
};

// The planes averaged down to outW x outH, as a libheif picture of 8-bit YCbCr at 4:4:4 (grey
// alone for monochrome). Chroma is replicated across the pixels that share it, as libheif does
// when it converts. nullptr when the planes do not cover the picture or there is no memory.
heif_image *ReducedPlanes(const PlaneSamples &samples, std::uint32_t outW, std::uint32_t outH);
