// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/RasterDecode.h"

#include "common/picture/Av1Decoder.h"
#include "common/picture/HeifOwners.h"
#include "common/picture/HevcDecoder.h"
#include "common/picture/PlaneReduce.h"
#include "common/picture/TiffLzw.h"

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>
#include <libheif/heif.h>
#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <string_view>

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

// Stored pixels (sw x sh) written upright into `out` as an EXIF (or TIFF) orientation value says.
void orientInto(const std::uint32_t *pixels, std::uint32_t sw, std::uint32_t sh, int orientation, std::uint32_t *out)
{
    if (orientation < 2 || orientation > 8) {
        std::copy(pixels, pixels + static_cast<std::size_t>(sw) * sh, out);
        return;
    }
    const bool swap = orientation >= 5;
    const std::uint32_t ow = swap ? sh : sw;
    const std::uint32_t oh = swap ? sw : sh;
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
}

// The box of the request: given, or asked for now that the natural size is known.
bool settleBox(const RasterRequest &request, std::uint32_t naturalW, std::uint32_t naturalH, RasterRequest &settled)
{
    settled.boxWidth = request.boxWidth;
    settled.boxHeight = request.boxHeight;
    return !request.boxFor || request.boxFor(naturalW, naturalH, settled.boxWidth, settled.boxHeight);
}

// Where the result's w x h pixels go: the caller's place, or the result itself.
std::uint32_t *outputFor(RasterResult &result, const RasterRequest &request, std::uint32_t w, std::uint32_t h)
{
    const std::size_t count = static_cast<std::size_t>(w) * h;
    if (request.allocate) {
        return request.allocate(count);
    }
    result.pixels.resize(count);
    return result.pixels.data();
}

