// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDateTime>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

// What the camera recorded about a photo (its EXIF block), and what the file itself says: read
// on request for the information window, and the date taken for sorting.
struct PictureDetails
{
    std::optional<QDateTime> taken; // when the picture was taken (camera's clock, no time zone)
    QString camera;                 // "Canon EOS 5D Mark IV": make and model
    QString lens;                   // "EF24-105mm f/4L IS USM"
    std::optional<double> exposureSeconds;
    std::optional<double> fNumber;
    std::optional<int> iso;
    std::optional<double> focalLengthMm;
    QSize dimensions; // pixels, upright
    qint64 fileSize = -1;
};

// The EXIF block of a JPEG, PNG (eXIf), WebP (EXIF) or JPEG XL (Exif box) file, or nothing, with
// the dimensions and size added by the caller. Only a regular file is opened, and only its first
// megabyte is read (a block further in is not found).
[[nodiscard]] PictureDetails ReadExifDetails(const QString &path);
// The same, from the bytes of a file's beginning.
[[nodiscard]] PictureDetails ExifDetailsOf(const QByteArray &head);

// When the picture was taken, or nothing: for sorting a folder.
[[nodiscard]] std::optional<QDateTime> DateTaken(const QString &path);

// "1/250 s", "0.5 s", "2 s".
[[nodiscard]] QString ExposureText(double seconds);
// "f/2.8", "f/11".
[[nodiscard]] QString FNumberText(double f);

// The lines the information window shows, each "Label: value"; what is unknown is left out,
// except the name, dimensions and size, which every picture has.
[[nodiscard]] QStringList DetailLines(const QString &fileName, const PictureDetails &details);
