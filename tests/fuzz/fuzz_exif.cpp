// SPDX-License-Identifier: GPL-2.0-or-later
// The camera's details from the beginning of a file: a JPEG's EXIF segment, or the EXIF block of a
// PNG, WebP or JPEG XL container, found by walking its chunks or boxes.
#include "common/picture/PictureDetails.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    (void)ExifDetailsOf(bytes);
    return 0;
}
