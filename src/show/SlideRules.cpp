// SPDX-License-Identifier: GPL-2.0-or-later
#include "show/SlideRules.h"

#include "common/KeyCodes.h"

#include <algorithm>
#include <cmath>

int NextSlide(int slideIndex, int listCount, bool random, float r)
{
    if (listCount < 1) {
        return slideIndex;
    }
    if (random) {
        const int pick = static_cast<int>(std::floor(static_cast<double>(listCount) * r + 1));
        return std::clamp(pick, 1, listCount);
    }
    return slideIndex < listCount ? slideIndex + 1 : 1;
}

int ManualSlideIndex(int slideIndex, int listCount, bool random, int keyCode, float r)
{
    if (random) {
        return NextSlide(slideIndex, listCount, true, r);
    }
    if (keyCode == vbKeyRight) {
        return NextSlide(slideIndex, listCount, false, r);
    }
    if (keyCode == vbKeyLeft) {
        return slideIndex < 2 ? listCount : slideIndex - 1;
    }
    return slideIndex;
}
