#pragma once

#include <QString>

#include <functional>

class QWidget;

// Dragging pictures to a folder button. The drop action comes from the modifier keys when the
// drag starts: none moves, Ctrl alone copies, any other keeps the previous action and pointer.
inline constexpr char FileDragMimeType[] = "application/x-vantrel-files";

// Sets DropAction and the source's drag pointer from Shift (1 Shift, 2 Ctrl, 4 Alt), then drags.
void StartFileDrag(QWidget *source, int Shift);

// What dragging does; tests replace the platform's drag, which waits for the drop.
using FileDragHandler = std::function<void(QWidget *source, const QString &dragIcon)>;
void SetFileDragHandler(FileDragHandler handler);
