// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QMimeData;
class QWidget;

// Dragging pictures to a folder button. The drop action comes from the modifier keys when the
// drag starts: none moves, Ctrl alone copies, any other keeps the previous action and pointer.
inline constexpr char FileDragMimeType[] = "application/x-vantrel-files";

// Sets DropAction and the source's drag pointer from Shift (1 Shift, 2 Ctrl, 4 Alt), then drags.
void StartFileDrag(QWidget *source, int Shift);

// Other programs get the files as a `text/uri-list` (file managers, mail composers, editors):
// the drag offers copy, move and link, proposing the folder buttons' action (move, or copy with
// Ctrl) and leaving the choice to the program dropped on, as the desktop's drags do.
// The files a drag carries: the ones a drop on a folder button would file.
using DragPathsProvider = std::function<QStringList()>;
void SetDragPathsProvider(DragPathsProvider provider);
// What a drag of these files carries (the caller owns it).
[[nodiscard]] QMimeData *FileDragMimeData(const QStringList &paths);

// What dragging does; tests replace the platform's drag, which waits for the drop.
using FileDragHandler = std::function<void(QWidget *source, const QString &dragIcon)>;
void SetFileDragHandler(FileDragHandler handler);
