// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// How the viewer and a serving vantrel-metafile-helper talk over the helper's standard input and
// output. Each request is a header and the file's bytes; each answer a header and the result.
//
//   request: "VMH1", kind (u32: 1 WMF, 2 EMF), length (u64), then the metafile
//   answer:  "VMH1", status (u32: 0 SVG follows, 1 not convertible), length (u64), then the SVG
//
// The same helper decodes the raster formats whose decoders are large C libraries. The file and
// the pixels travel in sealed memory files (memfd) passed along the socket, never through it:
//
//   request: "VMH1", kind (u32: 3 HEIF/AVIF, 4 JPEG XL, 5 TIFF), length 12 (u64), then box width,
//            box height, flags (u32 each; flags 1: the size only; 2: the box follows the size),
//            with the file's memory file attached to the request's first byte
//   answer:  "VMH1", status (u32: 0 decoded, 1 not decodable, 2 too large), length (u64), then
//            natural width, natural height, width, height, flags (u32 each; flags 1: has alpha),
//            with a memory file of width x height premultiplied 0xAARRGGBB words in the
//            machine's order attached to its first byte (none for the size only)
//   flags 2: before its answer the helper says "VMH1", 3, length 8, natural width and height;
//            the viewer then sends the box: width and height (u32 each)
//
// Numbers are little-endian. The helper serves until its input ends.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace MetafileHelperProtocol {

constexpr char kMagic[4] = {'V', 'M', 'H', '1'};
constexpr std::size_t kHeaderBytes = 16;
constexpr std::uint32_t kWmf = 1;
constexpr std::uint32_t kEmf = 2;
constexpr std::uint32_t kHeif = 3;
constexpr std::uint32_t kJpegXl = 4;
constexpr std::uint32_t kTiff = 5;
constexpr std::uint32_t kConverted = 0;
constexpr std::uint32_t kNotConvertible = 1;
constexpr std::uint32_t kTooLarge = 2;
constexpr std::uint32_t kSized = 3;
constexpr std::size_t kSizedBytes = 8;
constexpr std::size_t kBoxBytes = 8;
constexpr std::size_t kRasterAnswerWords = 5;
constexpr std::size_t kRasterRequestBytes = 12;
constexpr std::uint32_t kSizeOnly = 1;
constexpr std::uint32_t kBoxLater = 2;
// The largest file a raster request may attach.
constexpr std::uint64_t kMaxRasterFile = 256ull << 20;
constexpr std::uint32_t kHasAlpha = 1;

inline bool IsRasterKind(std::uint32_t kind)
{
    return kind == kHeif || kind == kJpegXl || kind == kTiff;
}

inline void PutWord(unsigned char *out, std::uint32_t word)
{
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<unsigned char>(word >> (8 * i));
    }
}

inline std::uint32_t GetWord(const unsigned char *in)
{
    std::uint32_t word = 0;
    for (int i = 0; i < 4; ++i) {
        word |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    }
    return word;
}
// The argument that asks the helper to serve rather than convert one file.
constexpr const char *kServeArgument = "--serve";

struct Header
{
    std::uint32_t word = 0; // the kind of a request, the status of an answer
    std::uint64_t length = 0;
};

inline void WriteHeader(unsigned char *out, const Header &h)
{
    std::memcpy(out, kMagic, 4);
    for (int i = 0; i < 4; ++i) {
        out[4 + i] = static_cast<unsigned char>(h.word >> (8 * i));
    }
    for (int i = 0; i < 8; ++i) {
        out[8 + i] = static_cast<unsigned char>(h.length >> (8 * i));
    }
}

// False when the bytes are not a header of this protocol.
inline bool ReadHeader(const unsigned char *in, Header &h)
{
    if (std::memcmp(in, kMagic, 4) != 0) {
        return false;
    }
    h.word = 0;
    h.length = 0;
    for (int i = 0; i < 4; ++i) {
        h.word |= static_cast<std::uint32_t>(in[4 + i]) << (8 * i);
    }
    for (int i = 0; i < 8; ++i) {
        h.length |= static_cast<std::uint64_t>(in[8 + i]) << (8 * i);
    }
    return true;
}

} // namespace MetafileHelperProtocol
