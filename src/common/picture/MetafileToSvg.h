// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "common/picture/MetafileFormat.h"

#include <cstddef>
#include <optional>
#include <string>

// Converts a placeable WMF or an EMF to SVG text; nothing when the data is not one it can
// convert. Runs untrusted input through a C library: call it only in the helper process (and
// in the fuzzers).
[[nodiscard]] std::optional<std::string> MetafileToSvg(MetafileKind kind, const unsigned char *data,
                                                       std::size_t length);