// Reduced pixels decoded in stored orientation (`stored`, w x h) written upright into the result's
// place; w and h become the upright size. False when there is no room for them.
bool turnUpright(RasterResult &result, const RasterRequest &request, const std::vector<std::uint32_t> &stored,
                 int orientation, std::uint32_t &w, std::uint32_t &h)
{
    std::uint32_t *turned = outputFor(result, request, w, h);
    if (turned == nullptr) {
        return false;
    }
    orientInto(stored.data(), w, h, orientation, turned);
    if (orientation >= 5) {
        std::swap(w, h);
    }
    return true;
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

std::uint32_t big32(const unsigned char *b)
{
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}

// Calls `each(type, body, bodySize)` for the ISO boxes laid one after another in `data` until it
// returns true or a box does not fit.
template<typename Each> void forEachBox(const unsigned char *data, std::size_t size, Each each)
{
    std::size_t at = 0;
    while (size - at >= 8) {
        std::uint64_t length = big32(data + at);
        std::size_t header = 8;
        if (length == 1) {
            if (size - at < 16) {
                return;
            }
            length = (std::uint64_t(big32(data + at + 8)) << 32) | big32(data + at + 12);
            header = 16;
        } else if (length == 0) {
            length = size - at;
        }
        if (length < header || length > size - at) {
            return;
        }
        const std::string_view type(reinterpret_cast<const char *>(data + at + 4), 4);
        if (each(type, data + at + header, static_cast<std::size_t>(length) - header)) {
            return;
        }
        at += static_cast<std::size_t>(length);
    }
}

// Whether the file's item properties turn or mirror a picture ('irot', 'imir' in meta/iprp/ipco).
// Where they do, they are what makes it upright, and the decoder has applied them; an EXIF
// orientation beside them only repeats what the camera saw (phones write both).
bool heifHasProperty(const unsigned char *data, std::size_t size, std::string_view first, std::string_view second = {})
{
    bool found = false;
    forEachBox(data, size, [&](std::string_view type, const unsigned char *body, std::size_t length) {
        if (type != "meta" || length < 4) {
            return false;
        }
        forEachBox(body + 4, length - 4, [&](std::string_view t, const unsigned char *b, std::size_t n) {
            if (t != "iprp") {
                return false;
            }
            forEachBox(b, n, [&](std::string_view t2, const unsigned char *b2, std::size_t n2) {
                if (t2 != "ipco") {
                    return false;
                }
                forEachBox(b2, n2, [&](std::string_view property, const unsigned char *, std::size_t) {
                    found = property == first || (!second.empty() && property == second);
                    return found;
                });
                return true;
            });
            return true;
        });
        return true;
    });
    return found;
}

bool heifTransformsItself(const unsigned char *data, std::size_t size)
{
    return heifHasProperty(data, size, "irot", "imir");
}

// Calls `each(type, box, boxSize)` for boxes laid one after another that must fill `data` exactly
// with 32-bit sizes; false when one does not fit or leaves bytes over.
template<typename Each> bool forEachBoxStrictly(const unsigned char *data, std::size_t size, Each each)
{
    std::size_t at = 0;
    while (at < size) {
        if (size - at < 8) {
            return false;
        }
        const std::uint32_t length = big32(data + at);
        if (length < 8 || length > size - at) {
            return false;
        }
        if (!each(std::string_view(reinterpret_cast<const char *>(data + at + 4), 4), data + at, length)) {
            return false;
        }
        at += length;
    }
    return true;
}

// What the decode needs to know of a HEIF's items before libheif reads them.
struct HeifItems
{
    // Every picture a derived picture (a grid's tile, an identity's or overlay's source) is made
    // of is an item that libheif decodes as a picture. libheif 1.15 asserts this rather than
    // checking it, and a file naming another kind of item there would end the process; its
    // parser also reads past a box's end, so a file whose item boxes do not add up exactly is
    // not taken either.
    bool derivationsResolve = true;
    // The primary picture is a grid of tiles (a phone's photo).
    bool primaryIsGrid = false;
    // Each item's type, by id (empty where its entry names none).
    std::vector<std::pair<std::uint32_t, std::string_view>> types;

    std::string_view typeOf(std::uint32_t item) const
    {
        const auto found = std::lower_bound(types.begin(), types.end(), item,
                                            [](const auto &x, std::uint32_t v) { return x.first < v; });
        return found == types.end() || found->first != item ? std::string_view() : found->second;
    }
};

HeifItems heifItems(const unsigned char *data, std::size_t size)
{
    struct Item
    {
        std::uint32_t id;
        std::string_view type; // empty for an entry without one (versions 0 and 1)
    };
    std::vector<Item> entries;
    std::vector<std::uint32_t> sources; // the items that 'dimg' references name
    std::optional<std::uint32_t> primary;
    bool readable = true;
    int infos = 0;
    int references = 0;
    auto id = [](const unsigned char *b, bool wide) { return wide ? big32(b) : (std::uint32_t(b[0]) << 8 | b[1]); };
    auto readInfos = [&](const unsigned char *b, std::size_t n) {
        const std::size_t count = b[0] == 0 ? 2 : 4;
        return n >= 4 + count &&
               forEachBoxStrictly(
                   b + 4 + count, n - 4 - count, [&](std::string_view type, const unsigned char *e, std::size_t en) {
                       if (type != "infe") {
                           return true; // libheif passes over what is not an item's entry
                       }
                       if (en < 8 + 4 + 2) {
                           return false;
                       }
                       const int version = e[8];
                       const bool wide = version >= 3;
                       const std::size_t typeAt = 8 + 4 + (wide ? 4 : 2) + 2;
                       if (version < 2) {
                           entries.push_back({id(e + 12, false), {}});
                       } else if (en >= typeAt + 4) {
                           entries.push_back(
                               {id(e + 12, wide), std::string_view(reinterpret_cast<const char *>(e + typeAt), 4)});
                       } else {
                           return false;
                       }
                       return true;
                   });
    };
    auto readReferences = [&](const unsigned char *b, std::size_t n) {
        const std::size_t idSize = b[0] == 0 ? 2 : 4;
        return forEachBoxStrictly(b + 4, n - 4, [&](std::string_view type, const unsigned char *r, std::size_t rn) {
            if (rn < 8 + idSize + 2) {
                return false;
            }
            const std::size_t count = std::size_t(r[8 + idSize]) << 8 | r[8 + idSize + 1];
            if (rn != 8 + idSize + 2 + count * idSize) {
                return false;
            }
            for (std::size_t i = 0; type == "dimg" && i < count; ++i) {
                sources.push_back(id(r + 8 + idSize + 2 + i * idSize, idSize == 4));
            }
            return true;
        });
    };
    forEachBox(data, size, [&](std::string_view type, const unsigned char *body, std::size_t length) {
        if (type != "meta" || length < 4) {
            return false;
        }
        forEachBox(body + 4, length - 4, [&](std::string_view t, const unsigned char *b, std::size_t n) {
            if (t == "pitm" && n >= 4 + (b[0] == 0 ? 2u : 4u)) {
                primary = id(b + 4, b[0] != 0);
            } else if (t == "iinf") {
                readable = readable && ++infos == 1 && n >= 4 && readInfos(b, n);
            } else if (t == "iref") {
                readable = readable && ++references == 1 && n >= 4 && readReferences(b, n);
            }
            return false;
        });
        return true;
    });
    std::sort(entries.begin(), entries.end(), [](const Item &x, const Item &y) { return x.id < y.id; });
    const bool distinct = std::adjacent_find(entries.begin(), entries.end(), [](const Item &x, const Item &y) {
                              return x.id == y.id;
                          }) == entries.end();
    auto typeOf = [&](std::uint32_t item) {
        const auto found = std::lower_bound(entries.begin(), entries.end(), item,
                                            [](const Item &x, std::uint32_t v) { return x.id < v; });
        return found == entries.end() || found->id != item ? std::string_view() : found->type;
    };
    auto isPicture = [&](std::uint32_t item) {
        const std::string_view t = typeOf(item);
        return t == "hvc1" || t == "grid" || t == "iden" || t == "iovl" || t == "av01" || t == "vvc1";
    };
    HeifItems items;
    items.derivationsResolve = readable && distinct && std::all_of(sources.begin(), sources.end(), isPicture);
    items.primaryIsGrid = primary && typeOf(*primary) == "grid";
    if (distinct) {
        items.types.reserve(entries.size());
        for (const Item &e : entries) {
            items.types.emplace_back(e.id, e.type);
        }
    }
    return items;
}

// The EXIF orientation of a HEIF item: its Exif block begins with the offset of the TIFF header.
int heifExifOrientation(const heif_image_handle *handle)
{
    constexpr std::size_t kMaxExif = 1u << 20;
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) != 1) {
        return 1;
    }
    const std::size_t size = heif_image_handle_get_metadata_size(handle, id);
    if (size < 4 + 8 || size > kMaxExif) {
        return 1;
    }
    std::vector<unsigned char> exif(size);
    if (heif_image_handle_get_metadata(handle, id, exif.data()).code != heif_error_Ok) {
        return 1;
    }
    const std::uint32_t offset = big32(exif.data());
    if (offset > size - 4 - 8) {
        return 1;
    }
    return TiffBlockOrientation(exif.data() + 4 + offset, size - 4 - offset);
}

