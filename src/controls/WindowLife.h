// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

class QWidget;

// The end of a window's life, the same wherever it is ended: it is hidden, no longer counts as
// loaded, and is destroyed once the handler that ended it has returned (an unload often runs
// inside a handler of the window being unloaded).
void MarkUnloaded(QWidget *window);
[[nodiscard]] bool IsUnloaded(const QWidget *window);
