// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Keys by the virtual-key codes the key handlers compare: F1 112, Delete 46, Left 37, Right 39,
// letters by their capital's code, Shift 16, Ctrl 17, Alt 18, Caps Lock 20, the keypad's own codes
// (96 to 111) when the key comes from the keypad, and the punctuation keys of a US keyboard (186 to
// 192, 219 to 222) for their symbols with and without Shift. A key with no code of its own (a
// letter of another alphabet, a dead key) reads as 255, which no command names; only an event that
// carries no key at all reads as 0.
[[nodiscard]] int VirtualKeyCode(int qtKey, bool keypad = false);

// The codes the windows' key handlers name.
inline constexpr int vbKeyLeft = 37;
inline constexpr int vbKeyRight = 39;
inline constexpr int vbKeyDelete = 46;
inline constexpr int vbKey1 = 49;
inline constexpr int vbKey6 = 54;
inline constexpr int vbKeyI = 73;
inline constexpr int vbKeyL = 76;
inline constexpr int vbKeyP = 80;
inline constexpr int vbKeyR = 82;
inline constexpr int vbKeyZ = 90;
inline constexpr int vbKeyAdd = 107;      // + on the keypad
inline constexpr int vbKeySubtract = 109; // - on the keypad
inline constexpr int vbKeyF1 = 112;
inline constexpr int vbKeyPlus = 187;  // =/+ on the main keys
inline constexpr int vbKeyMinus = 189; // -/_ on the main keys

// The modifier mask that comes with a key.
inline constexpr int vbShiftMask = 1;
inline constexpr int vbCtrlMask = 2;
inline constexpr int vbAltMask = 4;
