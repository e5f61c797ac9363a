// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/RasterDecode.h"

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>
#include <libheif/heif.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

void fail(RasterFailure *failure, RasterFailure why)
{
    if (failure != nullptr) {
        *failure = why;
    }
}

bool withinLimits(std::uint64_t w, std::uint64_t h, const RasterLimits &limits)
{
    return w > 0 && h > 0 && w <= limits.maxSide && h <= limits.maxSide && w * h <= limits.maxPixels;
}

std::uint32_t premultiply(std::uint32_t r, std::uint32_t g, std::uint32_t b, std::uint32_t a)
{
    if (a != 255) {
        r = (r * a + 127) / 255;
        g = (g * a + 127) / 255;
        b = (b * a + 127) / 255;
    }
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// Stored pixels turned upright as an EXIF (or TIFF) orientation value says.
std::vector<std::uint32_t> orient(std::vector<std::uint32_t> pixels, std::uint32_t &w, std::uint32_t &h,
                                  int orientation)
{
    if (orientation < 2 || orientation > 8) {
        return pixels;
    }
    const std::uint32_t sw = w;
    const std::uint32_t sh = h;
    const bool swap = orientation >= 5;
    const std::uint32_t ow = swap ? sh : sw;
    const std::uint32_t oh = swap ? sw : sh;
    std::vector<std::uint32_t> out(static_cast<std::size_t>(ow) * oh);
    for (std::uint32_t y = 0; y < oh; ++y) {
        for (std::uint32_t x = 0; x < ow; ++x) {
            std::uint32_t sx = x;
            std::uint32_t sy = y;
            switch (orientation) {
            case 2:
                sx = sw - 1 - x;
                break;
            case 3:
                sx = sw - 1 - x;
                sy = sh - 1 - y;
                break;
            case 4:
                sy = sh - 1 - y;
                break;
            case 5:
                sx = y;
                sy = x;
                break;
            case 6:
                sx = y;
                sy = sh - 1 - x;
                break;
            case 7:
                sx = sw - 1 - y;
                sy = sh - 1 - x;
                break;
            case 8:
                sx = sw - 1 - y;
                sy = x;
                break;
            default:
                break;
            }
            out[static_cast<std::size_t>(y) * ow + x] = pixels[static_cast<std::size_t>(sy) * sw + sx];
        }
    }
    w = ow;
    h = oh;
    return out;
}

// The reduced size in stored orientation for an upright box.
void storedTarget(std::uint32_t storedW, std::uint32_t storedH, bool swap, const RasterRequest &request,
                  std::uint32_t &outW, std::uint32_t &outH)
{
    const std::uint32_t boxW = swap ? request.boxHeight : request.boxWidth;
    const std::uint32_t boxH = swap ? request.boxWidth : request.boxHeight;
    FitRasterSize(storedW, storedH, boxW, boxH, outW, outH);
}

// ---- HEIF and AVIF ----

struct HeifContextFree
{
    void operator()(heif_context *c) const { heif_context_free(c); }
};
struct HeifHandleFree
{
    void operator()(heif_image_handle *h) const { heif_image_handle_release(h); }
};
struct HeifImageFree
{
    void operator()(heif_image *i) const { heif_image_release(i); }
};
struct HeifOptionsFree
{
    void operator()(heif_decoding_options *o) const { heif_decoding_options_free(o); }
};

std::optional<RasterResult> decodeHeif(const unsigned char *data, std::size_t size, const RasterRequest &request,
                                       const RasterLimits &limits, RasterFailure *failure)
{
    static const bool initialised = [] {
        heif_init(nullptr);
        return true;
    }();
    (void)initialised;
    std::unique_ptr<heif_context, HeifContextFree> context(heif_context_alloc());
    if (!context) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    heif_context_set_maximum_image_size_limit(context.get(), static_cast<int>(limits.maxSide));
    if (heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr).code != heif_error_Ok) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    heif_image_handle *rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    std::unique_ptr<heif_image_handle, HeifHandleFree> handle(rawHandle);
    // The size with the container's rotation and mirroring applied: the picture as it is seen.
    const int width = heif_image_handle_get_width(handle.get());
    const int height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    if (!withinLimits(static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height), limits)) {
        fail(failure, RasterFailure::TooLarge);
        return std::nullopt;
    }
    RasterResult result;
    result.naturalWidth = static_cast<std::uint32_t>(width);
    result.naturalHeight = static_cast<std::uint32_t>(height);
    if (request.infoOnly) {
        return result;
    }
    std::uint32_t outW = 0;
    std::uint32_t outH = 0;
    FitRasterSize(result.naturalWidth, result.naturalHeight, request.boxWidth, request.boxHeight, outW, outH);

    // A phone's photo carries a small copy: when it is at least as large as what is drawn, it is
    // decoded instead of the whole picture.
    heif_image_handle *source = handle.get();
    std::unique_ptr<heif_image_handle, HeifHandleFree> thumbnail;
    const int thumbnails = heif_image_handle_get_number_of_thumbnails(handle.get());
    if (thumbnails > 0 && (outW < result.naturalWidth || outH < result.naturalHeight)) {
        std::vector<heif_item_id> ids(static_cast<std::size_t>(thumbnails));
        const int listed = heif_image_handle_get_list_of_thumbnail_IDs(handle.get(), ids.data(), thumbnails);
        for (int i = 0; i < listed; ++i) {
            heif_image_handle *t = nullptr;
            if (heif_image_handle_get_thumbnail(handle.get(), ids[static_cast<std::size_t>(i)], &t).code !=
                heif_error_Ok) {
                continue;
            }
            std::unique_ptr<heif_image_handle, HeifHandleFree> candidate(t);
            const int tw = heif_image_handle_get_width(t);
            const int th = heif_image_handle_get_height(t);
            // Same shape (so the same way up) and large enough.
            const double shape = static_cast<double>(width) / height;
            const bool sameShape = th > 0 && std::abs(static_cast<double>(tw) / th - shape) <= shape / 50;
            if (sameShape && tw >= static_cast<int>(outW) && th >= static_cast<int>(outH) &&
                withinLimits(static_cast<std::uint64_t>(tw), static_cast<std::uint64_t>(th), limits) &&
                (!thumbnail || tw < heif_image_handle_get_width(thumbnail.get()))) {
                thumbnail = std::move(candidate);
            }
        }
        if (thumbnail) {
            source = thumbnail.get();
        }
    }
    std::unique_ptr<heif_decoding_options, HeifOptionsFree> options(heif_decoding_options_alloc());
    heif_image *rawImage = nullptr;
    if (heif_decode_image(source, &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options.get()).code !=
        heif_error_Ok) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    std::unique_ptr<heif_image, HeifImageFree> image(rawImage);
    int stride = 0;
    const std::uint8_t *plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int dw = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int dh = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (plane == nullptr || dw <= 0 || dh <= 0 || stride < dw * 4 ||
        !withinLimits(static_cast<std::uint64_t>(dw), static_cast<std::uint64_t>(dh), limits)) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    std::vector<std::uint32_t> argb(static_cast<std::size_t>(dw) * static_cast<std::size_t>(dh));
    bool alpha = false;
    for (int y = 0; y < dh; ++y) {
        const std::uint8_t *row = plane + static_cast<std::ptrdiff_t>(y) * stride;
        std::uint32_t *out = argb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(dw);
        for (int x = 0; x < dw; ++x) {
            const std::uint8_t *p = row + static_cast<std::ptrdiff_t>(x) * 4;
            alpha = alpha || p[3] != 255;
            out[x] = premultiply(p[0], p[1], p[2], p[3]);
        }
    }
    image.reset();
    FitRasterSize(result.naturalWidth, result.naturalHeight, request.boxWidth, request.boxHeight, outW, outH);
    outW = std::min(outW, static_cast<std::uint32_t>(dw));
    outH = std::min(outH, static_cast<std::uint32_t>(dh));
    result.hasAlpha = alpha;
    result.width = outW;
    result.height = outH;
    result.pixels = (outW == static_cast<std::uint32_t>(dw) && outH == static_cast<std::uint32_t>(dh))
                        ? std::move(argb)
                        : ReduceRaster(argb.data(), static_cast<std::uint32_t>(dw), static_cast<std::uint32_t>(dh),
                                       static_cast<std::size_t>(dw), outW, outH);
    return result;
}

