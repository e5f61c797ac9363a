// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/PrintJob.h"

#include "common/FileNames.h"
#include "common/picture/Picture.h"
#include "files/PrintRules.h"

#include <QPainter>
#include <QPrinter>
#include <QSvgRenderer>

PrintResult PrintPictureFile(const QString &path, QPrinter &printer, float twipsPerPixelX, float twipsPerPixelY)
{
    const auto info = ReadPictureInfo(path, twipsPerPixelX, twipsPerPixelY);
    if (!info) {
        return PrintResult::CannotRead;
    }
    // Read the whole picture before the printer starts a document, so a file that fails to
    // decode leaves no empty page behind.
    std::optional<QByteArray> svg;
    std::optional<Picture> raster;
    if (info->isMetafile()) {
        svg = LoadMetafileSvg(path);
        if (!svg) {
            return PrintResult::CannotRead;
        }
    } else {
        PictureRequest natural;
        natural.twipsPerPixelX = twipsPerPixelX;
        natural.twipsPerPixelY = twipsPerPixelY;
        raster = LoadPicture(path, natural);
        if (!raster || raster->isNull()) {
            return PrintResult::CannotRead;
        }
    }
    QSvgRenderer renderer;
    if (svg && !renderer.load(*svg)) {
        return PrintResult::CannotRead;
    }

    QPainter painter;
    if (!painter.begin(&printer)) {
        return PrintResult::PrinterFailed;
    }
    // The painter's units are the printer's dots from the printable area's top-left corner.
    const double dotsPerTwipX = printer.logicalDpiX() / 1440.0;
    const double dotsPerTwipY = printer.logicalDpiY() / 1440.0;
    const double SW = printer.width() / dotsPerTwipX;
    const double SH = printer.height() / dotsPerTwipY;
    const PrintPlacement at =
        PrintGeometry(HimetricToTwips(info->himetricWidth), HimetricToTwips(info->himetricHeight), SW, SH);
    const QRectF target(at.X0 * dotsPerTwipX, at.Y0 * dotsPerTwipY, at.PW * dotsPerTwipX, at.PH * dotsPerTwipY);
    if (svg) {
        renderer.render(&painter, target);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, raster->image);
    }
    return painter.end() ? PrintResult::Printed : PrintResult::PrinterFailed;
}

void PreparePrinter(QPrinter &printer, const QString &path, float twipsPerPixelX, float twipsPerPixelY)
{
    printer.setDocName(DisplayName(FileNameOf(path)));
    if (const auto info = ReadPictureInfo(path, twipsPerPixelX, twipsPerPixelY)) {
        printer.setPageOrientation(PrintsLandscape(info->himetricWidth, info->himetricHeight) ? QPageLayout::Landscape
                                                                                              : QPageLayout::Portrait);
    }
}
