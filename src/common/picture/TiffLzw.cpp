// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/TiffLzw.h"

#include <array>
#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

constexpr unsigned kClear = 256;
constexpr unsigned kEnd = 257;
constexpr unsigned kFirstFree = 258;
constexpr unsigned kMaxBits = 12;
constexpr unsigned kTableSize = 1u << kMaxBits;

// Every string is `length` bytes from `from`: a single byte in kBytes, or a stretch of the output.
// An entry is an earlier string plus the first byte of the string written after it, and in the
// output the two lie side by side, so the entry is known before that next string is decoded.
struct Entry
{
    const std::uint8_t *from;
    std::uint32_t length;
};

// Each byte value once, with room after it for a whole 16-byte copy.
constexpr auto kBytes = [] {
    std::array<std::uint8_t, 256 + 16> bytes{};
    for (unsigned i = 0; i < 256; ++i) {
        bytes[i] = static_cast<std::uint8_t>(i);
    }
    return bytes;
}();

// Copies the string to `to`. Its bytes all lie before `to` (the output is written in order), so
// copying in 16-byte steps, each read before it is written, brings them over whatever the
// distance; the steps may write up to 15 bytes past the string, into output not yet written.
inline void copyWide(std::uint8_t *to, const std::uint8_t *from, std::uint32_t length)
{
#ifdef __SSE2__
    for (std::uint32_t i = 0; i < length; i += 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(to + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + i)));
    }
#else
    for (std::uint32_t i = 0; i < length; ++i) {
        to[i] = from[i];
    }
#endif
}

} // namespace

bool DecodeTiffLzw(const std::uint8_t *in, std::size_t inSize, std::uint8_t *out, std::size_t outSize)
{
    // Old-style streams (low bit first) begin so; the library knows their other rules.
    if (inSize >= 2 && in[0] == 0 && (in[1] & 0x1) != 0) {
        return false;
    }
    if (outSize > UINT32_MAX - 16) {
        return false;
    }
    Entry table[kTableSize];
    for (unsigned i = 0; i < 256; ++i) {
        table[i] = Entry{&kBytes[i], 1};
    }
    std::size_t inAt = 0;
    std::uint64_t bits = 0;
    unsigned held = 0;
    unsigned width = 9;
    unsigned next = kFirstFree;
    bool cleared = false;
    // The string written last (none right after a clear): the next entry is it plus one byte.
    bool havePrevious = false;
    std::size_t prevAt = 0;
    std::uint32_t prevLength = 0;
    std::size_t at = 0;
    while (at < outSize) {
        if (held < width) {
            if (inSize - inAt >= 8) {
                // Eight bytes at once, high bit first, behind the bits still held: the whole
                // bytes among them count as read, the rest are read again next time.
                std::uint64_t word = 0;
                std::memcpy(&word, in + inAt, 8);
                if constexpr (std::endian::native == std::endian::little) {
                    word = __builtin_bswap64(word);
                }
                bits |= word >> held;
                inAt += (63 - held) >> 3;
                held |= 56;
            } else {
                while (held <= 56 && inAt < inSize) {
                    bits |= static_cast<std::uint64_t>(in[inAt++]) << (56 - held);
                    held += 8;
                }
                if (held < width) {
                    return false; // cut short
                }
            }
        }
        const auto code = static_cast<unsigned>(bits >> (64 - width));
        bits <<= width;
        held -= width;
        if (code == kClear) {
            cleared = true;
            width = 9;
            next = kFirstFree;
            havePrevious = false;
            continue;
        }
        if (code == kEnd || !cleared) {
            // Ended before the strip was full, or began without the clear every encoder writes
            // first (the library then builds on an entry of its own).
            return false;
        }
        if (havePrevious) {
            if (next == kTableSize) {
                return false; // a full table the encoder never cleared
            }
            table[next] = Entry{out + prevAt, prevLength + 1};
        } else if (code > 255) {
            return false;
        }
        // The entry just made is the only one not yet in the table that a code may name.
        if (code > next || (code == next && !havePrevious)) {
            return false;
        }
        const Entry entry = table[code];
        std::uint8_t *to = out + at;
        if (entry.length + 16 <= outSize - at) {
            copyWide(to, entry.from, entry.length);
        } else {
            const std::size_t n = entry.length <= outSize - at ? entry.length : outSize - at;
            std::memmove(to, entry.from, n);
        }
        if (code == next && entry.length <= outSize - at) {
            // The entry just made ends with the first byte of itself, which was not yet written
            // when the copy read it.
            to[entry.length - 1] = to[0];
        }
        if (havePrevious) {
            ++next;
            if (next == (1u << width) - 1 && width < kMaxBits) {
                ++width;
            }
        }
        havePrevious = true;
        prevAt = at;
        prevLength = entry.length;
        at += entry.length;
    }
    return true;
}
