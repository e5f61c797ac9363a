// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Decoding of the container formats whose decoders are large C libraries (HEIF and AVIF, JPEG XL,
// TIFF). It runs only inside vantrel-metafile-helper, apart from the viewer: no Qt, and nothing
// here trusts the file. The pixels come back upright (HEIF irot/imir, or its EXIF orientation when
// it has neither; JPEG XL and TIFF orientation applied), premultiplied 0xAARRGGBB words in the
// machine's order, already reduced to the size they are drawn at.

#include <cstddef>
#include <cstdint>
#include <functional>
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
    // When set, asked for the box once the natural (upright) size is known, in place of the box
    // above; false stops the decode (the file is then taken as damaged).
    std::function<bool(std::uint32_t naturalW, std::uint32_t naturalH, std::uint32_t &boxW, std::uint32_t &boxH)>
        boxFor;
    // When set, where the result's pixels are written (`count` words, rows without gaps), instead
    // of RasterResult::pixels; nullptr when it cannot be had (the decode then fails).
    std::function<std::uint32_t *(std::size_t count)> allocate;
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
    // The pixels, unless the request's `allocate` gave them a place of their own.
    std::vector<std::uint32_t> pixels;
};

enum class RasterFailure { None, Damaged, TooLarge };

// Nothing when the data cannot be decoded; `failure` then says why.
[[nodiscard]] std::optional<RasterResult> DecodeRaster(RasterKind kind, const unsigned char *data, std::size_t size,
                                                       const RasterRequest &request, const RasterLimits &limits = {},
                                                       RasterFailure *failure = nullptr);

// Whether HEIF and AVIF pictures drawn smaller than they are decoded are reduced by the decoder
// before libheif converts them (the default), or converted whole and reduced after; for the
// tests that compare the two.
void SetHeifReducesInDecoder(bool reduces);

// The orientation tag (1 to 8) of IFD 0 of a TIFF-structured block, as EXIF is; 1 when there is
// none or the block is damaged.
[[nodiscard]] int TiffBlockOrientation(const unsigned char *block, std::size_t size);

// The size a picture of `natural` is reduced to for `box`: fitted inside it keeping its shape, never
// larger than natural, at least 1 x 1. An empty box keeps the natural size.
void FitRasterSize(std::uint32_t naturalW, std::uint32_t naturalH, std::uint32_t boxW, std::uint32_t boxH,
                   std::uint32_t &outW, std::uint32_t &outH);

// Area-average reduction of premultiplied 0xAARRGGBB pixels (stride in pixels).
[[nodiscard]] std::vector<std::uint32_t> ReduceRaster(const std::uint32_t *source, std::uint32_t width,
                                                      std::uint32_t height, std::size_t stride, std::uint32_t outW,
                                                      std::uint32_t outH);

// The same, fed one source row at a time, top to bottom, so that no decoder needs to hold the
// whole picture at its natural size. Exact: each output pixel is the mean of the source area
// under it, rounded, in integers.
class RowReducer
{
public:
    // `out` holds outW x outH words; outW <= width and outH <= height.
    RowReducer(std::uint32_t width, std::uint32_t height, std::uint32_t outW, std::uint32_t outH, std::uint32_t *out);
    void addRow(const std::uint32_t *row);
    // A row of 8-bit samples as a decoder gives them: R, G, B (opaque) when `channels` is 3; R, G,
    // B and premultiplied A when it is 4.
    void addSamples(const std::uint8_t *row, unsigned channels);

private:
    // How the bytes of the rows being stacked are laid out: 0xAARRGGBB words, or 3 or 4 samples.
    enum class Layout { Words, Rgb, Rgba };
    void addLine(const std::uint8_t *bytes, Layout layout);
    template<typename Pixel> void sumColumns(Pixel pixel);
    template<typename Bytes> void sumLayout(const Bytes *line, Layout layout);
    void flushStack();
    void addSummedRow(std::uint32_t rows);

    std::uint32_t m_width;
    std::uint32_t m_height;
    std::uint32_t m_outW;
    std::uint32_t m_outH;
    std::uint32_t *m_out;
    std::uint32_t m_outRow = 0;
    std::uint64_t m_yFilled = 0;
    // For each output column: the end of the source pixels that begin in it; the last of them may
    // straddle into the next column, with `m_share` units of it in this one (the whole width when
    // it does not straddle).
    std::vector<std::uint32_t> m_end;
    std::vector<std::uint32_t> m_share;
    std::vector<std::uint32_t> m_row;
    std::vector<std::uint64_t> m_sum;
    // Rows that lie wholly inside one output row all weigh the same: they are first added up
    // sample by sample here, and only their sum is spread over the output columns.
    std::vector<std::uint16_t> m_stack;
    std::uint32_t m_stacked = 0;
    Layout m_stackLayout = Layout::Words;
};

// The answer the helper sends: its header words, then the pixels.
//   naturalWidth, naturalHeight, width, height, flags (1: has alpha): little-endian u32 each.
constexpr std::size_t kRasterAnswerHeaderBytes = 20;
