// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <optional>

// Writes `image` as a 24-bit Windows bitmap, whole or not at all. False when it cannot.
[[nodiscard]] bool WriteBitmap24(const QImage &image, const QString &path);

// The folders the wallpaper bitmap may go to, in order: the program's own when it is the user's
// (a copy unpacked in the home folder, a build), then the user's data folder for it. A folder of
// the system or of a package (/usr/bin, /opt/...) or of another user is never written, even by
// root: a package manager would leave the bitmap behind.
[[nodiscard]] QStringList WallpaperFolders(const QString &programFolder);
[[nodiscard]] QStringList WallpaperFolders();

// True when the folder belongs to the user running the program and lies outside the system's
// and the package managers' folders.
[[nodiscard]] bool IsUsersOwnFolder(const QString &folder);

struct WallpaperBitmap
{
    QString path;
    QSize size;
};

enum class WallpaperError { None, CannotRead, CannotWrite };

// Reads the picture file at full resolution (JPEGs upright), reduces it for a screen of `screen`
// pixels and writes it as "Wallpaper.bmp" into the first of `folders` that takes it.
[[nodiscard]] std::optional<WallpaperBitmap> MakeWallpaperBitmap(const QString &picturePath, QSize screen,
                                                                 const QStringList &folders, float twipsPerPixelX,
                                                                 float twipsPerPixelY, WallpaperError *error = nullptr);
