// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/WallpaperFile.h"

#include "common/FileNames.h"
#include "common/picture/Picture.h"
#include "common/platform/AppPaths.h"
#include "files/WallpaperRules.h"

#include <QDir>
#include <QPainter>
#include <QSaveFile>
#include <QStandardPaths>
#include <QtEndian>

#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void put16(char *at, quint16 value)
{
    qToLittleEndian(value, at);
}

void put32(char *at, quint32 value)
{
    qToLittleEndian(value, at);
}

} // namespace

bool WriteBitmap24(const QImage &image, const QString &path)
{
    if (image.isNull()) {
        return false;
    }
    // A transparent part of the picture (a metafile draws only what it draws) shows white.
    QImage opaque = image;
    if (image.hasAlphaChannel()) {
        opaque = QImage(image.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, image);
    }
    const QImage bgr = opaque.convertToFormat(QImage::Format_BGR888);
    const int width = bgr.width();
    const int height = bgr.height();
    const qsizetype rowBytes = (static_cast<qsizetype>(width) * 3 + 3) & ~qsizetype(3);
    const qsizetype pixelBytes = rowBytes * height;
    constexpr int headerBytes = 14 + 40;
    if (pixelBytes + headerBytes > std::numeric_limits<quint32>::max()) {
        return false;
    }

    QByteArray data(headerBytes + pixelBytes, '\0');
    char *h = data.data();
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, static_cast<quint32>(data.size()));
    put32(h + 10, headerBytes);
    put32(h + 14, 40);
    put32(h + 18, static_cast<quint32>(width));
    put32(h + 22, static_cast<quint32>(height)); // positive: rows stored bottom-up
    put16(h + 26, 1);
    put16(h + 28, 24);
    put32(h + 30, 0); // BI_RGB
    put32(h + 34, static_cast<quint32>(pixelBytes));
    put32(h + 38, 3780); // 96 dots per inch, in dots per metre
    put32(h + 42, 3780);
    for (int y = 0; y < height; ++y) {
        std::memcpy(h + headerBytes + rowBytes * (height - 1 - y), bgr.constScanLine(y),
                    static_cast<std::size_t>(width) * 3);
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool IsUsersOwnFolder(const QString &folder)
{
    if (folder.isEmpty()) {
        return false;
    }
    char *resolved = ::realpath(EncodeName(folder).constData(), nullptr);
    if (resolved == nullptr) {
        return false;
    }
    const QString real = DecodeName(QByteArray(resolved));
    std::free(resolved);
    for (const char *system : {"/usr", "/opt", "/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32", "/etc", "/var",
                               "/snap", "/nix", "/gnu", "/app", "/boot", "/srv"}) {
        const QString prefix = QString::fromLatin1(system);
        if (real == prefix || real.startsWith(prefix + QLatin1Char('/'))) {
            return false;
        }
    }
    const auto st = StatPath(real);
    return st && S_ISDIR(st->st_mode) && st->st_uid == ::getuid();
}

QStringList WallpaperFolders(const QString &programFolder)
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (IsUsersOwnFolder(programFolder)) {
        return {programFolder, data};
    }
    return {data};
}

QStringList WallpaperFolders()
{
    return WallpaperFolders(AppPath());
}

std::optional<WallpaperBitmap> MakeWallpaperBitmap(const QString &picturePath, QSize screen, const QStringList &folders,
                                                   float twipsPerPixelX, float twipsPerPixelY, WallpaperError *error)
{
    auto fail = [error](WallpaperError why) {
        if (error != nullptr) {
            *error = why;
        }
        return std::nullopt;
    };
    PictureRequest request;
    request.twipsPerPixelX = twipsPerPixelX;
    request.twipsPerPixelY = twipsPerPixelY;
    QSize target;
    request.drawSizeFor = [&target, screen](QSize natural) {
        target = WallpaperSize(natural, screen);
        return target;
    };
    const auto picture = LoadPicture(picturePath, request);
    if (!picture || picture->isNull() || target.isEmpty()) {
        return fail(WallpaperError::CannotRead);
    }
    // The decode is the smallest size at or above the target; the rest is a smooth reduction.
    const QImage scaled = picture->image.size() == target
                              ? picture->image
                              : picture->image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (const QString &folder : folders) {
        if (folder.isEmpty() || !QDir().mkpath(folder)) {
            continue;
        }
        const QString path = WallpaperPath(folder);
        if (WriteBitmap24(scaled, path)) {
            if (error != nullptr) {
                *error = WallpaperError::None;
            }
            return WallpaperBitmap{path, target};
        }
    }
    return fail(WallpaperError::CannotWrite);
}