// ---- JPEG XL ----

struct JxlDecoderFree
{
    void operator()(JxlDecoder *d) const { JxlDecoderDestroy(d); }
};
struct JxlRunnerFree
{
    void operator()(void *r) const { JxlThreadParallelRunnerDestroy(r); }
};

std::optional<RasterResult> decodeJxl(const unsigned char *data, std::size_t size, const RasterRequest &request,
                                      const RasterLimits &limits, RasterFailure *failure)
{
    std::unique_ptr<JxlDecoder, JxlDecoderFree> decoder(JxlDecoderCreate(nullptr));
    if (!decoder) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    std::unique_ptr<void, JxlRunnerFree> runner;
    const int events = JXL_DEC_BASIC_INFO | (request.infoOnly ? 0 : JXL_DEC_FULL_IMAGE);
    if (JxlDecoderSubscribeEvents(decoder.get(), events) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(decoder.get(), JXL_FALSE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), data, size) != JXL_DEC_SUCCESS) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    JxlDecoderCloseInput(decoder.get());
    if (!request.infoOnly && request.threads > 0) {
        // Two threads by default: the helper's CPU allowance counts them all, and a decode is
        // asked for while the viewer's own threads are busy with the next pictures.
        runner.reset(JxlThreadParallelRunnerCreate(nullptr, request.threads));
        if (!runner ||
            JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS) {
            fail(failure, RasterFailure::Damaged);
            return std::nullopt;
        }
    }
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    RasterResult result;
    JxlBasicInfo info{};
    std::vector<std::uint8_t> rgba;
    std::uint32_t dw = 0;
    std::uint32_t dh = 0;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        if (status == JXL_DEC_BASIC_INFO) {
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS) {
                fail(failure, RasterFailure::Damaged);
                return std::nullopt;
            }
            const bool swap = info.orientation >= JXL_ORIENT_TRANSPOSE;
            dw = swap ? info.ysize : info.xsize;
            dh = swap ? info.xsize : info.ysize;
            if (!withinLimits(dw, dh, limits)) {
                fail(failure, RasterFailure::TooLarge);
                return std::nullopt;
            }
            result.naturalWidth = dw;
            result.naturalHeight = dh;
            if (request.infoOnly) {
                return result;
            }
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            std::size_t needed = 0;
            if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &needed) != JXL_DEC_SUCCESS ||
                needed != static_cast<std::size_t>(dw) * dh * 4) {
                fail(failure, RasterFailure::Damaged);
                return std::nullopt;
            }
            rgba.resize(needed);
            if (JxlDecoderSetImageOutBuffer(decoder.get(), &format, rgba.data(), rgba.size()) != JXL_DEC_SUCCESS) {
                fail(failure, RasterFailure::Damaged);
                return std::nullopt;
            }
        } else if (status == JXL_DEC_FULL_IMAGE) {
            break; // the first frame of an animation is the picture
        } else if (status == JXL_DEC_SUCCESS && !rgba.empty()) {
            break;
        } else {
            fail(failure, RasterFailure::Damaged);
            return std::nullopt;
        }
    }
    if (rgba.empty()) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    std::vector<std::uint32_t> argb(static_cast<std::size_t>(dw) * dh);
    const bool premultiplied = info.alpha_premultiplied != 0;
    bool alpha = false;
    for (std::size_t i = 0; i < argb.size(); ++i) {
        const std::uint8_t *p = rgba.data() + i * 4;
        alpha = alpha || p[3] != 255;
        argb[i] = premultiplied
                      ? (std::uint32_t(p[3]) << 24) | (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2]
                      : premultiply(p[0], p[1], p[2], p[3]);
    }
    rgba = {};
    std::uint32_t outW = 0;
    std::uint32_t outH = 0;
    FitRasterSize(dw, dh, request.boxWidth, request.boxHeight, outW, outH);
    result.hasAlpha = alpha;
    result.width = outW;
    result.height = outH;
    result.pixels = (outW == dw && outH == dh) ? std::move(argb) : ReduceRaster(argb.data(), dw, dh, dw, outW, outH);
    return result;
}