// A decoded picture's 8-bit samples: red, green, blue and alpha (none: opaque), each `step`
// bytes from one pixel to the next: planes of their own, or four bytes a pixel.
struct HeifSamples
{
    const std::uint8_t *channel[4] = {};
    int stride[4] = {};
    int step = 1;
    int width = 0;
    int height = 0;

    // Row y as premultiplied words; whether any of it is not opaque.
    bool row(int y, int w, std::uint32_t *to) const
    {
        const std::uint8_t *r = channel[0] + static_cast<std::ptrdiff_t>(y) * stride[0];
        const std::uint8_t *g = channel[1] + static_cast<std::ptrdiff_t>(y) * stride[1];
        const std::uint8_t *b = channel[2] + static_cast<std::ptrdiff_t>(y) * stride[2];
        if (channel[3] == nullptr) {
            for (int x = 0; x < w; ++x) {
                const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(x) * step;
                to[x] = 0xFF000000u | (std::uint32_t(r[at]) << 16) | (std::uint32_t(g[at]) << 8) | b[at];
            }
            return false;
        }
        const std::uint8_t *a = channel[3] + static_cast<std::ptrdiff_t>(y) * stride[3];
        bool translucent = false;
        for (int x = 0; x < w; ++x) {
            const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(x) * step;
            translucent = translucent || a[at] != 255;
            to[x] = premultiply(r[at], g[at], b[at], a[at]);
        }
        return translucent;
    }
};

bool interleavedSamples(const heif_image *image, HeifSamples &samples)
{
    int stride = 0;
    const std::uint8_t *plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    const int w = heif_image_get_width(image, heif_channel_interleaved);
    const int h = heif_image_get_height(image, heif_channel_interleaved);
    if (plane == nullptr || w <= 0 || h <= 0 || stride < w * 4) {
        return false;
    }
    samples = HeifSamples{};
    for (int c = 0; c < 4; ++c) {
        samples.channel[c] = plane + c;
        samples.stride[c] = stride;
    }
    samples.step = 4;
    samples.width = w;
    samples.height = h;
    return true;
}

// The planes of an RGB picture at 8 bits, all of one size; false for anything else.
bool planarSamples(const heif_image *image, HeifSamples &samples)
{
    if (heif_image_get_colorspace(image) != heif_colorspace_RGB ||
        heif_image_get_chroma_format(image) != heif_chroma_444) {
        return false;
    }
    samples = HeifSamples{};
    const heif_channel channels[4] = {heif_channel_R, heif_channel_G, heif_channel_B, heif_channel_Alpha};
    for (int c = 0; c < 4; ++c) {
        if (c == 3 && !heif_image_has_channel(image, heif_channel_Alpha)) {
            break;
        }
        const int w = heif_image_get_width(image, channels[c]);
        const int h = heif_image_get_height(image, channels[c]);
        int stride = 0;
        const std::uint8_t *plane = heif_image_get_plane_readonly(image, channels[c], &stride);
        if (plane == nullptr || heif_image_get_bits_per_pixel(image, channels[c]) != 8 ||
            heif_image_get_bits_per_pixel_range(image, channels[c]) != 8 || w <= 0 || h <= 0 || stride < w ||
            (c > 0 && (w != samples.width || h != samples.height))) {
            return false;
        }
        samples.channel[c] = plane;
        samples.stride[c] = stride;
        samples.width = w;
        samples.height = h;
    }
    return true;
}

std::atomic<bool> gHeifReducesInDecoder{true};

