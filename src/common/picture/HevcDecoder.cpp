// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/HevcDecoder.h"

#include "common/picture/HeifStreamColour.h"
#include "common/picture/PlaneReduce.h"

#include <libde265/de265.h>
#include <libheif/heif.h>
#include <libheif/heif_plugin.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>

namespace {

// Above the stock libde265 decoder's 100, so libheif picks this one for every HEVC item.
constexpr int kPriority = 200;
// libde265 caps its pool at 32; more than a few buys nothing for a single picture.
constexpr unsigned kMaxThreads = 8;

std::atomic<unsigned> gThreads{2};

struct Decoder
{
    de265_decoder_context *context = nullptr;
    bool strict = false;
};

constexpr heif_error kOk{heif_error_Ok, heif_suberror_Unspecified, "Success"};

heif_error failure(heif_suberror_code why, const char *message)
{
    return {heif_error_Decoder_plugin_error, why, message};
}

const char *pluginName()
{
    return "libde265 HEVC decoder with worker threads";
}

void initPlugin()
{
    de265_init();
}

void deinitPlugin()
{
    de265_free();
}

int supportsFormat(heif_compression_format format)
{
    return format == heif_compression_HEVC ? kPriority : 0;
}

heif_error newDecoder(void **out)
{
    *out = nullptr;
    auto *decoder = new (std::nothrow) Decoder;
    if (decoder == nullptr) {
        return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "no memory for the decoder"};
    }
    decoder->context = de265_new_decoder();
    if (decoder->context == nullptr) {
        delete decoder;
        return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "no memory for the decoder"};
    }
    const unsigned threads = std::min(gThreads.load(), kMaxThreads);
    if (threads > 0 && de265_start_worker_threads(decoder->context, static_cast<int>(threads)) != DE265_OK) {
        // Where no thread can be started (a process limit), the picture still decodes, on the
        // caller's thread alone: a fresh context, as a half-started pool is not to be relied on.
        de265_free_decoder(decoder->context);
        decoder->context = de265_new_decoder();
        if (decoder->context == nullptr) {
            delete decoder;
            return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "no memory for the decoder"};
        }
    }
    *out = decoder;
    return kOk;
}

void freeDecoder(void *raw)
{
    auto *decoder = static_cast<Decoder *>(raw);
    if (decoder != nullptr) {
        de265_free_decoder(decoder->context);
        delete decoder;
    }
}

void setStrictDecoding(void *raw, int strict)
{
    static_cast<Decoder *>(raw)->strict = strict != 0;
}

// libheif hands over the parameter sets and the picture's data together, each NAL unit behind
// its length in four big-endian bytes. Nothing of it is trusted.
heif_error pushData(void *raw, const void *data, std::size_t size)
{
    auto *decoder = static_cast<Decoder *>(raw);
    const auto *bytes = static_cast<const std::uint8_t *>(data);
    if (bytes == nullptr && size > 0) {
        return failure(heif_suberror_Null_pointer_argument, "no data");
    }
    std::size_t at = 0;
    while (at < size) {
        if (size - at < 4) {
            return failure(heif_suberror_End_of_data, "a NAL unit's length is cut off");
        }
        const std::uint32_t length = (std::uint32_t(bytes[at]) << 24) | (std::uint32_t(bytes[at + 1]) << 16) |
                                     (std::uint32_t(bytes[at + 2]) << 8) | std::uint32_t(bytes[at + 3]);
        at += 4;
        if (length > size - at || length > static_cast<std::uint32_t>(INT_MAX)) {
            return failure(heif_suberror_End_of_data, "a NAL unit runs past the end of the data");
        }
        // A NAL unit is at least its two-byte header; libde265 would read one shorter as zeros.
        if (length < 2) {
            return failure(heif_suberror_End_of_data, "a NAL unit shorter than its header");
        }
        if (de265_push_NAL(decoder->context, bytes + at, static_cast<int>(length), 0, nullptr) != DE265_OK) {
            return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "no memory for a NAL unit"};
        }
        at += length;
    }
    return kOk;
}

