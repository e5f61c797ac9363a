// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// TIFF's LZW, one strip at a time, for the common case only: a well-formed stream (codes MSB
// first, widths growing one code early) that fills the strip. A scanner's LZW TIFF spends most of
// its decode here, and the library rebuilds every string code by code from its links; here each
// string is copied whole from where it was first written out. Anything else (old-style bit order,
// a damaged or short stream, a full table without a clear) is refused, and the caller hands the
// strip to the library, so that damaged files read exactly as the library reads them.

#include <cstddef>
#include <cstdint>

// Fills all `outSize` bytes of `out` from the stream; false when the stream is not one this
// decodes exactly as the library would (`out` then holds anything).
[[nodiscard]] bool DecodeTiffLzw(const std::uint8_t *in, std::size_t inSize, std::uint8_t *out, std::size_t outSize);