std::optional<RasterResult> decodeHeif(const unsigned char *data, std::size_t size, const RasterRequest &request,
                                       const RasterLimits &limits, RasterFailure *failure)
{
    RegisterHevcDecoder();
    HeifContextPtr context(heif_context_alloc());
    if (!context) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    heif_context_set_maximum_image_size_limit(context.get(), static_cast<int>(limits.maxSide));
    const HeifItems items = heifItems(data, size);
    if (!items.derivationsResolve ||
        heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr).code != heif_error_Ok) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    heif_image_handle *rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    HeifHandlePtr handle(rawHandle);
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
    // Below: the sizes and pixels as the decoder gives them, before the EXIF orientation.
    const int orientation = heifTransformsItself(data, size) ? 1 : heifExifOrientation(handle.get());
    const bool swap = orientation >= 5;
    RasterResult result;
    result.naturalWidth = static_cast<std::uint32_t>(swap ? height : width);
    result.naturalHeight = static_cast<std::uint32_t>(swap ? width : height);
    if (request.infoOnly) {
        return result;
    }
    RasterRequest box;
    if (!settleBox(request, result.naturalWidth, result.naturalHeight, box)) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    std::uint32_t outW = 0;
    std::uint32_t outH = 0;
    storedTarget(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), swap, box, outW, outH);

    // A phone's photo carries a small copy: when it is at least as large as what is drawn, it is
    // decoded instead of the whole picture.
    heif_image_handle *source = handle.get();
    heif_item_id sourceId = 0;
    if (heif_context_get_primary_image_ID(context.get(), &sourceId).code != heif_error_Ok) {
        sourceId = 0;
    }
    HeifHandlePtr thumbnail;
    const int thumbnails = heif_image_handle_get_number_of_thumbnails(handle.get());
    if (thumbnails > 0 && (outW < static_cast<std::uint32_t>(width) || outH < static_cast<std::uint32_t>(height))) {
        std::vector<heif_item_id> ids(static_cast<std::size_t>(thumbnails));
        const int listed = heif_image_handle_get_list_of_thumbnail_IDs(handle.get(), ids.data(), thumbnails);
        for (int i = 0; i < listed; ++i) {
            heif_image_handle *t = nullptr;
            if (heif_image_handle_get_thumbnail(handle.get(), ids[static_cast<std::size_t>(i)], &t).code !=
                heif_error_Ok) {
                continue;
            }
            HeifHandlePtr candidate(t);
            const int tw = heif_image_handle_get_width(t);
            const int th = heif_image_handle_get_height(t);
            // Same shape (so the same way up) and large enough.
            const double shape = static_cast<double>(width) / height;
            const bool sameShape = th > 0 && std::abs(static_cast<double>(tw) / th - shape) <= shape / 50;
            if (sameShape && tw >= static_cast<int>(outW) && th >= static_cast<int>(outH) &&
                withinLimits(static_cast<std::uint64_t>(tw), static_cast<std::uint64_t>(th), limits) &&
                (!thumbnail || tw < heif_image_handle_get_width(thumbnail.get()))) {
                thumbnail = std::move(candidate);
                sourceId = ids[static_cast<std::size_t>(i)];
            }
        }
        if (thumbnail) {
            source = thumbnail.get();
        }
    }
    HeifOptionsPtr options(heif_decoding_options_alloc());
    // The decode's threads: a grid's tiles are decoded side by side (libheif starts a thread for
    // each of that many at a time), each on its own; a single picture is decoded by libde265's
    // workers. Nothing runs beside the caller when it allows no threads.
    heif_context_set_max_decoding_threads(context.get(), static_cast<int>(request.threads));
    SetHevcDecoderThreads(items.primaryIsGrid && source == handle.get() ? 0 : request.threads);
    // libheif converts every picture to planar RGB first; asked for RGBA, it then interleaves
    // the whole picture in a pass of its own (a fifth of a 24 MP decode). At 8 bits a sample
    // the planes are read as they come, the same samples; deeper ones are brought to 8 bits by
    // libheif, in the interleaved form.
    const bool eightBits = heif_image_handle_get_luma_bits_per_pixel(source) == 8 &&
                           heif_image_handle_get_chroma_bits_per_pixel(source) == 8;
    // Drawn smaller than it is decoded, a picture coded as one item of 8-bit samples is reduced
    // by the decoder, so that libheif converts the reduced picture alone: not a grid's tiles (each
    // is placed at its full size), nor a cropped picture (the crop is of the full size), nor one
    // with an alpha plane (joined at the full size).
    const int sourceW = heif_image_handle_get_width(source);
    const int sourceH = heif_image_handle_get_height(source);
    const std::string_view sourceType = items.typeOf(sourceId);
    const bool av1 = sourceType == "av01";
    const bool reduceInDecoder =
        gHeifReducesInDecoder && eightBits && (sourceType == "hvc1" || (av1 && RegisterAv1Decoder())) && sourceW > 0 &&
        sourceH > 0 && outW <= static_cast<std::uint32_t>(sourceW) && outH <= static_cast<std::uint32_t>(sourceH) &&
        (outW < static_cast<std::uint32_t>(sourceW) || outH < static_cast<std::uint32_t>(sourceH)) &&
        !heif_image_handle_has_alpha_channel(source) && !heifHasProperty(data, size, "clap");
    const PlaneReduction reduction{static_cast<std::uint32_t>(sourceW), static_cast<std::uint32_t>(sourceH), outW, outH,
                                   limits.maxPixels};
    std::optional<ScopedPlaneReduction> reducing;
    if (reduceInDecoder) {
        reducing.emplace(reduction);
        if (av1) {
            SetAv1DecoderThreads(request.threads);
            options->decoder_id = kAv1DecoderId;
        }
    }
    HeifImagePtr image;
    HeifSamples samples;
    if (eightBits) {
        heif_image *rawImage = nullptr;
        if (heif_decode_image(source, &rawImage, heif_colorspace_RGB, heif_chroma_444, options.get()).code !=
            heif_error_Ok) {
            fail(failure, RasterFailure::Damaged);
            return std::nullopt;
        }
        image.reset(rawImage);
        if (!planarSamples(image.get(), samples)) {
            image.reset();
        }
    }
    if (!image) {
        heif_image *rawImage = nullptr;
        if (heif_decode_image(source, &rawImage, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options.get())
                .code != heif_error_Ok) {
            fail(failure, RasterFailure::Damaged);
            return std::nullopt;
        }
        image.reset(rawImage);
        if (!interleavedSamples(image.get(), samples)) {
            fail(failure, RasterFailure::Damaged);
            return std::nullopt;
        }
    }
    const int dw = samples.width;
    const int dh = samples.height;
    if (!withinLimits(static_cast<std::uint64_t>(dw), static_cast<std::uint64_t>(dh), limits)) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    outW = std::min(outW, static_cast<std::uint32_t>(dw));
    outH = std::min(outH, static_cast<std::uint32_t>(dh));
    std::vector<std::uint32_t> stored; // the reduced pixels before they are turned upright
    if (orientation != 1) {
        stored.resize(static_cast<std::size_t>(outW) * outH);
    }
    std::uint32_t *out = orientation == 1 ? outputFor(result, request, outW, outH) : stored.data();
    if (out == nullptr) {
        fail(failure, RasterFailure::TooLarge);
        return std::nullopt;
    }
    // Row by row, converted and reduced at once: the picture never exists at its natural size
    // in this format.
    const bool reduce = outW != static_cast<std::uint32_t>(dw) || outH != static_cast<std::uint32_t>(dh);
    std::vector<std::uint32_t> line(reduce ? static_cast<std::size_t>(dw) : 0);
    std::optional<RowReducer> reducer;
    if (reduce) {
        reducer.emplace(static_cast<std::uint32_t>(dw), static_cast<std::uint32_t>(dh), outW, outH, out);
    }
    bool alpha = false;
    for (int y = 0; y < dh; ++y) {
        std::uint32_t *to = reduce ? line.data() : out + static_cast<std::size_t>(y) * static_cast<std::size_t>(dw);
        alpha = samples.row(y, dw, to) || alpha;
        if (reduce) {
            reducer->addRow(line.data());
        }
    }
    if (orientation != 1 && !turnUpright(result, request, stored, orientation, outW, outH)) {
        fail(failure, RasterFailure::TooLarge);
        return std::nullopt;
    }
    result.hasAlpha = alpha;
    result.width = outW;
    result.height = outH;
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
    const int events = JXL_DEC_BASIC_INFO | (request.infoOnly ? 0 : JXL_DEC_FULL_IMAGE | JXL_DEC_FRAME_PROGRESSION);
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
    // Not zeroed first: the decoder writes every byte, and zeroing 48 MB costs a tenth of a decode.
    std::unique_ptr<std::uint8_t[]> rgbaBuffer;
    std::uint8_t *rgba = nullptr;
    std::uint32_t *out = nullptr;
    std::uint32_t dw = 0;
    std::uint32_t dh = 0;
    std::uint32_t outW = 0;
    std::uint32_t outH = 0;
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
            RasterRequest box;
            if (!settleBox(request, dw, dh, box)) {
                fail(failure, RasterFailure::Damaged);
                return std::nullopt;
            }
            FitRasterSize(dw, dh, box.boxWidth, box.boxHeight, outW, outH);
            // Drawn at an eighth or less, the 1:8 pass (each 8 x 8 block's mean, which every
            // lossy file holds before its detail) is all that shows.
            if (static_cast<std::uint64_t>(outW) * 8 <= dw && static_cast<std::uint64_t>(outH) * 8 <= dh &&
                JxlDecoderSetProgressiveDetail(decoder.get(), kDC) != JXL_DEC_SUCCESS) {
                fail(failure, RasterFailure::Damaged);
                return std::nullopt;
            }
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            std::size_t needed = 0;
            if (JxlDecoderImageOutBufferSize(decoder.get(), &format, &needed) != JXL_DEC_SUCCESS ||
                needed != static_cast<std::size_t>(dw) * dh * 4 || rgba != nullptr) {
                fail(failure, RasterFailure::Damaged);
                return std::nullopt;
            }
            // Not reduced: decoded straight into the result, turned into its words in place.
            if (outW == dw && outH == dh) {
                out = outputFor(result, request, outW, outH);
                if (out == nullptr) {
                    fail(failure, RasterFailure::TooLarge);
                    return std::nullopt;
                }
                rgba = reinterpret_cast<std::uint8_t *>(out);
            } else {
                rgbaBuffer = std::make_unique_for_overwrite<std::uint8_t[]>(needed);
                rgba = rgbaBuffer.get();
            }
            if (JxlDecoderSetImageOutBuffer(decoder.get(), &format, rgba, needed) != JXL_DEC_SUCCESS) {
                fail(failure, RasterFailure::Damaged);
                return std::nullopt;
            }
        } else if (status == JXL_DEC_FRAME_PROGRESSION) {
            if (rgba != nullptr && JxlDecoderFlushImage(decoder.get()) == JXL_DEC_SUCCESS) {
                break;
            }
        } else if (status == JXL_DEC_FULL_IMAGE) {
            break; // the first frame of an animation is the picture
        } else if (status == JXL_DEC_SUCCESS && rgba != nullptr) {
            break;
        } else {
            fail(failure, RasterFailure::Damaged);
            return std::nullopt;
        }
    }
    if (rgba == nullptr) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    const bool premultiplied = info.alpha_premultiplied != 0;
    bool alpha = false;
    auto convert = [&](const std::uint8_t *from, std::uint32_t *to, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t *p = from + i * 4;
            alpha = alpha || p[3] != 255;
            to[i] = premultiplied
                        ? (std::uint32_t(p[3]) << 24) | (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2]
                        : premultiply(p[0], p[1], p[2], p[3]);
        }
    };
    if (out != nullptr) {
        // In place: each word is read whole before it is written.
        convert(rgba, out, static_cast<std::size_t>(dw) * dh);
    } else {
        out = outputFor(result, request, outW, outH);
        if (out == nullptr) {
            fail(failure, RasterFailure::TooLarge);
            return std::nullopt;
        }
        RowReducer reducer(dw, dh, outW, outH, out);
        std::vector<std::uint32_t> line(dw);
        for (std::uint32_t y = 0; y < dh; ++y) {
            convert(rgba + static_cast<std::size_t>(y) * dw * 4, line.data(), dw);
            reducer.addRow(line.data());
        }
    }
    result.hasAlpha = alpha;
    result.width = outW;
    result.height = outH;
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