// ---- TIFF ----

struct MemoryFile
{
    const unsigned char *data;
    std::size_t size;
    std::size_t at = 0;
};

tsize_t tiffRead(thandle_t h, tdata_t into, tsize_t length)
{
    auto *f = static_cast<MemoryFile *>(h);
    if (length <= 0 || f->at >= f->size) {
        return 0;
    }
    const std::size_t n = std::min(static_cast<std::size_t>(length), f->size - f->at);
    std::memcpy(into, f->data + f->at, n);
    f->at += n;
    return static_cast<tsize_t>(n);
}

tsize_t tiffWrite(thandle_t, tdata_t, tsize_t)
{
    return 0;
}

toff_t tiffSeek(thandle_t h, toff_t offset, int whence)
{
    auto *f = static_cast<MemoryFile *>(h);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) {
        base = f->at;
    } else if (whence == SEEK_END) {
        base = f->size;
    }
    const std::uint64_t to = base + offset;
    if (to < base) {
        return static_cast<toff_t>(-1);
    }
    f->at = static_cast<std::size_t>(std::min<std::uint64_t>(to, f->size));
    return f->at;
}

int tiffClose(thandle_t)
{
    return 0;
}

toff_t tiffSize(thandle_t h)
{
    return static_cast<MemoryFile *>(h)->size;
}

