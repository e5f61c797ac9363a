// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cmath>
#include <cstdint>

// Where a fractional value becomes a whole number, halves go to the even neighbour (2.5 -> 2, 3.5 -> 4).
[[nodiscard]] inline double RoundHalfEven(double value)
{
    return std::nearbyint(value); // the default floating-point rounding mode is to nearest, ties to even
}

[[nodiscard]] inline std::int64_t RoundToInt(double value)
{
    return static_cast<std::int64_t>(RoundHalfEven(value));
}
