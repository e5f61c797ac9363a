// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QPointF>
#include <QRect>
#include <QSize>
#include <QString>

// Where the fitted view puts a picture of natural size `picture` (pixels) on a screen of
// `screenW` x `screenH` pixels: right of the 170-pixel panel with 10 pixels of margin on either
// side (or the whole screen during a slide show), reduced width first, then height, centred with
// halves to even. A picture wider or taller than its free space can be magnified.
struct FittedPicture
{
    QRect rect;
    bool shownFullSize = true; // false: reduced, a click magnifies
    QString cursor;            // "MAGNIFIER" or "NORMAL"
};

[[nodiscard]] FittedPicture FitPicture(QSize picture, float screenW, float screenH, bool slideShow);

// The notice of an unreadable file and where it goes (left edge; top, width and height are the
// label's own).
[[nodiscard]] QString UnreadableText(const QString &fileName, qint64 bytes);
[[nodiscard]] int UnreadableLeft(int labelWidth, float screenW, bool slideShow);

// The full-size view after a click on a reduced picture: the clicked point of the picture moved
// to the middle of the free area, no gap left at either side, and scroll bars (width VW, height
// HH) for the overhang. Ranges are at least 4 with a page step of a quarter; wider than 16 bits.
struct MagnifiedPicture
{
    QRect picture;
    bool vertical = false;
    bool horizontal = false;
    bool corner = false;
    QRect vScroll;
    QRect hScroll;
    QRect cornerRect;
    int vMax = 0;
    int hMax = 0;
    int vPage = 0;
    int hPage = 0;
    int vValue = 0;
    int hValue = 0;
};

[[nodiscard]] MagnifiedPicture MagnifyPicture(QSize natural, QSize fitted, QPointF clickPx, float screenW,
                                              float screenH, int VW = 17, int HH = 17);

// Where the picture goes when a scroll bar moves: left = 170 - horizontal value, top = -vertical value.
[[nodiscard]] QPoint PannedPosition(int hValue, int vValue, const MagnifiedPicture &view);

// What a key does in the viewer (the panel's keys come here too). KeyCode is a virtual-key code,
// Shift the modifier mask; modifiers are compared whole (Alt alone, so Ctrl+Alt+P does nothing).
enum class ViewerKey {
    None,
    Help,
    Delete,
    Print,
    Refresh,
    Undo,
    RotateRight,
    RotateLeft,
    Information,
    ZoomIn,
    ZoomOut,
    FileToFolder, // argument: the folder button, 0 to 5
    CopyToFolder, // argument: the folder button, 0 to 5
    SlideByHand,  // argument: the arrow key's code
    EndScreenSaver,
    StopShow,
};
struct ViewerKeyAction
{
    ViewerKey key = ViewerKey::None;
    int argument = 0;
};
[[nodiscard]] ViewerKeyAction ViewerKeyActionOf(int keyCode, int shift, bool slideShowOn, bool manualShow,
                                                bool screenSaverRun);
