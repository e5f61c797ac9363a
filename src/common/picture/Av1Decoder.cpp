// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/Av1Decoder.h"

#include "common/picture/HeifStreamColour.h"
#include "common/picture/PlaneReduce.h"

#include <dav1d/dav1d.h>
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

// Above nothing: libheif's own dav1d plugin stays the one it picks by itself.
constexpr int kPriority = 1;
constexpr unsigned kMaxThreads = 8;
// A frame larger than this is refused before dav1d allocates it, whatever the stream claims,
// when the decode gives no limit of its own.
constexpr unsigned kFrameSizeLimit = 100'000'000;

std::atomic<unsigned> gThreads{2};

struct Decoder
{
    Dav1dContext *context = nullptr;
    Dav1dData data{};
    bool strict = false;
};

constexpr heif_error kOk{heif_error_Ok, heif_suberror_Unspecified, "Success"};

heif_error failure(heif_suberror_code why, const char *message)
{
    return {heif_error_Decoder_plugin_error, why, message};
}

const char *pluginName()
{
    return "dav1d AV1 decoder, reducing";
}

void initPlugin() {}

void deinitPlugin() {}

int supportsFormat(heif_compression_format format)
{
    return format == heif_compression_AV1 ? kPriority : 0;
}

heif_error newDecoder(void **out)
{
    *out = nullptr;
    auto *decoder = new (std::nothrow) Decoder;
    if (decoder == nullptr) {
        return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "no memory for the decoder"};
    }
    Dav1dSettings settings;
    dav1d_default_settings(&settings);
    settings.n_threads = static_cast<int>(std::clamp(gThreads.load(), 1u, kMaxThreads));
    // One still picture: nothing is gained from frames in flight.
    settings.max_frame_delay = 1;
    settings.all_layers = 0;
    const PlaneReduction *reduction = CurrentPlaneReduction();
    settings.frame_size_limit = reduction != nullptr && reduction->maxPixels > 0 && reduction->maxPixels <= UINT_MAX
                                    ? static_cast<unsigned>(reduction->maxPixels)
                                    : kFrameSizeLimit;
    if (dav1d_open(&decoder->context, &settings) != 0) {
        delete decoder;
        return failure(heif_suberror_Unspecified, "dav1d cannot start");
    }
    *out = decoder;
    return kOk;
}

void freeDecoder(void *raw)
{
    auto *decoder = static_cast<Decoder *>(raw);
    if (decoder != nullptr) {
        dav1d_data_unref(&decoder->data);
        dav1d_close(&decoder->context);
        delete decoder;
    }
}

void setStrictDecoding(void *raw, int strict)
{
    static_cast<Decoder *>(raw)->strict = strict != 0;
}

heif_error pushData(void *raw, const void *data, std::size_t size)
{
    auto *decoder = static_cast<Decoder *>(raw);
    if (data == nullptr || size == 0) {
        return failure(heif_suberror_Null_pointer_argument, "no data");
    }
    if (decoder->data.sz != 0) {
        return failure(heif_suberror_Unspecified, "data pushed twice");
    }
    std::uint8_t *to = dav1d_data_create(&decoder->data, size);
    if (to == nullptr) {
        return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "no memory for the data"};
    }
    std::memcpy(to, data, size);
    return kOk;
}

// The planes copied whole, as libheif's own plugin hands them over.
heif_error wholeImage(const Dav1dPicture &frame, heif_chroma chroma, heif_image **out)
{
    const bool mono = chroma == heif_chroma_monochrome;
    heif_image *image = nullptr;
    heif_error error = heif_image_create(frame.p.w, frame.p.h,
                                         mono ? heif_colorspace_monochrome : heif_colorspace_YCbCr, chroma, &image);
    if (error.code != heif_error_Ok) {
        return error;
    }
    static constexpr heif_channel kChannels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    const int sx = frame.p.layout == DAV1D_PIXEL_LAYOUT_I444 ? 0 : 1;
    const int sy = frame.p.layout == DAV1D_PIXEL_LAYOUT_I420 ? 1 : 0;
    const std::size_t sampleBytes = frame.p.bpc > 8 ? 2 : 1;
    for (int c = 0; c < (mono ? 1 : 3); ++c) {
        const int w = c == 0 ? frame.p.w : (frame.p.w + sx) >> sx;
        const int h = c == 0 ? frame.p.h : (frame.p.h + sy) >> sy;
        const std::ptrdiff_t stride = frame.stride[c > 0 ? 1 : 0];
        const auto *from = static_cast<const std::uint8_t *>(frame.data[c]);
        const std::size_t rowBytes = static_cast<std::size_t>(w) * sampleBytes;
        if (from == nullptr || stride < 0 || static_cast<std::size_t>(stride) < rowBytes) {
            heif_image_release(image);
            return failure(heif_suberror_Invalid_image_size, "a decoded plane does not fit the picture");
        }
        error = heif_image_add_plane(image, kChannels[c], w, h, frame.p.bpc);
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
            std::memcpy(to + static_cast<std::ptrdiff_t>(y) * toStride, from + y * stride, rowBytes);
        }
    }
    *out = image;
    return kOk;
}

