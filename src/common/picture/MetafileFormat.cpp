// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/MetafileFormat.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7u;
constexpr std::uint32_t kEmfSignature = 0x464D4520u; // " EMF"
constexpr std::uint32_t kEmrHeader = 1;
constexpr std::uint32_t kEmrEof = 14;

std::uint16_t u16(const unsigned char *p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::int16_t i16(const unsigned char *p)
{
    return static_cast<std::int16_t>(u16(p));
}

std::uint32_t u32(const unsigned char *p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::int32_t i32(const unsigned char *p)
{
    return static_cast<std::int32_t>(u32(p));
}

std::int32_t clampToInt32(double v)
{
    if (!(v > 0)) {
        return 0;
    }
    if (v > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(std::nearbyint(v));
}

} // namespace

std::int32_t HimetricToPixels(double himetric, double twipsPerPixel)
{
    const double tpp = twipsPerPixel > 0 ? twipsPerPixel : 15.0;
    return clampToInt32(himetric * 1440.0 / 2540.0 / tpp);
}

std::int32_t PixelsToHimetric(double pixels, double twipsPerPixel)
{
    const double tpp = twipsPerPixel > 0 ? twipsPerPixel : 15.0;
    return clampToInt32(pixels * tpp * 2540.0 / 1440.0);
}

std::int32_t MetafileHeader::pixelWidth(double twipsPerPixel) const
{
    return HimetricToPixels(himetricWidth, twipsPerPixel);
}

std::int32_t MetafileHeader::pixelHeight(double twipsPerPixel) const
{
    return HimetricToPixels(himetricHeight, twipsPerPixel);
}

std::optional<MetafileHeader> ParseMetafileHeader(const unsigned char *data, std::size_t length)
{
    if (data == nullptr) {
        return std::nullopt;
    }
    if (length >= 22 + 18 && u32(data) == kPlaceableKey) {
        const int left = i16(data + 6);
        const int top = i16(data + 8);
        const int right = i16(data + 10);
        const int bottom = i16(data + 12);
        const int inch = u16(data + 14);
        // The standard header of the metafile itself follows: type 1 or 2, header size 9 words.
        const std::uint16_t type = u16(data + 22);
        const std::uint16_t headerWords = u16(data + 24);
        if (inch == 0 || (type != 1 && type != 2) || headerWords != 9) {
            return std::nullopt;
        }
        MetafileHeader h;
        h.kind = MetafileKind::Wmf;
        h.himetricWidth = clampToInt32(std::abs(right - left) * 2540.0 / inch);
        h.himetricHeight = clampToInt32(std::abs(bottom - top) * 2540.0 / inch);
        if (h.himetricWidth <= 0 || h.himetricHeight <= 0) {
            return std::nullopt;
        }
        return h;
    }
    if (length >= 88 && u32(data) == kEmrHeader && u32(data + 40) == kEmfSignature) {
        const std::int64_t left = i32(data + 24);
        const std::int64_t top = i32(data + 28);
        const std::int64_t right = i32(data + 32);
        const std::int64_t bottom = i32(data + 36);
        MetafileHeader h;
        h.kind = MetafileKind::Emf;
        h.himetricWidth = clampToInt32(static_cast<double>(right - left));
        h.himetricHeight = clampToInt32(static_cast<double>(bottom - top));
        if (h.himetricWidth <= 0 || h.himetricHeight <= 0) {
            return std::nullopt;
        }
        return h;
    }
    return std::nullopt;
}

namespace {

// An EMR_COMMENT may carry EMF+ records ("EMF+" after its data size); each is 12 bytes of
// header (type, flags, size, data size) and its data, and they must tile the comment exactly.
bool emfPlusCommentIsSound(const unsigned char *record, std::size_t size)
{
    constexpr std::uint32_t kEmfPlus = 0x2B464D45u; // "EMF+"
    if (size < 16 || u32(record + 12) != kEmfPlus) {
        return true; // another kind of comment: the converter skips it
    }
    const std::uint32_t dataSize = u32(record + 8);
    if (dataSize < 4 || dataSize > size - 12) {
        return false;
    }
    std::size_t offset = 16;
    const std::size_t end = 12 + static_cast<std::size_t>(dataSize);
    while (offset < end) {
        if (end - offset < 12) {
            return false;
        }
        const std::uint32_t plusSize = u32(record + offset + 4);
        const std::uint32_t plusData = u32(record + offset + 8);
        if (plusSize < 12 || plusSize % 4 != 0 || plusSize > end - offset || plusData > plusSize - 12) {
            return false;
        }
        offset += plusSize;
    }
    return true;
}

constexpr std::uint32_t kEmrComment = 70;

// The header's description and pixel format must lie inside the header record, and the file
// inside the size the header gives it.
bool emfHeaderIsSound(const unsigned char *data, std::size_t length)
{
    const std::uint32_t headerSize = u32(data + 4);
    const std::uint32_t fileBytes = u32(data + 48);
    if (headerSize < 88 || headerSize > length || fileBytes < headerSize || fileBytes > length) {
        return false;
    }
    const std::uint64_t descriptionChars = u32(data + 60);
    const std::uint64_t descriptionOffset = u32(data + 64);
    if (descriptionOffset != 0) {
        // Readers take the description up to its terminating NUL, whatever its length says.
        if (descriptionOffset < 88 || descriptionOffset + 2 * descriptionChars > headerSize) {
            return false;
        }
        bool terminated = false;
        for (std::uint64_t at = descriptionOffset; at + 2 <= headerSize && !terminated; at += 2) {
            terminated = u16(data + at) == 0;
        }
        if (!terminated) {
            return false;
        }
    } else if (descriptionChars != 0) {
        return false;
    }
    if (headerSize >= 100) {
        const std::uint64_t formatBytes = u32(data + 88);
        const std::uint64_t formatOffset = u32(data + 92);
        if (formatBytes > 0 && (formatOffset < 88 || formatOffset + formatBytes > headerSize)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool EmfRecordChainIsSound(const unsigned char *data, std::size_t length)
{
    if (data == nullptr || length < 88 || u32(data) != kEmrHeader || u32(data + 40) != kEmfSignature ||
        !emfHeaderIsSound(data, length)) {
        return false;
    }
    // Records past the size the header gives are not part of the picture.
    length = u32(data + 48);
    std::size_t offset = 0;
    std::size_t records = 0;
    while (offset + 8 <= length) {
        const std::uint32_t type = u32(data + offset);
        const std::uint32_t size = u32(data + offset + 4);
        if (size < 8 || size % 4 != 0 || size > length - offset) {
            return false;
        }
        ++records;
        if (type == kEmrComment && !emfPlusCommentIsSound(data + offset, size)) {
            return false;
        }
        if (type == kEmrEof) {
            return records > 1;
        }
        offset += size;
    }
    return false;
}