// The file is in memory already: the library reads its strips where they are instead of copying them.
int tiffMap(thandle_t h, tdata_t *base, toff_t *size)
{
    auto *f = static_cast<MemoryFile *>(h);
    *base = const_cast<unsigned char *>(f->data);
    *size = f->size;
    return 1;
}

void tiffUnmap(thandle_t, tdata_t, toff_t) {}

struct TiffClose
{
    void operator()(TIFF *t) const { TIFFClose(t); }
};

struct TiffReaderEnd
{
    void operator()(TIFFRGBAImage *r) const { TIFFRGBAImageEnd(r); }
};

// A scanner's or a pyramid's file may hold the picture again at reduced resolution (a later page
// or a sub-page marked as such): the smallest that is still at least `outW` x `outH` and of the
// same shape is made the current page. Otherwise the first page stays current.
void useReducedPage(TIFF *tiff, std::uint32_t width, std::uint32_t height, std::uint32_t outW, std::uint32_t outH,
                    const RasterLimits &limits)
{
    constexpr int kPagesLooked = 16;
    const tdir_t first = TIFFCurrentDirectory(tiff);
    std::uint32_t bestW = width;
    std::optional<tdir_t> best;
    std::optional<toff_t> bestSub;
    auto consider = [&](std::optional<toff_t> sub) {
        std::uint32_t type = 0;
        std::uint32_t w = 0;
        std::uint32_t h = 0;
        if (TIFFGetField(tiff, TIFFTAG_SUBFILETYPE, &type) != 1 || (type & FILETYPE_REDUCEDIMAGE) == 0 ||
            TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &w) != 1 || TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &h) != 1 ||
            !withinLimits(w, h, limits) || w < outW || h < outH || w >= bestW) {
            return;
        }
        // Same shape within a pixel of rounding: the same picture, only smaller.
        const std::uint64_t expectedH = (static_cast<std::uint64_t>(height) * w + width / 2) / width;
        if (h + 1 < expectedH || h > expectedH + 1) {
            return;
        }
        bestW = w;
        best = TIFFCurrentDirectory(tiff);
        bestSub = sub;
    };
    std::vector<toff_t> subPages;
    {
        std::uint16_t count = 0;
        toff_t *offsets = nullptr;
        if (TIFFGetField(tiff, TIFFTAG_SUBIFD, &count, &offsets) == 1 && offsets != nullptr) {
            subPages.assign(offsets, offsets + std::min<std::uint16_t>(count, kPagesLooked));
        }
    }
    for (int page = 1; page < kPagesLooked && TIFFReadDirectory(tiff) == 1; ++page) {
        consider(std::nullopt);
    }
    for (const toff_t offset : subPages) {
        if (TIFFSetSubDirectory(tiff, offset) == 1) {
            consider(offset);
        }
    }
    const bool chosen = bestSub ? TIFFSetSubDirectory(tiff, *bestSub) == 1 : best && TIFFSetDirectory(tiff, *best) == 1;
    if (!chosen) {
        TIFFSetDirectory(tiff, first);
    }
}

