// SPDX-License-Identifier: GPL-2.0-or-later
// Bitmaps, JPEGs, GIFs, PNGs and WebPs through the picture loader, at their natural size and scaled.
#include "common/picture/Picture.h"

#include <QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const PictureKind kind = SniffPictureKind(bytes.left(128));
    if (kind == PictureKind::Wmf || kind == PictureKind::Emf || kind == PictureKind::Tiff ||
        kind == PictureKind::Heif || kind == PictureKind::Avif || kind == PictureKind::JpegXl) {
        return 0; // the helper's own fuzzers cover these without starting a process per input
    }
    PictureRequest full;
    (void)LoadPictureData(bytes, full);
    PictureRequest fitted;
    fitted.drawSize = QSize(120, 90);
    (void)LoadPictureData(bytes, fitted);
    return 0;
}