heif_image *reducedImage(const Dav1dPicture &frame)
{
    std::uint32_t outW = 0;
    std::uint32_t outH = 0;
    if (frame.p.bpc != 8 || frame.p.w <= 0 || frame.p.h <= 0 ||
        !PlaneReductionFor(static_cast<std::uint32_t>(frame.p.w), static_cast<std::uint32_t>(frame.p.h), outW, outH)) {
        return nullptr;
    }
    PlaneSamples samples;
    samples.width = static_cast<std::uint32_t>(frame.p.w);
    samples.height = static_cast<std::uint32_t>(frame.p.h);
    samples.monochrome = frame.p.layout == DAV1D_PIXEL_LAYOUT_I400;
    samples.shiftX = frame.p.layout == DAV1D_PIXEL_LAYOUT_I444 ? 0 : 1;
    samples.shiftY = frame.p.layout == DAV1D_PIXEL_LAYOUT_I420 ? 1 : 0;
    samples.chromaW = (samples.width + static_cast<std::uint32_t>(samples.shiftX)) >> samples.shiftX;
    samples.chromaH = (samples.height + static_cast<std::uint32_t>(samples.shiftY)) >> samples.shiftY;
    for (int c = 0; c < (samples.monochrome ? 1 : 3); ++c) {
        samples.plane[c] = static_cast<const std::uint8_t *>(frame.data[c]);
        samples.stride[c] = frame.stride[c > 0 ? 1 : 0];
    }
    return ReducedPlanes(samples, outW, outH);
}

heif_error decodeImage(void *raw, heif_image **out)
{
    auto *decoder = static_cast<Decoder *>(raw);
    *out = nullptr;
    Dav1dPicture frame{};
    // Data is sent until dav1d takes no more, then the picture drained: an item holds one.
    bool drained = false;
    for (;;) {
        int result = 0;
        if (decoder->data.sz > 0) {
            result = dav1d_send_data(decoder->context, &decoder->data);
            if (result < 0 && result != DAV1D_ERR(EAGAIN)) {
                return failure(heif_suberror_Unspecified, "the AV1 stream is damaged");
            }
        }
        result = dav1d_get_picture(decoder->context, &frame);
        if (result == DAV1D_ERR(EAGAIN) && (decoder->data.sz > 0 || !drained)) {
            drained = decoder->data.sz == 0;
            continue;
        }
        if (result < 0) {
            return failure(heif_suberror_Unspecified, "the AV1 stream holds no picture");
        }
        break;
    }
    heif_chroma chroma = heif_chroma_undefined;
    switch (frame.p.layout) {
    case DAV1D_PIXEL_LAYOUT_I400:
        chroma = heif_chroma_monochrome;
        break;
    case DAV1D_PIXEL_LAYOUT_I420:
        chroma = heif_chroma_420;
        break;
    case DAV1D_PIXEL_LAYOUT_I422:
        chroma = heif_chroma_422;
        break;
    case DAV1D_PIXEL_LAYOUT_I444:
        chroma = heif_chroma_444;
        break;
    }
    heif_error error = kOk;
    heif_image *image = nullptr;
    if (chroma == heif_chroma_undefined || frame.seq_hdr == nullptr || frame.p.w <= 0 || frame.p.h <= 0) {
        error = failure(heif_suberror_Unspecified, "the decoded picture has no size or layout");
    } else {
        image = reducedImage(frame);
        if (image == nullptr) {
            error = wholeImage(frame, chroma, &image);
        }
    }
    if (error.code == heif_error_Ok) {
        const Dav1dSequenceHeader &header = *frame.seq_hdr;
        error =
            SetStreamColour(image,
                            StreamColour{static_cast<std::uint16_t>(header.pri), static_cast<std::uint16_t>(header.trc),
                                         static_cast<std::uint16_t>(header.mtrx), header.color_range != 0},
                            decoder->strict);
        if (error.code != heif_error_Ok) {
            heif_image_release(image);
            image = nullptr;
        }
    }
    dav1d_picture_unref(&frame);
    *out = image;
    return error;
}

const heif_decoder_plugin kPlugin{
    3,           pluginName, initPlugin,  deinitPlugin,      supportsFormat, newDecoder,
    freeDecoder, pushData,   decodeImage, setStrictDecoding, kAv1DecoderId,
};

} // namespace

const heif_decoder_plugin *Av1DecoderPlugin()
{
    return &kPlugin;
}

void SetAv1DecoderThreads(unsigned threads)
{
    gThreads = threads;
}

bool RegisterAv1Decoder()
{
    static std::once_flag once;
    static bool registered = false;
    std::call_once(once, [] {
        heif_init(nullptr);
        // Should registering fail, AV1 pictures are decoded whole by libheif's own plugin.
        registered = heif_register_decoder_plugin(&kPlugin).code == heif_error_Ok;
    });
    return registered;
}