// The layout most scanners and editors write: 8-bit RGB, or RGB and an alpha, in strips of
// interleaved samples, compressed by a codec that gives back the samples as they were.
struct StripLayout
{
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t rowsPerStrip = 0;
    unsigned channels = 3;
    bool unassociatedAlpha = false;
    // LZW that DecodeTiffLzw reads (the library's bit order, no predictor or the horizontal one).
    bool lzw = false;
    bool horizontalPredictor = false;
};

// The current page's layout when its samples can be reduced as they come out of the codec, without
// the library's general reader (which packs every pixel into a word first); nothing otherwise.
std::optional<StripLayout> stripLayout(TIFF *tiff)
{
    std::uint16_t bits = 0;
    std::uint16_t samples = 0;
    std::uint16_t planar = 0;
    std::uint16_t format = 0;
    std::uint16_t compression = 0;
    std::uint16_t photometric = 0;
    std::uint16_t extraCount = 0;
    const std::uint16_t *extra = nullptr;
    StripLayout layout;
    if (TIFFIsTiled(tiff) != 0 || TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 1 ||
        photometric != PHOTOMETRIC_RGB || TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits) != 1 || bits != 8 ||
        TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples) != 1 ||
        TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar) != 1 || planar != PLANARCONFIG_CONTIG ||
        TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLEFORMAT, &format) != 1 || format != SAMPLEFORMAT_UINT ||
        TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression) != 1 ||
        TIFFGetFieldDefaulted(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extra) != 1 ||
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &layout.width) != 1 ||
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &layout.height) != 1 || layout.width == 0 || layout.height == 0) {
        return std::nullopt;
    }
    // Codecs that hand back exactly the samples written; JPEG and the rest keep the general reader,
    // which knows their colour conversions.
    switch (compression) {
    case COMPRESSION_NONE:
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
    case COMPRESSION_PACKBITS:
    case COMPRESSION_ZSTD:
    case COMPRESSION_LZMA:
        break;
    default:
        return std::nullopt;
    }
    if (samples == 3 && extraCount == 0) {
        layout.channels = 3;
    } else if (samples == 4 && extraCount == 1 && extra != nullptr &&
               (extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA)) {
        layout.channels = 4;
        layout.unassociatedAlpha = extra[0] == EXTRASAMPLE_UNASSALPHA;
    } else {
        return std::nullopt;
    }
    std::uint16_t predictor = PREDICTOR_NONE;
    std::uint16_t fillOrder = FILLORDER_MSB2LSB;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_FILLORDER, &fillOrder);
    if (compression == COMPRESSION_LZW && fillOrder == FILLORDER_MSB2LSB &&
        TIFFGetFieldDefaulted(tiff, TIFFTAG_PREDICTOR, &predictor) == 1 &&
        (predictor == PREDICTOR_NONE || predictor == PREDICTOR_HORIZONTAL)) {
        layout.lzw = true;
        layout.horizontalPredictor = predictor == PREDICTOR_HORIZONTAL;
    }
    std::uint32_t rows = 0;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rows);
    layout.rowsPerStrip = std::clamp<std::uint32_t>(rows, 1, layout.height);
    const std::uint64_t strips =
        (static_cast<std::uint64_t>(layout.height) + layout.rowsPerStrip - 1) / layout.rowsPerStrip;
    if (TIFFNumberOfStrips(tiff) < strips ||
        TIFFScanlineSize64(tiff) != static_cast<std::uint64_t>(layout.width) * layout.channels) {
        return std::nullopt;
    }
    return layout;
}

