// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Keys by the virtual-key codes the key handlers compare: F1 112, Delete 46, Left 37, Right 39,
// letters by their capital's code, Shift 16, Ctrl 17, Alt 18, Caps Lock 20, the keypad's own codes
// (96 to 111) when the key comes from the keypad, and the punctuation keys of a US keyboard (186 to
// 192, 219 to 222) for their symbols with and without Shift. A key with no code of its own (a
// letter of another alphabet, a dead key) reads as 255, which no command names; only an event that
// carries no key at all reads as 0.
[[nodiscard]] int VirtualKeyCode(int qtKey, bool keypad = false);
