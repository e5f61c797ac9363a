// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtEndian>

#include <cstdint>

// Test pictures in today's formats, made at test time by the real encoders (ImageMagick, cwebp,
// img2webp, webpmux, apngasm, heif-enc, cjxl), so that the program is checked against files as
// the tools people use write them. The source picture is one the eye can check for being upright:
// 128 x 64, red on the left, blue on the right, a green block in the top-left corner.
namespace ModernPictures {

constexpr int kWidth = 128;
constexpr int kHeight = 64;

inline QImage sourcePicture(QColor left = Qt::red, QColor right = Qt::blue)
{
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, kWidth / 2, kHeight, left);
    p.fillRect(kWidth / 2, 0, kWidth / 2, kHeight, right);
    p.fillRect(0, 0, kWidth / 4, kHeight / 4, Qt::green);
    p.end();
    return image;
}

// Where a point of the stored picture ends up once turned upright as an EXIF orientation says.
inline QPoint uprightPoint(QPoint stored, int orientation, int w = kWidth, int h = kHeight)
{
    const int x = stored.x();
    const int y = stored.y();
    switch (orientation) {
    case 2:
        return {w - 1 - x, y};
    case 3:
        return {w - 1 - x, h - 1 - y};
    case 4:
        return {x, h - 1 - y};
    case 5:
        return {y, x};
    case 6:
        return {h - 1 - y, x};
    case 7:
        return {h - 1 - y, w - 1 - x};
    case 8:
        return {y, w - 1 - x};
    default:
        return stored;
    }
}

struct Sample
{
    QPoint stored;
    QColor colour;
};

// Points well inside each block of the source picture, with their colours.
inline QList<Sample> samples(QColor left = Qt::red, QColor right = Qt::blue)
{
    return {{{16, 8}, Qt::green}, {{20, 48}, left}, {{48, 40}, left}, {{96, 32}, right}, {{112, 8}, right}};
}

inline bool near(QColor a, QColor b, int tolerance = 48)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// Empty when `image` (of the whole picture, at any scale) shows the source upright for an
// orientation; else what is wrong.
inline QString checkUpright(const QImage &image, int orientation, QColor left = Qt::red, QColor right = Qt::blue)
{
    const bool turned = orientation >= 5;
    const QSize upright = turned ? QSize(kHeight, kWidth) : QSize(kWidth, kHeight);
    if (image.isNull()) {
        return QStringLiteral("no picture");
    }
    if (std::abs(image.width() * upright.height() - image.height() * upright.width()) > upright.width() * 2) {
        return QStringLiteral("shape %1x%2, expected that of %3x%4")
            .arg(image.width())
            .arg(image.height())
            .arg(upright.width())
            .arg(upright.height());
    }
    for (const Sample &s : samples(left, right)) {
        const QPoint at = uprightPoint(s.stored, orientation);
        const QPoint scaled(at.x() * image.width() / upright.width(), at.y() * image.height() / upright.height());
        const QColor got = image.pixelColor(scaled);
        if (!near(got, s.colour)) {
            return QStringLiteral("at %1,%2: %3, expected %4")
                .arg(scaled.x())
                .arg(scaled.y())
                .arg(got.name(), s.colour.name());
        }
    }
    return {};
}

// Runs a tool; false (with its output in `log`) when it cannot be run or fails.
inline bool run(const QString &program, const QStringList &arguments, QString *log = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForStarted(10000) || !p.waitForFinished(120000)) {
        if (log != nullptr) {
            *log = program + QStringLiteral(": did not run");
        }
        return false;
    }
    if (log != nullptr) {
        *log = program + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll());
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

inline std::uint32_t crc32(const QByteArray &data)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

// A PNG chunk, length and CRC included.
inline QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(data.size()), chunk.data());
    chunk += type + data;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32(type + data), crc.data());
    return chunk + crc;
}

// A little-endian TIFF block holding IFD 0 with one Orientation entry: the EXIF of PNG, WebP and
// the raw form of a JPEG's APP1.
inline QByteArray exifOrientationBlock(int orientation)
{
    QByteArray b("II*\0", 4);
    auto le16 = [&b](int v) {
        b += char(v & 0xFF);
        b += char((v >> 8) & 0xFF);
    };
    auto le32 = [&](std::uint32_t v) {
        le16(static_cast<int>(v & 0xFFFF));
        le16(static_cast<int>(v >> 16));
    };
    le32(8);
    le16(1);
    le16(0x0112);
    le16(3);
    le32(1);
    le16(orientation);
    le16(0);
    le32(0);
    return b;
}

