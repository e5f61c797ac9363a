#pragma once

// Keys by the virtual-key codes the key handlers compare (F1 112, Delete 46, Left 37, Right 39,
// letters by their capital's code); 0 for a key they never name.
[[nodiscard]] int VirtualKeyCode(int qtKey);
