#pragma once

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
