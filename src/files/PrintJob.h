// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

#include <memory>

class QPrinter;

enum class PrintResult {
    Printed,
    CannotRead,
    PrinterFailed,
    Unavailable, // the printing module cannot be loaded
};

// A printer at the printer's own resolution, from the printing module, which is loaded now if it
// was not yet; nothing, with the reason for the user in `error`, when it cannot be.
[[nodiscard]] std::shared_ptr<QPrinter> NewPrinter(QString *error);

// Prints the picture file on one page of `printer`: centred at its natural size, or shrunk to
// the printable area with its proportions kept. Raster pictures go from the file at full
// resolution (JPEGs upright); metafiles go as vectors. The natural size of a raster picture is
// its pixels at `twipsPerPixel` (the screen's), as the viewer measures it. Runs on any thread.
[[nodiscard]] PrintResult PrintPictureFile(const QString &path, QPrinter &printer, float twipsPerPixelX,
                                           float twipsPerPixelY);

// Readies the printer for the picture file before the user sees the printer chooser: the job is
// named after the file (print queues and PDFs show it), and a picture wider than tall gets a
// landscape page, which the user may still change there.
void PreparePrinter(QPrinter &printer, const QString &path, float twipsPerPixelX, float twipsPerPixelY);
