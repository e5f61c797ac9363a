#pragma once

// How the viewer and a serving vantrel-metafile-helper talk over the helper's standard input and
// output. Each request is a header and the metafile's bytes; each answer a header and the SVG.
//
//   request: "VMH1", kind (u32: 1 WMF, 2 EMF), length (u64), then the metafile
//   answer:  "VMH1", status (u32: 0 SVG follows, 1 not convertible), length (u64), then the SVG
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
constexpr std::uint32_t kConverted = 0;
constexpr std::uint32_t kNotConvertible = 1;
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