int tiffMap(thandle_t, tdata_t *, toff_t *)
{
    return 0;
}

void tiffUnmap(thandle_t, tdata_t, toff_t) {}

struct TiffClose
{
    void operator()(TIFF *t) const { TIFFClose(t); }
};

std::optional<RasterResult> decodeTiff(const unsigned char *data, std::size_t size, const RasterRequest &request,
                                       const RasterLimits &limits, RasterFailure *failure)
{
    static const bool quiet = [] {
        TIFFSetWarningHandler(nullptr);
        TIFFSetErrorHandler(nullptr);
        return true;
    }();
    (void)quiet;
    MemoryFile file{data, size};
    TIFFOpenOptions *openOptions = TIFFOpenOptionsAlloc();
    // A damaged header can ask for any amount of memory in one go: no single allocation may
    // exceed what the largest allowed picture needs.
    TIFFOpenOptionsSetMaxSingleMemAlloc(openOptions, static_cast<tmsize_t>(limits.maxPixels * 4 + (16 << 20)));
    std::unique_ptr<TIFF, TiffClose> tiff(TIFFClientOpenExt("picture", "rm", &file, tiffRead, tiffWrite, tiffSeek,
                                                            tiffClose, tiffSize, tiffMap, tiffUnmap, openOptions));
    TIFFOpenOptionsFree(openOptions);
    if (!tiff) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    std::uint32_t sw = 0;
    std::uint32_t sh = 0;
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    if (TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &sw) != 1 ||
        TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &sh) != 1) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_ORIENTATION, &orientation);
    if (orientation < 1 || orientation > 8) {
        orientation = ORIENTATION_TOPLEFT;
    }
    if (!withinLimits(sw, sh, limits)) {
        fail(failure, RasterFailure::TooLarge);
        return std::nullopt;
    }
    const bool swap = orientation >= 5;
    RasterResult result;
    result.naturalWidth = swap ? sh : sw;
    result.naturalHeight = swap ? sw : sh;
    if (request.infoOnly) {
        return result;
    }
    char message[1024] = {};
    if (TIFFRGBAImageOK(tiff.get(), message) != 1) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    TIFFRGBAImage reader{};
    if (TIFFRGBAImageBegin(&reader, tiff.get(), 0, message) != 1) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    // Asking for the file's own orientation reads the rows as stored, top row first; turning
    // upright follows below for all eight orientations alike (the library flips but never turns).
    reader.req_orientation = orientation;
    std::vector<std::uint32_t> raster(static_cast<std::size_t>(sw) * sh);
    const bool read = TIFFRGBAImageGet(&reader, raster.data(), sw, sh) == 1;
    TIFFRGBAImageEnd(&reader);
    if (!read) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    bool alpha = false;
    for (std::uint32_t &p : raster) {
        // The library's words hold R in the low byte, premultiplied already where there is alpha.
        const std::uint32_t a = TIFFGetA(p);
        alpha = alpha || a != 255;
        p = (a << 24) | (TIFFGetR(p) << 16) | (TIFFGetG(p) << 8) | TIFFGetB(p);
    }
    std::uint32_t outW = 0;
    std::uint32_t outH = 0;
    storedTarget(sw, sh, swap, request, outW, outH);
    if (outW != sw || outH != sh) {
        raster = ReduceRaster(raster.data(), sw, sh, sw, outW, outH);
    }
    raster = orient(std::move(raster), outW, outH, orientation);
    result.hasAlpha = alpha;
    result.width = outW;
    result.height = outH;
    result.pixels = std::move(raster);
    return result;
}

} // namespace

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

