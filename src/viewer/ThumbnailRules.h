// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLine>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <array>

// What a page shows: the files in page order and the grid they are placed in.
struct PagePlan
{
    QStringList names;
    QStringList paths;
    int onPage = 0;
    int columns = 0;
    int cell = 0;
};

// The geometry of a thumbnail page: how many thumbnails, in how many columns, in cells of S x S
// pixels starting 190 pixels from the screen's left edge, and where each one goes.

// Left edge of the thumbnail area, right of the panel.
inline constexpr int ThumbAreaLeftPx = 190;
// Size of the placeholder of a file that cannot be shown (bitmap 101).
inline constexpr int ThumbPlaceholderPx = 36;

// Rows the file list shows: its height over the row height, halves to even.
[[nodiscard]] int ThumbRowsShown(int listHeight, int rowHeight);

// Columns for a page of n thumbnails: 2 up to 4, 3 up to 9, 4 up to 16, 5 up to 25, else 6.
[[nodiscard]] int ThumbColumnsFor(int n);

// Cell size S: narrow screens (under 800 pixels) share the width right of the thumbnail area
// among the columns, others the height.
[[nodiscard]] int ThumbCellSize(float screenWidthPx, float screenHeightPx, int columns);

// The size a picture of `natural` pixels is shown at in a cell of S: reduced to fit, never
// enlarged.
[[nodiscard]] QSize ThumbScaledSize(QSize natural, int cell);

// Top-left corner of thumbnail i (from 1) of n in c columns, shown at `shown` in cells of S.
[[nodiscard]] QPoint ThumbPosition(int i, int n, int columns, int cell, QSize shown);

// Where a placeholder of `placeholder` pixels goes to sit centred where a thumbnail was.
[[nodiscard]] QPoint CentredPlaceholder(const QRect &thumbnail, int placeholder = ThumbPlaceholderPx);

// The selection border around a thumbnail: left, top, right and bottom lines, 3 pixels outside
// its edges.
struct BorderSet
{
    QLine left;
    QLine top;
    QLine right;
    QLine bottom;
};
[[nodiscard]] BorderSet BorderAround(const QRect &thumbnail);
// The pixels a line 3 pixels wide covers, centred on its ends.
[[nodiscard]] QRect LinePixels(const QLine &line, int width = 3);

// Selection tags: "selected00" ... "selected09", then "selected10" and up.
[[nodiscard]] QString SelectionTag(int borderSet);
[[nodiscard]] bool IsSelectedTag(const QString &tag);
inline const QString InvalidTag = QStringLiteral("invalid");

// The freedesktop.org thumbnail size that serves a cell: the smallest of 128, 256, 512 and 1024
// at or above it, or 0 when the cell is larger than all of them.
[[nodiscard]] int SharedThumbnailSize(int cell);
// Its folder under the thumbnail cache: "normal", "large", "x-large", "xx-large".
[[nodiscard]] QString SharedThumbnailFolder(int size);
