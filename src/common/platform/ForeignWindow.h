#pragma once

#include <QSize>

#include <cstdint>
#include <optional>

// Another program's X window, as far as the launcher needs it: whether it still exists and the
// size of its inside. Nothing when there is no X display or the window is gone.
[[nodiscard]] std::optional<QSize> ForeignWindowSize(std::uint32_t window);
