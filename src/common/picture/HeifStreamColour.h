// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// What the helper's own libheif decoders (HEVC and AV1) both hand libheif with a picture: the
// colour the coded stream describes, which libheif uses where the file has no colour box.

#include <cstdint>

struct heif_error;
struct heif_image;

struct StreamColour
{
    std::uint16_t primaries = 2;
    std::uint16_t transfer = 2;
    std::uint16_t matrix = 2;
    bool fullRange = false;
};

// As libheif's own decoders set it: values libheif does not know read as unspecified, with a
// warning on the picture (an error when decoding strictly).
heif_error SetStreamColour(heif_image *image, const StreamColour &colour, bool strict);