// What libde265 only warns of but what leaves parts of the picture undecoded (whatever the
// buffers held shows there): slices cut short, running past the picture, or whose headers or
// parameter sets could not be read.
bool damaging(de265_error warning)
{
    switch (warning) {
    case DE265_WARNING_CTB_OUTSIDE_IMAGE_AREA:
    case DE265_WARNING_EOSS_BIT_NOT_SET:
    case DE265_WARNING_SPS_HEADER_INVALID:
    case DE265_WARNING_PPS_HEADER_INVALID:
    case DE265_WARNING_SLICEHEADER_INVALID:
    case DE265_WARNING_NONEXISTING_PPS_REFERENCED:
    case DE265_WARNING_NONEXISTING_SPS_REFERENCED:
    case DE265_WARNING_SLICE_SEGMENT_ADDRESS_INVALID:
    case DE265_WARNING_DEPENDENT_SLICE_WITH_ADDRESS_ZERO:
    case DE265_ERROR_CODED_PARAMETER_OUT_OF_RANGE:
        return true;
    default:
        return false;
    }
}

// Copies the decoded planes into a libheif picture of the same layout: Y alone for monochrome,
// else Y, Cb and Cr as subsampled, one byte a sample up to 8 bits and two above.
heif_error toHeifImage(const de265_image *picture, heif_image **out)
{
    heif_chroma chroma = heif_chroma_undefined;
    int planes = 3;
    switch (de265_get_chroma_format(picture)) {
    case de265_chroma_mono:
        chroma = heif_chroma_monochrome;
        planes = 1;
        break;
    case de265_chroma_420:
        chroma = heif_chroma_420;
        break;
    case de265_chroma_422:
        chroma = heif_chroma_422;
        break;
    case de265_chroma_444:
        chroma = heif_chroma_444;
        break;
    }
    const int width = de265_get_image_width(picture, 0);
    const int height = de265_get_image_height(picture, 0);
    const int depth = de265_get_bits_per_pixel(picture, 0);
    if (chroma == heif_chroma_undefined || width <= 0 || height <= 0) {
        return failure(heif_suberror_Invalid_image_size, "the decoded picture has no size or layout");
    }
    if (depth < 1 || depth > 16) {
        return {heif_error_Unsupported_feature, heif_suberror_Unsupported_bit_depth, "unsupported bit depth"};
    }
    heif_image *image = nullptr;
    heif_error error = heif_image_create(
        width, height, planes == 1 ? heif_colorspace_monochrome : heif_colorspace_YCbCr, chroma, &image);
    if (error.code != heif_error_Ok) {
        return error;
    }
    static constexpr heif_channel kChannels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    const std::size_t sampleBytes = depth > 8 ? 2 : 1;
    for (int c = 0; c < planes; ++c) {
        if (de265_get_bits_per_pixel(picture, c) != depth) {
            heif_image_release(image);
            return {heif_error_Unsupported_feature, heif_suberror_Unsupported_color_conversion,
                    "channels with different bit depths"};
        }
        const int w = de265_get_image_width(picture, c);
        const int h = de265_get_image_height(picture, c);
        int stride = 0;
        const std::uint8_t *from = de265_get_image_plane(picture, c, &stride);
        const std::size_t rowBytes = static_cast<std::size_t>(w > 0 ? w : 0) * sampleBytes;
        if (w <= 0 || h <= 0 || w > width || h > height || from == nullptr || stride < 0 ||
            static_cast<std::size_t>(stride) < rowBytes) {
            heif_image_release(image);
            return failure(heif_suberror_Invalid_image_size, "a decoded plane does not fit the picture");
        }
        error = heif_image_add_plane(image, kChannels[c], w, h, depth);
        if (error.code != heif_error_Ok) {
            heif_image_release(image);
            return error;
        }
        int toStride = 0;
        std::uint8_t *to = heif_image_get_plane(image, kChannels[c], &toStride);
        if (to == nullptr || toStride < 0 || static_cast<std::size_t>(toStride) < rowBytes) {
            heif_image_release(image);
            return failure(heif_suberror_Invalid_image_size, "no room for a plane");
        }
        for (int y = 0; y < h; ++y) {
            std::memcpy(to + static_cast<std::size_t>(y) * static_cast<std::size_t>(toStride),
                        from + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride), rowBytes);
        }
    }
    *out = image;
    return kOk;
}

