// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/PrintModule.h"

#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSvgRenderer>

namespace {

QPrinter *newPrinter()
{
    return new QPrinter(QPrinter::HighResolution);
}

void deletePrinter(QPrinter *printer)
{
    delete printer;
}

void prepare(QPrinter &printer, const QString &docName, bool landscape)
{
    printer.setDocName(docName);
    printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

bool choose(QPrinter &printer, QWidget *parent)
{
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, true);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    // A modal loop, as the message box's.
    return dialog.exec() == QDialog::Accepted;
}

PrintResult print(QPrinter &printer, const PrintablePicture &picture,
                  PrintPlacement (*place)(double PW, double PH, double SW, double SH))
{
    // Read before the printer starts a document, so a file that fails leaves no empty page behind.
    QSvgRenderer renderer;
    const bool vector = !picture.svg.isEmpty();
    if (vector ? !renderer.load(picture.svg) : picture.raster.isNull()) {
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
    const PrintPlacement at = place(picture.widthTwips, picture.heightTwips, SW, SH);
    const QRectF target(at.X0 * dotsPerTwipX, at.Y0 * dotsPerTwipY, at.PW * dotsPerTwipX, at.PH * dotsPerTwipY);
    if (vector) {
        renderer.render(&painter, target);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, picture.raster);
    }
    return painter.end() ? PrintResult::Printed : PrintResult::PrinterFailed;
}

} // namespace

extern "C" Q_DECL_EXPORT const PrintModule vantrel_print_module = {
    kPrintModuleVersion, &newPrinter, &deletePrinter, &prepare, &choose, &print};
