// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/PrintJob.h"

#include "common/FileNames.h"
#include "common/picture/Picture.h"
#include "common/platform/Modules.h"
#include "files/PrintModule.h"
#include "files/PrintRules.h"

const PrintModule *LoadPrintModule(QString *error)
{
    return static_cast<const PrintModule *>(
        LoadModule(kPrintModuleFile, kPrintModuleSymbol, kPrintModuleVersion, error));
}

std::shared_ptr<QPrinter> NewPrinter(QString *error)
{
    const PrintModule *module = LoadPrintModule(error);
    if (module == nullptr) {
        return nullptr;
    }
    return std::shared_ptr<QPrinter>(module->newPrinter(), module->deletePrinter);
}

PrintResult PrintPictureFile(const QString &path, QPrinter &printer, float twipsPerPixelX, float twipsPerPixelY)
{
    const PrintModule *module = LoadPrintModule();
    if (module == nullptr) {
        return PrintResult::Unavailable;
    }
    const auto info = ReadPictureInfo(path, twipsPerPixelX, twipsPerPixelY);
    if (!info) {
        return PrintResult::CannotRead;
    }
    PrintablePicture picture;
    picture.widthTwips = HimetricToTwips(info->himetricWidth);
    picture.heightTwips = HimetricToTwips(info->himetricHeight);
    if (info->isMetafile()) {
        auto svg = LoadMetafileSvg(path);
        if (!svg || svg->isEmpty()) {
            return PrintResult::CannotRead;
        }
        picture.svg = std::move(*svg);
    } else {
        PictureRequest natural;
        natural.twipsPerPixelX = twipsPerPixelX;
        natural.twipsPerPixelY = twipsPerPixelY;
        auto raster = LoadPicture(path, natural);
        if (!raster || raster->isNull()) {
            return PrintResult::CannotRead;
        }
        picture.raster = std::move(raster->image);
    }
    return module->print(printer, picture, &PrintGeometry);
}

void PreparePrinter(QPrinter &printer, const QString &path, float twipsPerPixelX, float twipsPerPixelY)
{
    const PrintModule *module = LoadPrintModule();
    if (module == nullptr) {
        return;
    }
    const auto info = ReadPictureInfo(path, twipsPerPixelX, twipsPerPixelY);
    module->prepare(printer, DisplayName(FileNameOf(path)),
                    info && PrintsLandscape(info->himetricWidth, info->himetricHeight));
}
