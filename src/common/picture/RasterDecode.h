// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Decoding of the container formats whose decoders are large C libraries (HEIF and AVIF, JPEG XL,
// TIFF). It runs only inside vantrel-metafile-helper, apart from the viewer: no Qt, and nothing
// here trusts the file. The pixels come back upright (HEIF irot/imir, JPEG XL and TIFF
// orientation applied), premultiplied 0xAARRGGBB words in the machine's order, already reduced to
// the size they are drawn at.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

enum class RasterKind : std::uint32_t { Heif = 1, JpegXl = 2, Tiff = 3 };

struct RasterLimits
{
    std::uint32_t maxSide = 65535;
    std::uint64_t maxPixels = 100'000'000;
};

struct RasterRequest
{
    // The box the picture is drawn in (upright). Zero: the natural size.
    std::uint32_t boxWidth = 0;
    std::uint32_t boxHeight = 0;
    // Only the natural size is wanted: nothing is decoded.
    bool infoOnly = false;
    // Threads a decoder may use besides the caller's (JPEG XL); 0: the caller's only.
    unsigned threads = 2;
};

struct RasterResult
{
    // Upright natural size.
    std::uint32_t naturalWidth = 0;
    std::uint32_t naturalHeight = 0;
    // Size of `pixels` (0 x 0 for an info-only request).
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool hasAlpha = false;
    std::vector<std::uint32_t> pixels;
};

enum class RasterFailure { None, Damaged, TooLarge };

// Nothing when the data cannot be decoded; `failure` then says why.
[[nodiscard]] std::optional<RasterResult> DecodeRaster(RasterKind kind, const unsigned char *data, std::size_t size,
                                                       const RasterRequest &request, const RasterLimits &limits = {},
                                                       RasterFailure *failure = nullptr);

// The size a picture of `natural` is reduced to for `box`: fitted inside it keeping its shape, never
// larger than natural, at least 1 x 1. An empty box keeps the natural size.
void FitRasterSize(std::uint32_t naturalW, std::uint32_t naturalH, std::uint32_t boxW, std::uint32_t boxH,
                   std::uint32_t &outW, std::uint32_t &outH);

// Area-average reduction of premultiplied 0xAARRGGBB pixels (stride in pixels).
[[nodiscard]] std::vector<std::uint32_t> ReduceRaster(const std::uint32_t *source, std::uint32_t width,
                                                      std::uint32_t height, std::size_t stride, std::uint32_t outW,
                                                      std::uint32_t outH);

// The answer the helper sends: its header words, then the pixels.
//   naturalWidth, naturalHeight, width, height, flags (1: has alpha): little-endian u32 each.
constexpr std::size_t kRasterAnswerHeaderBytes = 20;