// The PNG with an eXIf chunk right after its header chunk.
inline QByteArray withPngExif(const QByteArray &png, int orientation)
{
    const int afterHeader = 8 + 25; // signature, then IHDR (13 bytes of data)
    return png.left(afterHeader) + pngChunk("eXIf", exifOrientationBlock(orientation)) + png.mid(afterHeader);
}

// Turns every 16-byte 'pixi' property of a HEIF into an 'irot' of the same size (the angle, then
// padding): the items then carry the rotation a phone writes for a photo taken upright. heif-enc
// writes no rotation of its own. `quarterTurns` is anticlockwise, as the box counts.
inline QByteArray withHeifRotation(QByteArray heif, int quarterTurns)
{
    for (qsizetype at = heif.indexOf("pixi"); at >= 4; at = heif.indexOf("pixi", at + 4)) {
        if (qFromBigEndian<quint32>(heif.constData() + at - 4) != 16) {
            return {};
        }
        heif.replace(at, 4, "irot");
        heif[at + 4] = char(quarterTurns & 3);
        for (int i = 5; i < 12; ++i) {
            heif[at + i] = '\0';
        }
    }
    return heif;
}

inline bool save(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray load(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A JPEG of the source with an EXIF orientation (cjxl carries it over into the JPEG XL).
inline QByteArray jpegWithOrientation(const QString &scratch, int orientation)
{
    const QString jpg = QDir(scratch).filePath(QStringLiteral("plain.jpg"));
    if (!sourcePicture().save(jpg, "JPEG", 95)) {
        return {};
    }
    const QByteArray jpeg = load(jpg);
    const QByteArray body = QByteArray("Exif\0\0", 6) + exifOrientationBlock(orientation);
    QByteArray segment("\xFF\xE1", 2);
    segment += char((body.size() + 2) >> 8);
    segment += char((body.size() + 2) & 0xFF);
    return jpeg.left(2) + segment + body + jpeg.mid(2);
}

// The files, by name, in `dir`; `log` gathers what went wrong. Names:
//   png.png, png-o6.png, apng.png (2 frames: red/blue, then yellow/cyan), webp.webp, webp-o6.webp,
//   anim.webp (the same 2 frames), tiff.tif, tiff16.tif, cmyk.tif, tiff-o6.tif, pages.tif (2 pages),
//   heic.heic (with a thumbnail), heic-o6.heic (turned as orientation 6, with a thumbnail),
//   heic-exif6.heic (EXIF orientation 6 only), heic-both6.heic (EXIF 6 and the rotation of heic-o6),
//   avif.avif, jxl.jxl, jxl-o6.jxl
inline bool make(const QString &dir, QString &log)
{
    const QDir d(dir);
    auto path = [&d](const char *name) { return d.filePath(QString::fromLatin1(name)); };
    QString out;
    auto step = [&](bool ok, const QString &what) {
        if (!ok) {
            log += what + QStringLiteral(" failed: ") + out + QLatin1Char('\n');
        }
        return ok;
    };
    const QString source = path("source.png");
    const QString second = path("second.png");
    bool ok = step(sourcePicture().save(source, "PNG"), QStringLiteral("source"));
    ok = step(sourcePicture(Qt::yellow, Qt::cyan).save(second, "PNG"), QStringLiteral("second")) && ok;
    ok = step(run(QStringLiteral("convert"), {source, path("png.png")}, &out), QStringLiteral("png")) && ok;
    ok = step(save(path("png-o6.png"), withPngExif(load(path("png.png")), 6)), QStringLiteral("png-o6")) && ok;
    // apngasm takes the first frame and finds the next by its number.
    ok = step(d.mkpath(QStringLiteral("frames")) && sourcePicture().save(path("frames/frame1.png"), "PNG") &&
                  sourcePicture(Qt::yellow, Qt::cyan).save(path("frames/frame2.png"), "PNG"),
              QStringLiteral("frames")) &&
         ok;
    ok = step(run(QStringLiteral("apngasm"),
                  {path("apng.png"), path("frames/frame1.png"), QStringLiteral("1"), QStringLiteral("5")}, &out),
              QStringLiteral("apng")) &&
         ok;
    ok = step(run(QStringLiteral("cwebp"),
                  {QStringLiteral("-quiet"), QStringLiteral("-q"), QStringLiteral("95"), source, QStringLiteral("-o"),
                   path("webp.webp")},
                  &out),
              QStringLiteral("webp")) &&
         ok;
    ok = step(save(path("exif.bin"), exifOrientationBlock(6)), QStringLiteral("exif")) && ok;
    ok = step(run(QStringLiteral("webpmux"),
                  {QStringLiteral("-set"), QStringLiteral("exif"), path("exif.bin"), path("webp.webp"),
                   QStringLiteral("-o"), path("webp-o6.webp")},
                  &out),
              QStringLiteral("webp-o6")) &&
         ok;
    ok = step(run(QStringLiteral("img2webp"),
                  {QStringLiteral("-loop"), QStringLiteral("0"), QStringLiteral("-lossless"), QStringLiteral("-d"),
                   QStringLiteral("100"), source, QStringLiteral("-d"), QStringLiteral("500"), second,
                   QStringLiteral("-o"), path("anim.webp")},
                  &out),
              QStringLiteral("anim.webp")) &&
         ok;
    ok = step(run(QStringLiteral("convert"),
                  {source, QStringLiteral("-type"), QStringLiteral("TrueColor"), path("tiff.tif")}, &out),
              QStringLiteral("tiff")) &&
         ok;
    ok = step(run(QStringLiteral("convert"),
                  {source, QStringLiteral("-type"), QStringLiteral("TrueColor"), QStringLiteral("-depth"),
                   QStringLiteral("16"), path("tiff16.tif")},
                  &out),
              QStringLiteral("tiff16")) &&
         ok;
    ok = step(run(QStringLiteral("convert"),
                  {source, QStringLiteral("-colorspace"), QStringLiteral("CMYK"), QStringLiteral("-type"),
                   QStringLiteral("ColorSeparation"), path("cmyk.tif")},
                  &out),
              QStringLiteral("cmyk")) &&
         ok;
    ok = step(run(QStringLiteral("convert"),
                  {source, QStringLiteral("-type"), QStringLiteral("TrueColor"), QStringLiteral("-orient"),
                   QStringLiteral("RightTop"), path("tiff-o6.tif")},
                  &out),
              QStringLiteral("tiff-o6")) &&
         ok;
    ok = step(run(QStringLiteral("convert"),
                  {source, second, QStringLiteral("-type"), QStringLiteral("TrueColor"), path("pages.tif")}, &out),
              QStringLiteral("pages")) &&
         ok;
    ok = step(run(QStringLiteral("heif-enc"),
                  {QStringLiteral("-q"), QStringLiteral("90"), QStringLiteral("-t"), QStringLiteral("64"), source,
                   QStringLiteral("-o"), path("heic.heic")},
                  &out),
              QStringLiteral("heic")) &&
         ok;
    // irot 3: three quarter turns anticlockwise, one clockwise: as EXIF orientation 6.
    ok =
        step(save(path("heic-o6.heic"), withHeifRotation(load(path("heic.heic")), 3)), QStringLiteral("heic-o6")) && ok;
    ok = step(run(QStringLiteral("heif-enc"),
                  {QStringLiteral("-A"), QStringLiteral("-q"), QStringLiteral("90"), source, QStringLiteral("-o"),
                   path("avif.avif")},
                  &out),
              QStringLiteral("avif")) &&
         ok;
    ok = step(run(QStringLiteral("cjxl"), {QStringLiteral("--quiet"), source, path("jxl.jxl")}, &out),
              QStringLiteral("jxl")) &&
         ok;
    ok = step(save(path("o6.jpg"), jpegWithOrientation(dir, 6)), QStringLiteral("o6.jpg")) && ok;
    ok = step(run(QStringLiteral("cjxl"), {QStringLiteral("--quiet"), path("o6.jpg"), path("jxl-o6.jxl")}, &out),
              QStringLiteral("jxl-o6")) &&
         ok;
    // heif-enc keeps a JPEG's EXIF, orientation 6 included, and writes no rotation of its own: the
    // EXIF alone says which way is up. With the phone's rotation put on as well, the two say the
    // same thing once, not twice.
    ok = step(run(QStringLiteral("heif-enc"),
                  {QStringLiteral("-q"), QStringLiteral("90"), QStringLiteral("-t"), QStringLiteral("64"),
                   path("o6.jpg"), QStringLiteral("-o"), path("heic-exif6.heic")},
                  &out),
              QStringLiteral("heic-exif6")) &&
         ok;
    ok = step(save(path("heic-both6.heic"), withHeifRotation(load(path("heic-exif6.heic")), 3)),
              QStringLiteral("heic-both6")) &&
         ok;
    return ok;
}

} // namespace ModernPictures
