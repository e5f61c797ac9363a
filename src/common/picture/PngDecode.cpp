// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/PngDecode.h"

#include <png.h>

#include <bit>
#include <csetjmp>
#include <vector>

namespace {

// Everything that outlives a libpng error lives here, outside the frame that catches it: libpng
// reports errors by longjmp, which runs no destructors.
struct Decoder
{
    const PngRequest *request = nullptr;
    RasterLimits limits;
    RasterFailure failure = RasterFailure::Damaged;
    png_structp png = nullptr;
    png_infop info = nullptr;
    RasterResult result;
    std::uint32_t *out = nullptr;
    std::vector<std::uint32_t> row;
    // An interlaced picture, whole: its passes fill every row again.
    std::vector<std::uint32_t> whole;
    std::optional<RowReducer> reducer;

    Decoder() = default;
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;
    ~Decoder() { png_destroy_read_struct(&png, &info, nullptr); }
};

void readData(png_structp png, png_bytep into, std::size_t size)
{
    const auto *d = static_cast<const Decoder *>(png_get_io_ptr(png));
    std::size_t done = 0;
    while (done < size) {
        const std::size_t n = d->request->read(into + done, size - done);
        if (n == 0 || n > size - done) {
            break;
        }
        done += n;
    }
    if (done != size) {
        png_error(png, "cut short");
    }
}

[[noreturn]] void onError(png_structp png, png_const_charp /*message*/)
{
    png_longjmp(png, 1);
}

void onWarning(png_structp /*png*/, png_const_charp /*message*/) {}

// As Qt premultiplies (each channel times alpha over 255, rounded), so that a PNG looks the same
// whichever path decoded it.
void premultiply(std::uint32_t *row, std::uint32_t width)
{
    for (std::uint32_t x = 0; x < width; ++x) {
        std::uint32_t p = row[x];
        const std::uint32_t a = p >> 24;
        if (a == 255) {
            continue;
        }
        std::uint32_t t = (p & 0xff00ffu) * a;
        t = ((t + ((t >> 8) & 0xff00ffu) + 0x800080u) >> 8) & 0xff00ffu;
        p = ((p >> 8) & 0xffu) * a;
        p = (p + ((p >> 8) & 0xffu) + 0x80u) & 0xff00u;
        row[x] = p | t | (a << 24);
    }
}

// The chunks nothing here shows: dropped unread rather than inflated (a colour profile or a
// compressed text can be megabytes).
constexpr png_byte kIgnoredChunks[] = {'i', 'C', 'C', 'P', 'z', 'T', 'X', 't', 'i', 'T', 'X', 't', 't', 'E',
                                       'X', 't', 'e', 'X', 'I', 'f', 's', 'P', 'L', 'T', 't', 'I', 'M', 'E'};

// Only trivially destructible locals from the setjmp on (see Decoder).
bool decode(Decoder &d)
{
    if (setjmp(png_jmpbuf(d.png)) != 0) {
        return false;
    }
    png_structp png = d.png;
    png_infop info = d.info;
    // The limits are the program's own, checked below so that a picture too large is named so.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks, sizeof kIgnoredChunks / 4);
    png_set_read_fn(png, &d, readData);
#ifdef PNG_IGNORE_ADLER32
    // Each IDAT chunk's CRC already covers the compressed bytes; the zlib stream's own checksum
    // would take a second pass over every inflated byte.
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int colour = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour, nullptr, nullptr, nullptr);
    if (width == 0 || height == 0) {
        return false;
    }
    if (width > d.limits.maxSide || height > d.limits.maxSide ||
        static_cast<std::uint64_t>(width) * height > d.limits.maxPixels) {
        d.failure = RasterFailure::TooLarge;
        return false;
    }
    d.result.naturalWidth = width;
    d.result.naturalHeight = height;
    const bool alpha = (colour & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    d.result.hasAlpha = alpha;
    std::uint32_t outW = width;
    std::uint32_t outH = height;
    FitRasterSize(width, height, d.request->boxWidth, d.request->boxHeight, outW, outH);
    const bool reduced = outW != width || outH != height;
    // An opaque picture read row by row and reduced is reduced from its R, G, B samples as they
    // come; any other is read as 0xAARRGGBB words. No gamma either way (Qt applies none).
    const bool samples = reduced && !alpha && png_get_interlace_type(png, info) == PNG_INTERLACE_NONE;
    if (depth == 16) {
        png_set_scale_16(png);
    }
    png_set_expand(png);
    if ((colour & PNG_COLOR_MASK_COLOR) == 0) {
        png_set_gray_to_rgb(png);
    }
    if constexpr (std::endian::native == std::endian::little) {
        if (!samples) {
            png_set_bgr(png);
            if (!alpha) {
                png_set_filler(png, 0xff, PNG_FILLER_AFTER);
            }
        }
    } else {
        if (alpha) {
            png_set_swap_alpha(png);
        } else if (!samples) {
            png_set_filler(png, 0xff, PNG_FILLER_BEFORE);
        }
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<std::size_t>(width) * (samples ? 3 : 4)) {
        return false;
    }

    const std::size_t outCount = static_cast<std::size_t>(outW) * outH;
    if (d.request->allocate) {
        d.out = d.request->allocate(outW, outH, alpha);
        if (d.out == nullptr) {
            d.failure = RasterFailure::TooLarge;
            return false;
        }
    } else {
        d.result.pixels.resize(outCount);
        d.out = d.result.pixels.data();
    }
    d.result.width = outW;
    d.result.height = outH;
    if (reduced) {
        d.reducer.emplace(width, height, outW, outH, d.out);
    }
    if (passes > 1) {
        std::uint32_t *rows = d.out;
        if (reduced) {
            d.whole.resize(static_cast<std::size_t>(width) * height);
            rows = d.whole.data();
        }
        for (int pass = 0; pass < passes; ++pass) {
            for (png_uint_32 y = 0; y < height; ++y) {
                png_read_row(png, reinterpret_cast<png_bytep>(rows + static_cast<std::size_t>(y) * width), nullptr);
            }
        }
        for (png_uint_32 y = 0; y < height; ++y) {
            std::uint32_t *line = rows + static_cast<std::size_t>(y) * width;
            if (alpha) {
                premultiply(line, width);
            }
            if (reduced) {
                d.reducer->addRow(line);
            }
        }
    } else {
        if (reduced) {
            d.row.resize(width);
        }
        for (png_uint_32 y = 0; y < height; ++y) {
            std::uint32_t *line = reduced ? d.row.data() : d.out + static_cast<std::size_t>(y) * width;
            png_read_row(png, reinterpret_cast<png_bytep>(line), nullptr);
            if (samples) {
                d.reducer->addSamples(reinterpret_cast<const std::uint8_t *>(line), 3);
                continue;
            }
            if (alpha) {
                premultiply(line, width);
            }
            if (reduced) {
                d.reducer->addRow(line);
            }
        }
    }
    png_read_end(png, nullptr);
    return true;
}

} // namespace

std::optional<RasterResult> DecodePng(const PngRequest &request, const RasterLimits &limits, RasterFailure *failure)
{
    if (failure != nullptr) {
        *failure = RasterFailure::Damaged;
    }
    if (!request.read) {
        return std::nullopt;
    }
    Decoder d;
    d.request = &request;
    d.limits = limits;
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (d.png == nullptr) {
        return std::nullopt;
    }
    d.info = png_create_info_struct(d.png);
    if (d.info == nullptr) {
        return std::nullopt;
    }
    if (!decode(d)) {
        if (failure != nullptr) {
            *failure = d.failure;
        }
        return std::nullopt;
    }
    if (failure != nullptr) {
        *failure = RasterFailure::None;
    }
    return std::move(d.result);
}
