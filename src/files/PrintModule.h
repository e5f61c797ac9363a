// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "files/PrintJob.h"
#include "files/PrintRules.h"

#include <QByteArray>
#include <QImage>
#include <QString>

class QPrinter;
class QWidget;

// The printer, its chooser and the painting of a page: the printing libraries are loaded with the
// first print (common/platform/Modules.h), never at start. The program reads the picture; the
// module only puts it on paper.

// A picture read whole, ready for the page: a metafile as SVG (drawn from its vectors), anything
// else as pixels at full resolution.
struct PrintablePicture
{
    double widthTwips = 0; // its natural size
    double heightTwips = 0;
    QByteArray svg; // empty for a raster picture
    QImage raster;
};

struct PrintModule
{
    int version;
    // A printer at the printer's own resolution, owned by the caller until deletePrinter.
    QPrinter *(*newPrinter)();
    void (*deletePrinter)(QPrinter *printer);
    void (*prepare)(QPrinter &printer, const QString &docName, bool landscape);
    // The printer chooser over `parent`: false when cancelled.
    bool (*choose)(QPrinter &printer, QWidget *parent);
    // One page with the picture placed by `place` (PrintGeometry's arguments and result).
    PrintResult (*print)(QPrinter &printer, const PrintablePicture &picture,
                         PrintPlacement (*place)(double PW, double PH, double SW, double SH));
};

inline constexpr int kPrintModuleVersion = 1;
inline constexpr const char *kPrintModuleFile = "vantrel-print.so";
inline constexpr const char *kPrintModuleSymbol = "vantrel_print_module";

// The module, loaded at the first call: nothing, with the reason for the user in `error`, when
// printing cannot be loaded. Any thread.
[[nodiscard]] const PrintModule *LoadPrintModule(QString *error = nullptr);