std::vector<std::uint32_t> ReduceRaster(const std::uint32_t *source, std::uint32_t width, std::uint32_t height,
                                        std::size_t stride, std::uint32_t outW, std::uint32_t outH)
{
    // Exact areas in integers: a source pixel is outW (outH) units wide (high), an output pixel
    // width (height) units; each output pixel is the mean of the source area under it.
    std::vector<std::uint32_t> out(static_cast<std::size_t>(outW) * outH);
    std::vector<double> row(static_cast<std::size_t>(outW) * 4);
    std::vector<double> acc(static_cast<std::size_t>(outW) * 4, 0.0);
    std::uint32_t oy = 0;
    std::uint64_t yFilled = 0; // units of the current output row covered so far
    for (std::uint32_t sy = 0; sy < height && oy < outH; ++sy) {
        std::fill(row.begin(), row.end(), 0.0);
        const std::uint32_t *line = source + static_cast<std::size_t>(sy) * stride;
        std::uint32_t ox = 0;
        std::uint64_t xFilled = 0;
        for (std::uint32_t sx = 0; sx < width && ox < outW; ++sx) {
            const std::uint32_t p = line[sx];
            std::uint64_t left = outW;
            while (left > 0 && ox < outW) {
                const std::uint64_t take = std::min<std::uint64_t>(left, width - xFilled);
                const auto w = static_cast<double>(take);
                double *r = &row[static_cast<std::size_t>(ox) * 4];
                r[0] += w * (p >> 24);
                r[1] += w * ((p >> 16) & 0xFF);
                r[2] += w * ((p >> 8) & 0xFF);
                r[3] += w * (p & 0xFF);
                left -= take;
                xFilled += take;
                if (xFilled == width) {
                    xFilled = 0;
                    ++ox;
                }
            }
        }
        std::uint64_t left = outH;
        while (left > 0 && oy < outH) {
            const std::uint64_t take = std::min<std::uint64_t>(left, height - yFilled);
            const double w = static_cast<double>(take) / width;
            for (std::size_t i = 0; i < acc.size(); ++i) {
                acc[i] += row[i] * w;
            }
            left -= take;
            yFilled += take;
            if (yFilled == height) {
                std::uint32_t *o = out.data() + static_cast<std::size_t>(oy) * outW;
                for (std::uint32_t x = 0; x < outW; ++x) {
                    const double *a = &acc[static_cast<std::size_t>(x) * 4];
                    auto c = [&](int i) {
                        return static_cast<std::uint32_t>(std::clamp(a[i] / height + 0.5, 0.0, 255.0));
                    };
                    o[x] = (c(0) << 24) | (c(1) << 16) | (c(2) << 8) | c(3);
                }
                std::fill(acc.begin(), acc.end(), 0.0);
                yFilled = 0;
                ++oy;
            }
        }
    }
    return out;
}

std::optional<RasterResult> DecodeRaster(RasterKind kind, const unsigned char *data, std::size_t size,
                                         const RasterRequest &request, const RasterLimits &limits,
                                         RasterFailure *failure)
{
    fail(failure, RasterFailure::None);
    if (data == nullptr || size == 0) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    switch (kind) {
    case RasterKind::Heif:
        return decodeHeif(data, size, request, limits, failure);
    case RasterKind::JpegXl:
        return decodeJxl(data, size, request, limits, failure);
    case RasterKind::Tiff:
        return decodeTiff(data, size, request, limits, failure);
    }
    fail(failure, RasterFailure::Damaged);
    return std::nullopt;
}
