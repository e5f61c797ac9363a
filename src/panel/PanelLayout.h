// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLine>
#include <QRect>

#include <array>

// Pixel geometry of the browser panel. The panel is designed in pixels for 15 twips per pixel and
// scales its twip sizes at load, so these pixel rectangles hold at any screen resolution; only
// the screen height changes the file list, the rows below it and the panel's own height.
struct PanelLayout
{
    int width = 170;
    int height = 600;
    QRect cmdQuit{0, 0, 17, 17};
    QRect cmdSettings{17, 0, 62, 17};
    QRect cmdThumb{79, 0, 55, 17};
    QRect cmdHelp{134, 0, 17, 17};
    QRect cmdMinimize{151, 0, 17, 17};
    QLine Line4{0, 17, 168, 17};
    QRect cmbFolders{1, 18, 166, 21};
    QRect File1{1, 38, 166, 331};
    QRect txtUnavailable{8, 112, 145, 25};
    QLine Line3White{168, 0, 168, 600}; // Line3(1)
    QLine Line3Dark{169, 0, 169, 600};  // Line3(0)
    QRect imgLogo{3, 565, 162, 33};
    int B = 369; // bottom edge of the file list
    QRect imgFileCounter;
    QRect lblFileCounter;
    QRect cmdSlide;
    QRect imgHand;
    std::array<QRect, 6> cmdFolder{};
    QRect lstFolders;
    QLine ButtonLine;
    QRect Label1;
    QRect lblKB;
};

[[nodiscard]] PanelLayout ComputePanelLayout(float screenHeightPx);
