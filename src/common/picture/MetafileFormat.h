// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// What a Windows metafile's own header says, read without trusting anything past it. Shared by
// the viewer and the conversion helper; plain C++ so the helper stays small.

enum class MetafileKind { Wmf, Emf };

struct MetafileHeader
{
    MetafileKind kind = MetafileKind::Wmf;
    // Natural size in HIMETRIC (0.01 mm): a placeable WMF's bounding box at its units per inch,
    // an EMF's rclFrame.
    std::int32_t himetricWidth = 0;
    std::int32_t himetricHeight = 0;

    // The natural size in pixels at a screen resolution, rounded halves to even.
    [[nodiscard]] std::int32_t pixelWidth(double twipsPerPixel) const;
    [[nodiscard]] std::int32_t pixelHeight(double twipsPerPixel) const;
};

// A placeable WMF (the only kind of WMF that carries its size) or an EMF; nothing otherwise.
[[nodiscard]] std::optional<MetafileHeader> ParseMetafileHeader(const unsigned char *data, std::size_t length);

// True when every EMF record lies inside the data, is at least 8 bytes and a multiple of 4, and
// the chain ends with an EOF record.
[[nodiscard]] bool EmfRecordChainIsSound(const unsigned char *data, std::size_t length);

// HIMETRIC to pixels and back at a resolution in twips per pixel (1440 twips an inch, 2540
// HIMETRIC an inch).
[[nodiscard]] std::int32_t HimetricToPixels(double himetric, double twipsPerPixel);
[[nodiscard]] std::int32_t PixelsToHimetric(double pixels, double twipsPerPixel);

// AddressSanitizer reserves terabytes of address space for its bookkeeping; a process built with
// it cannot run under an address-space limit, so such builds (tests only) go without one.
#if defined(__SANITIZE_ADDRESS__)
#define VANTREL_ADDRESS_LIMITS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTREL_ADDRESS_LIMITS 0
#endif
#endif
#ifndef VANTREL_ADDRESS_LIMITS
#define VANTREL_ADDRESS_LIMITS 1
#endif
