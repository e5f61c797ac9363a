// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

// The converter draws every shape that has no pen with a one-unit outline in its fill colour, so
// that adjacent shapes (the hundreds of bands of an exported gradient) meet without a hairline of
// background between them. Stroking costs several times what filling does; a convex polygon
// filled and stroked in one colour with mitred corners covers exactly the polygon grown by half
// the stroke, so those become plain fills of the grown polygon. Anything else is left as it is.
void FoldSeamOutlines(std::string &svg);