// The current page strip by strip, each row reduced from its samples as it comes (or, at the
// natural size, turned into words in place): one strip, not the picture, is held at its natural size.
// Each sample was written as its difference from the one a pixel to its left: the running sums
// stay in registers, one a channel, rather than being read back from the row.
template<unsigned Channels> void undoDifferences(std::uint8_t *line, std::uint32_t width)
{
    std::uint8_t r = line[0];
    std::uint8_t g = line[1];
    std::uint8_t b = line[2];
    std::uint8_t a = Channels == 4 ? line[3] : 0;
    std::uint8_t *p = line + Channels;
    for (std::uint32_t x = 1; x < width; ++x, p += Channels) {
        r = static_cast<std::uint8_t>(r + p[0]);
        g = static_cast<std::uint8_t>(g + p[1]);
        b = static_cast<std::uint8_t>(b + p[2]);
        p[0] = r;
        p[1] = g;
        p[2] = b;
        if constexpr (Channels == 4) {
            a = static_cast<std::uint8_t>(a + p[3]);
            p[3] = a;
        }
    }
}

// One LZW strip straight from the file's bytes, exactly as the library would give it; false when
// the library must read it (damaged, or beyond the file).
bool readLzwStrip(TIFF *tiff, const StripLayout &layout, std::uint32_t index, const unsigned char *data,
                  std::size_t size, std::uint8_t *into, std::size_t bytes)
{
    const std::uint64_t offset = TIFFGetStrileOffset(tiff, index);
    const std::uint64_t count = TIFFGetStrileByteCount(tiff, index);
    if (offset > size || count > size - offset || count == 0 ||
        !DecodeTiffLzw(data + offset, static_cast<std::size_t>(count), into, bytes)) {
        return false;
    }
    if (layout.horizontalPredictor) {
        const std::size_t rowBytes = static_cast<std::size_t>(layout.width) * layout.channels;
        for (std::size_t row = 0; row + rowBytes <= bytes; row += rowBytes) {
            if (layout.channels == 4) {
                undoDifferences<4>(into + row, layout.width);
            } else {
                undoDifferences<3>(into + row, layout.width);
            }
        }
    }
    return true;
}

bool readStrips(TIFF *tiff, const StripLayout &layout, const unsigned char *data, std::size_t size, std::uint32_t outW,
                std::uint32_t outH, std::uint32_t *out, bool &alpha)
{
    const std::uint32_t w = layout.width;
    const std::uint32_t h = layout.height;
    const unsigned channels = layout.channels;
    const std::size_t rowBytes = static_cast<std::size_t>(w) * channels;
    std::vector<std::uint8_t> strip(rowBytes * layout.rowsPerStrip);
    const bool reduce = outW != w || outH != h;
    std::optional<RowReducer> reducer;
    if (reduce) {
        reducer.emplace(w, h, outW, outH, out);
    }
    bool translucent = false;
    std::uint32_t index = 0;
    for (std::uint32_t row = 0; row < h; row += layout.rowsPerStrip, ++index) {
        const std::uint32_t rows = std::min(layout.rowsPerStrip, h - row);
        // As the general reader does: a strip that cannot be decoded leaves what the buffer holds
        // (the codec fills what it could), so that a damaged file shows as much of it as it can.
        const std::size_t bytes = rowBytes * rows;
        if (!layout.lzw || !readLzwStrip(tiff, layout, index, data, size, strip.data(), bytes)) {
            (void)TIFFReadEncodedStrip(tiff, index, strip.data(), static_cast<tmsize_t>(bytes));
        }
        for (std::uint32_t y = 0; y < rows; ++y) {
            std::uint8_t *line = strip.data() + static_cast<std::size_t>(y) * rowBytes;
            if (channels == 4) {
                for (std::uint32_t x = 0; x < w; ++x) {
                    std::uint8_t *p = line + static_cast<std::size_t>(x) * 4;
                    const std::uint32_t a = p[3];
                    if (a != 255) {
                        translucent = true;
                        if (layout.unassociatedAlpha) {
                            for (int i = 0; i < 3; ++i) {
                                p[i] = static_cast<std::uint8_t>((p[i] * a + 127) / 255);
                            }
                        }
                    }
                }
            }
            if (reduce) {
                reducer->addSamples(line, channels);
                continue;
            }
            std::uint32_t *to = out + static_cast<std::size_t>(row + y) * w;
            for (std::uint32_t x = 0; x < w; ++x) {
                const std::uint8_t *p = line + static_cast<std::size_t>(x) * channels;
                const std::uint32_t a = channels == 4 ? p[3] : 255;
                to[x] = (a << 24) | (std::uint32_t(p[0]) << 16) | (std::uint32_t(p[1]) << 8) | p[2];
            }
        }
    }
    alpha = translucent;
    return true;
}

