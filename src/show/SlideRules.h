// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Which picture a slide show shows next. SlideIndex is 1-based (0: nothing selected yet); r is a
// random number in [0, 1).

// The timer's step: a random position, or the next one in list order wrapping to the first.
[[nodiscard]] int NextSlide(int slideIndex, int listCount, bool random, float r);

// The arrow keys of a manual show: Right (39) as the timer's step, Left (37) back with the first
// going to the last; in random order both pick at random. Any other key changes nothing.
[[nodiscard]] int ManualSlideIndex(int slideIndex, int listCount, bool random, int keyCode, float r);
