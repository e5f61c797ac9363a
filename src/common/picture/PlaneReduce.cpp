// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/PlaneReduce.h"

#include "common/picture/RasterDecode.h"

#include <libheif/heif.h>

#include <new>
#include <vector>

namespace {

thread_local const PlaneReduction *tReduction = nullptr;

} // namespace

ScopedPlaneReduction::ScopedPlaneReduction(const PlaneReduction &reduction)
{
    tReduction = &reduction;
}

ScopedPlaneReduction::~ScopedPlaneReduction()
{
    tReduction = nullptr;
}

const PlaneReduction *CurrentPlaneReduction()
{
    return tReduction;
}

bool PlaneReductionFor(std::uint32_t codedW, std::uint32_t codedH, std::uint32_t &outW, std::uint32_t &outH)
{
    const PlaneReduction *r = tReduction;
    if (r == nullptr || r->outW == 0 || r->outH == 0 || r->outW > r->width || r->outH > r->height) {
        return false;
    }
    if (codedW == r->width && codedH == r->height) {
        outW = r->outW;
        outH = r->outH;
    } else if (codedW == r->height && codedH == r->width) {
        outW = r->outH;
        outH = r->outW;
    } else {
        return false;
    }
    return outW < codedW || outH < codedH;
}

heif_image *ReducedPlanes(const PlaneSamples &s, std::uint32_t outW, std::uint32_t outH)
{
    if (s.width == 0 || s.height == 0 || outW == 0 || outH == 0 || outW > s.width || outH > s.height ||
        s.plane[0] == nullptr || s.stride[0] < static_cast<std::ptrdiff_t>(s.width) || s.shiftX < 0 || s.shiftX > 1 ||
        s.shiftY < 0 || s.shiftY > 1) {
        return nullptr;
    }
    if (!s.monochrome) {
        // Every chroma sample a pixel maps to must be there.
        const std::uint32_t needW = ((s.width - 1) >> s.shiftX) + 1;
        const std::uint32_t needH = ((s.height - 1) >> s.shiftY) + 1;
        if (s.plane[1] == nullptr || s.plane[2] == nullptr || s.chromaW < needW || s.chromaH < needH ||
            s.stride[1] < static_cast<std::ptrdiff_t>(needW) || s.stride[2] < static_cast<std::ptrdiff_t>(needW)) {
            return nullptr;
        }
    }
    std::vector<std::uint32_t> words;
    std::vector<std::uint8_t> row;
    try {
        words.resize(static_cast<std::size_t>(outW) * outH);
        row.resize(static_cast<std::size_t>(s.width) * 3);
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    // The reducer averages three 8-bit channels whatever they mean: here Y, Cb and Cr, so that
    // only the averages are converted. Chroma is repeated for each pixel sharing it, the upsampling
    // libheif 1.15 does (nearest, no filter).
    RowReducer reducer(s.width, s.height, outW, outH, words.data());
    for (std::uint32_t y = 0; y < s.height; ++y) {
        const std::uint8_t *luma = s.plane[0] + static_cast<std::ptrdiff_t>(y) * s.stride[0];
        std::uint8_t *to = row.data();
        if (s.monochrome) {
            for (std::uint32_t x = 0; x < s.width; ++x) {
                to[3 * x] = luma[x];
                to[3 * x + 1] = 128;
                to[3 * x + 2] = 128;
            }
        } else {
            const std::ptrdiff_t cy = static_cast<std::ptrdiff_t>(y >> s.shiftY);
            const std::uint8_t *cb = s.plane[1] + cy * s.stride[1];
            const std::uint8_t *cr = s.plane[2] + cy * s.stride[2];
            if (s.shiftX == 0) {
                for (std::uint32_t x = 0; x < s.width; ++x) {
                    to[3 * x] = luma[x];
                    to[3 * x + 1] = cb[x];
                    to[3 * x + 2] = cr[x];
                }
            } else {
                std::uint32_t x = 0;
                for (; x + 1 < s.width; x += 2) {
                    const std::uint8_t b = cb[x >> 1];
                    const std::uint8_t r = cr[x >> 1];
                    to[3 * x] = luma[x];
                    to[3 * x + 1] = b;
                    to[3 * x + 2] = r;
                    to[3 * x + 3] = luma[x + 1];
                    to[3 * x + 4] = b;
                    to[3 * x + 5] = r;
                }
                if (x < s.width) {
                    to[3 * x] = luma[x];
                    to[3 * x + 1] = cb[x >> 1];
                    to[3 * x + 2] = cr[x >> 1];
                }
            }
        }
        reducer.addSamples(row.data(), 3);
    }

    heif_image *image = nullptr;
    const int planes = s.monochrome ? 1 : 3;
    if (heif_image_create(static_cast<int>(outW), static_cast<int>(outH),
                          s.monochrome ? heif_colorspace_monochrome : heif_colorspace_YCbCr,
                          s.monochrome ? heif_chroma_monochrome : heif_chroma_444, &image)
            .code != heif_error_Ok) {
        return nullptr;
    }
    static constexpr heif_channel kChannels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    std::uint8_t *to[3] = {};
    int stride[3] = {};
    for (int c = 0; c < planes; ++c) {
        if (heif_image_add_plane(image, kChannels[c], static_cast<int>(outW), static_cast<int>(outH), 8).code !=
            heif_error_Ok) {
            heif_image_release(image);
            return nullptr;
        }
        to[c] = heif_image_get_plane(image, kChannels[c], &stride[c]);
        if (to[c] == nullptr || stride[c] < static_cast<int>(outW)) {
            heif_image_release(image);
            return nullptr;
        }
    }
    // The reducer's words hold the three averages where it keeps red, green and blue.
    for (std::uint32_t y = 0; y < outH; ++y) {
        const std::uint32_t *w = words.data() + static_cast<std::size_t>(y) * outW;
        for (int c = 0; c < planes; ++c) {
            std::uint8_t *line = to[c] + static_cast<std::ptrdiff_t>(y) * stride[c];
            const int shift = 16 - 8 * c;
            for (std::uint32_t x = 0; x < outW; ++x) {
                line[x] = static_cast<std::uint8_t>(w[x] >> shift);
            }
        }
    }
    return image;
}
