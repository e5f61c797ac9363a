// SPDX-License-Identifier: GPL-2.0-or-later
#include "viewer/ThumbnailRules.h"

#include "common/Rounding.h"

#include <algorithm>

int ThumbRowsShown(int listHeight, int rowHeight)
{
    if (rowHeight <= 0) {
        return 0;
    }
    return static_cast<int>(RoundToInt(static_cast<double>(listHeight) / rowHeight));
}

int ThumbColumnsFor(int n)
{
    if (n <= 4) {
        return 2;
    }
    if (n <= 9) {
        return 3;
    }
    if (n <= 16) {
        return 4;
    }
    if (n <= 25) {
        return 5;
    }
    return 6;
}

int ThumbCellSize(float screenWidthPx, float screenHeightPx, int columns)
{
    const double c = std::max(columns, 1);
    const double s = screenWidthPx < 800 ? (screenWidthPx - ThumbAreaLeftPx) / c - 10 : screenHeightPx / c - 10;
    return static_cast<int>(RoundToInt(s));
}

QSize ThumbScaledSize(QSize natural, int cell)
{
    const int pw = natural.width();
    const int ph = natural.height();
    if (pw <= 0 || ph <= 0 || cell <= 0) {
        return {std::max(pw, 0), std::max(ph, 0)};
    }
    if (ph < cell && pw < cell) {
        return natural;
    }
    // Width to the cell first; a tall picture then comes back down to the cell's height.
    double w = cell;
    double h = static_cast<double>(cell) / pw * ph;
    const auto wi = RoundToInt(w);
    const auto hi = RoundToInt(h);
    if (hi > cell) {
        h = cell;
        w = static_cast<double>(cell) / static_cast<double>(hi) * static_cast<double>(wi);
    }
    return {std::max(1, static_cast<int>(RoundToInt(w))), std::max(1, static_cast<int>(RoundToInt(h)))};
}

QPoint ThumbPosition(int i, int n, int columns, int cell, QSize shown)
{
    const int c = std::max(columns, 1);
    const double pitch = cell + 10;
    double left = ((i - 1) % c) * pitch + (cell - shown.width()) / 2.0 + ThumbAreaLeftPx;
    if ((n / c) * c < i) {
        // The incomplete last row is centred.
        left += (c - n % c) * pitch / 2.0;
    }
    double top = ((i - 1) / c) * pitch + (cell - shown.height()) / 2.0 + 5;
    if (n <= c * c - c) {
        // Fewer rows than columns: the page moves down half a pitch.
        top += pitch / 2.0;
    }
    return {static_cast<int>(RoundToInt(left)), static_cast<int>(RoundToInt(top))};
}

QPoint CentredPlaceholder(const QRect &thumbnail, int placeholder)
{
    return {static_cast<int>(RoundToInt((thumbnail.width() - placeholder) / 2.0 + thumbnail.left())),
            static_cast<int>(RoundToInt((thumbnail.height() - placeholder) / 2.0 + thumbnail.top()))};
}

BorderSet BorderAround(const QRect &t)
{
    const int l = t.left() - 3;
    const int top = t.top() - 3;
    const int r = t.left() + t.width() + 2;
    const int b = t.top() + t.height() + 2;
    return {QLine(l, top, l, b), QLine(l, top, r, top), QLine(r, top, r, b), QLine(l, b, r, b)};
}

QRect LinePixels(const QLine &line, int width)
{
    const int half = width / 2;
    const int x1 = std::min(line.x1(), line.x2());
    const int x2 = std::max(line.x1(), line.x2());
    const int y1 = std::min(line.y1(), line.y2());
    const int y2 = std::max(line.y1(), line.y2());
    return QRect(QPoint(x1 - half, y1 - half), QPoint(x2 - half + width - 1, y2 - half + width - 1));
}

QString SelectionTag(int borderSet)
{
    return borderSet < 10 ? QStringLiteral("selected0%1").arg(borderSet) : QStringLiteral("selected%1").arg(borderSet);
}

bool IsSelectedTag(const QString &tag)
{
    return tag.left(8) == QLatin1String("selected");
}

int SharedThumbnailSize(int cell)
{
    for (const int size : {128, 256, 512, 1024}) {
        if (size >= cell) {
            return size;
        }
    }
    return 0;
}

QString SharedThumbnailFolder(int size)
{
    switch (size) {
    case 128:
        return QStringLiteral("normal");
    case 256:
        return QStringLiteral("large");
    case 512:
        return QStringLiteral("x-large");
    case 1024:
        return QStringLiteral("xx-large");
    default:
        return {};
    }
}