// The picture reduced to the size it is drawn at, when the decode asks for it and the picture
// is of 8-bit samples; nullptr otherwise (it is then handed over whole).
heif_image *reducedImage(const de265_image *picture)
{
    const int width = de265_get_image_width(picture, 0);
    const int height = de265_get_image_height(picture, 0);
    std::uint32_t outW = 0;
    std::uint32_t outH = 0;
    if (width <= 0 || height <= 0 ||
        !PlaneReductionFor(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), outW, outH)) {
        return nullptr;
    }
    PlaneSamples samples;
    samples.width = static_cast<std::uint32_t>(width);
    samples.height = static_cast<std::uint32_t>(height);
    switch (de265_get_chroma_format(picture)) {
    case de265_chroma_mono:
        samples.monochrome = true;
        break;
    case de265_chroma_420:
        samples.shiftX = 1;
        samples.shiftY = 1;
        break;
    case de265_chroma_422:
        samples.shiftX = 1;
        break;
    case de265_chroma_444:
        break;
    default:
        return nullptr;
    }
    const int planes = samples.monochrome ? 1 : 3;
    for (int c = 0; c < planes; ++c) {
        int stride = 0;
        samples.plane[c] = de265_get_image_plane(picture, c, &stride);
        samples.stride[c] = stride;
        if (de265_get_bits_per_pixel(picture, c) != 8 || samples.plane[c] == nullptr) {
            return nullptr;
        }
    }
    if (!samples.monochrome) {
        const int cw = de265_get_image_width(picture, 1);
        const int ch = de265_get_image_height(picture, 1);
        if (cw <= 0 || ch <= 0 || de265_get_image_width(picture, 2) != cw || de265_get_image_height(picture, 2) != ch) {
            return nullptr;
        }
        samples.chromaW = static_cast<std::uint32_t>(cw);
        samples.chromaH = static_cast<std::uint32_t>(ch);
    }
    return ReducedPlanes(samples, outW, outH);
}

heif_error decodeImage(void *raw, heif_image **out)
{
    auto *decoder = static_cast<Decoder *>(raw);
    *out = nullptr;
    de265_flush_data(decoder->context);
    // Decoded NAL by NAL until the first picture comes out; an item holds one picture, and
    // whatever a stream carries after it is not decoded.
    const de265_image *picture = nullptr;
    int more = 1;
    while (more != 0 && picture == nullptr) {
        more = 0;
        if (de265_decode(decoder->context, &more) != DE265_OK) {
            break;
        }
        picture = de265_get_next_picture(decoder->context);
    }
    for (de265_error w = de265_get_warning(decoder->context); w != DE265_OK; w = de265_get_warning(decoder->context)) {
        if (damaging(w)) {
            return failure(heif_suberror_Unspecified, "the HEVC stream is damaged");
        }
    }
    if (picture == nullptr) {
        return failure(heif_suberror_Unspecified, "the HEVC stream holds no picture");
    }
    heif_image *image = reducedImage(picture);
    heif_error error = image != nullptr ? kOk : toHeifImage(picture, &image);
    if (error.code != heif_error_Ok) {
        return error;
    }
    // The stream's VUI, which libheif uses where the file has no colour box of its own.
    error = SetStreamColour(image,
                            StreamColour{static_cast<std::uint16_t>(de265_get_image_colour_primaries(picture)),
                                         static_cast<std::uint16_t>(de265_get_image_transfer_characteristics(picture)),
                                         static_cast<std::uint16_t>(de265_get_image_matrix_coefficients(picture)),
                                         de265_get_image_full_range_flag(picture) != 0},
                            decoder->strict);
    if (error.code != heif_error_Ok) {
        heif_image_release(image);
        return error;
    }
    *out = image;
    return kOk;
}

const heif_decoder_plugin kPlugin{
    3,           pluginName, initPlugin,  deinitPlugin,      supportsFormat, newDecoder,
    freeDecoder, pushData,   decodeImage, setStrictDecoding, kHevcDecoderId,
};

} // namespace

const heif_decoder_plugin *HevcDecoderPlugin()
{
    return &kPlugin;
}

void SetHevcDecoderThreads(unsigned threads)
{
    gThreads = threads;
}

void RegisterHevcDecoder()
{
    static std::once_flag once;
    std::call_once(once, [] {
        heif_init(nullptr);
        // Should registering fail, libheif keeps its own libde265 decoder: slower, same pixels.
        (void)heif_register_decoder_plugin(&kPlugin);
    });
}
