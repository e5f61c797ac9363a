// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>

// Metafiles are drawn from the SVG their converter makes, by the toolkit's SVG renderer: a
// library only a metafile needs, so it is loaded with the first one (common/platform/Modules.h).
struct SvgModule
{
    int version;
    // Draws the document over the whole of `image`, which has the size wanted; false when the
    // renderer cannot read it.
    bool (*draw)(const QByteArray &svg, QImage &image);
};

inline constexpr int kSvgModuleVersion = 1;
inline constexpr const char *kSvgModuleFile = "vantrel-svg.so";
inline constexpr const char *kSvgModuleSymbol = "vantrel_svg_module";
