// SPDX-License-Identifier: GPL-2.0-or-later
#include "panel/PanelLayout.h"

#include "common/Rounding.h"

PanelLayout ComputePanelLayout(float screenHeightPx)
{
    PanelLayout l;
    const auto screenHeight = static_cast<int>(RoundToInt(screenHeightPx));
    if (screenHeight == 480) {
        l.File1.setHeight(214);
        l.imgLogo.moveTop(445);
    } else if (screenHeight == 600) {
        // As designed.
    } else {
        l.File1.setHeight(474);
        l.imgLogo.moveTop(screenHeight - 35);
        l.height = screenHeight;
        l.Line3White.setP2({168, screenHeight});
        l.Line3Dark.setP2({169, screenHeight});
    }
    l.B = l.File1.top() + l.File1.height();
    const int B = l.B;
    l.imgFileCounter = {0, B, 82, 17};
    l.lblFileCounter = {6, B + 1, 65, 17};
    l.cmdSlide = {82, B, 67, 17};
    l.imgHand = {149, B, 19, 17};
    for (int i = 0; i < 6; ++i) {
        l.cmdFolder.at(static_cast<std::size_t>(i)) = {1, B + 17 + 24 * i, 167, 24};
    }
    l.lstFolders = {1, B + 17, 167, 147};
    l.ButtonLine = {0, B + 161, 168, B + 161};
    l.Label1 = {28, B + 164, 69, 13};
    l.lblKB = {135, B + 164, 30, 13};
    return l;
}
