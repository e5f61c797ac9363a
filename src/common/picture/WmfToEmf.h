// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// Rewrites a placeable Windows metafile as an enhanced metafile with the same drawing: WMF
// records are GDI calls with 16-bit arguments, and each has an EMF record for the same call.
// The EMF maps the WMF's logical units onto its placeable bounding box at 1440 dots per inch.
// Records it does not know are skipped; any record that does not fit the data ends the drawing.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> WmfToEmf(const unsigned char *data, std::size_t length);