// Any other page through the library's general reader, in bands of whole strips (or tiles), each
// reduced as it comes: a band, not the whole picture, is held at its natural size.
bool readPacked(TIFF *tiff, TIFFRGBAImage &reader, std::uint32_t outW, std::uint32_t outH, std::uint32_t *out,
                bool &alpha)
{
    const std::uint32_t pw = reader.width;
    const std::uint32_t ph = reader.height;
    const bool reduce = outW != pw || outH != ph;
    std::uint32_t rowsPerBand = 0;
    if (TIFFIsTiled(tiff) != 0) {
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &rowsPerBand);
    } else {
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &rowsPerBand);
    }
    rowsPerBand = std::clamp<std::uint32_t>(rowsPerBand, 1, ph);
    if (rowsPerBand < 64) {
        rowsPerBand = std::min(ph, (64 + rowsPerBand - 1) / rowsPerBand * rowsPerBand);
    }
    std::vector<std::uint32_t> band(reduce ? static_cast<std::size_t>(pw) * rowsPerBand : 0);
    std::optional<RowReducer> reducer;
    if (reduce) {
        reducer.emplace(pw, ph, outW, outH, out);
    }
    bool translucent = false;
    for (std::uint32_t row = 0; row < ph; row += rowsPerBand) {
        const std::uint32_t rows = std::min(rowsPerBand, ph - row);
        std::uint32_t *into = reduce ? band.data() : out + static_cast<std::size_t>(row) * pw;
        reader.row_offset = static_cast<int>(row);
        reader.col_offset = 0;
        if (TIFFRGBAImageGet(&reader, into, pw, rows) != 1) {
            return false;
        }
        for (std::size_t i = 0, n = static_cast<std::size_t>(pw) * rows; i < n; ++i) {
            // The library's words hold R in the low byte, premultiplied already where there is alpha.
            const std::uint32_t p = into[i];
            const std::uint32_t a = TIFFGetA(p);
            translucent = translucent || a != 255;
            into[i] = (a << 24) | (TIFFGetR(p) << 16) | (TIFFGetG(p) << 8) | TIFFGetB(p);
        }
        if (reduce) {
            for (std::uint32_t y = 0; y < rows; ++y) {
                reducer->addRow(band.data() + static_cast<std::size_t>(y) * pw);
            }
        }
    }
    alpha = translucent;
    return true;
}

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
    std::unique_ptr<TIFF, TiffClose> tiff(TIFFClientOpenExt("picture", "r", &file, tiffRead, tiffWrite, tiffSeek,
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
    RasterRequest box;
    if (!settleBox(request, result.naturalWidth, result.naturalHeight, box)) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    std::uint32_t outW = 0;
    std::uint32_t outH = 0;
    storedTarget(sw, sh, swap, box, outW, outH);
    if (outW != sw || outH != sh) {
        useReducedPage(tiff.get(), sw, sh, outW, outH, limits);
    }
    const auto layout = stripLayout(tiff.get());
    TIFFRGBAImage reader{};
    std::unique_ptr<TIFFRGBAImage, TiffReaderEnd> readerEnd;
    // The page read (a reduced-resolution one has a size of its own).
    std::uint32_t pw = 0;
    std::uint32_t ph = 0;
    if (layout) {
        pw = layout->width;
        ph = layout->height;
    } else {
        char message[1024] = {};
        if (TIFFRGBAImageOK(tiff.get(), message) != 1 || TIFFRGBAImageBegin(&reader, tiff.get(), 0, message) != 1) {
            fail(failure, RasterFailure::Damaged);
            return std::nullopt;
        }
        readerEnd.reset(&reader);
        pw = reader.width;
        ph = reader.height;
        // Asking for the page's own orientation reads the rows as stored, top row first; turning
        // upright by the first page's orientation follows below for all eight alike (the library
        // flips but never turns).
        reader.req_orientation = reader.orientation;
    }
    if (!withinLimits(pw, ph, limits) || pw < outW || ph < outH) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    const bool upright = orientation == ORIENTATION_TOPLEFT;
    std::uint32_t *out = nullptr;
    std::vector<std::uint32_t> stored; // the reduced pixels before they are turned upright
    if (upright) {
        out = outputFor(result, request, outW, outH);
    } else {
        stored.resize(static_cast<std::size_t>(outW) * outH);
        out = stored.data();
    }
    if (out == nullptr) {
        fail(failure, RasterFailure::TooLarge);
        return std::nullopt;
    }
    bool alpha = false;
    const bool read = layout ? readStrips(tiff.get(), *layout, data, size, outW, outH, out, alpha)
                             : readPacked(tiff.get(), reader, outW, outH, out, alpha);
    if (!read) {
        fail(failure, RasterFailure::Damaged);
        return std::nullopt;
    }
    if (!upright && !turnUpright(result, request, stored, orientation, outW, outH)) {
        fail(failure, RasterFailure::TooLarge);
        return std::nullopt;
    }
    result.hasAlpha = alpha;
    result.width = outW;
    result.height = outH;
    return result;
}

} // namespace

void SetHeifReducesInDecoder(bool reduces)
{
    gHeifReducesInDecoder = reduces;
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
