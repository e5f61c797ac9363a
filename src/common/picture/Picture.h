// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QFuture>
#include <QIODevice>
#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>

// Loading picture files: Windows bitmaps, JPEG, GIF, Windows metafiles (placeable WMF and EMF),
// and the formats of today's photos and the web: PNG, WebP, TIFF, HEIF, AVIF and JPEG XL. The
// format comes from the file's content; the extension only decides which files a folder lists.
// A file that cannot be shown for any reason is an unreadable picture, never a crash: declared
// sizes are checked before anything is allocated, and metafiles, HEIF, AVIF, JPEG XL and TIFF
// are converted in a separate process with memory and time limits.

enum class PictureKind { Unknown, Bitmap, Jpeg, Gif, Wmf, Emf, Png, WebP, Tiff, Heif, Avif, JpegXl };

enum class PictureError {
    None,
    CannotOpen,  // missing, a folder, or not readable
    NotAPicture, // not one of the formats above
    TooLarge,    // declares more pixels than the limits allow
    Damaged,     // the format is known but the content cannot be decoded
};

// Limits on what is decoded. A full decode of a raster picture may not exceed these; metafiles
// are drawn at the size asked for, within the same limits.
struct PictureLimits
{
    static constexpr int maxSide = 65535;
    static constexpr std::int64_t maxPixels = 100'000'000;
    // An animation composes every frame on a canvas of its full size: larger ones show their
    // first frame only.
    static constexpr std::int64_t maxAnimatedPixels = 25'000'000;
};

struct PictureInfo
{
    PictureKind kind = PictureKind::Unknown;
    // Natural size in HIMETRIC (0.01 mm): a metafile's own; a raster picture's pixels at the
    // screen's resolution, so that converting back gives exactly its pixels.
    std::int32_t himetricWidth = 0;
    std::int32_t himetricHeight = 0;
    // Natural size in pixels at the resolution asked for (JPEGs upright, as their EXIF
    // orientation says).
    QSize pixelSize;
    // Frames of a GIF, WebP or PNG (1 for a still picture).
    int frameCount = 1;

    [[nodiscard]] bool isMetafile() const { return kind == PictureKind::Wmf || kind == PictureKind::Emf; }
    // Decoded in the helper process, like a metafile, but to pixels.
    [[nodiscard]] bool isHelperDecoded() const
    {
        return kind == PictureKind::Tiff || kind == PictureKind::Heif || kind == PictureKind::Avif ||
               kind == PictureKind::JpegXl;
    }
};

struct Picture
{
    PictureInfo info;
    // The size it was decoded to be drawn at (empty: natural size).
    QSize drawSize;
    // The decoded picture: its natural size, or for a scaled load the smallest size at or
    // above the one asked for (a metafile exactly at the size asked for). Transparent where a
    // metafile draws nothing.
    QImage image;

    [[nodiscard]] bool isNull() const { return image.isNull(); }
    // Width and height in HIMETRIC.
    [[nodiscard]] std::int32_t Width() const { return info.himetricWidth; }
    [[nodiscard]] std::int32_t Height() const { return info.himetricHeight; }
    // Pixel size of the bitmap behind the picture (a metafile: its natural size at the screen).
    [[nodiscard]] QSize bitmapSize() const { return info.pixelSize; }
};

struct PictureRequest
{
    // Empty: the natural size (the full-size view). Otherwise the size the picture is drawn
    // at; the decode is the smallest at or above it, never larger than natural.
    QSize drawSize;
    // Or: the draw size worked out from the natural size once the header is read (one open of
    // the file instead of two). Used when drawSize is empty.
    std::function<QSize(QSize natural)> drawSizeFor;
    float twipsPerPixelX = 15;
    float twipsPerPixelY = 15;
};

// Which files a folder lists: the six extensions of the original formats (.bmp .jpg .jpeg .gif
// .wmf .emf), or those and every other format the program reads (.png .apng .webp .tif .tiff .heic
// .heif .hif .avif .jxl), in any letter case.
enum class PictureSet { Original, All };
[[nodiscard]] bool HasPictureExtension(const QString &fileName, PictureSet set = PictureSet::All);
[[nodiscard]] const QStringList &PictureNameFilters(PictureSet set = PictureSet::All);
// The same as one pattern for the file list ("*.bmp;*.jpg;...").
[[nodiscard]] QString PicturePattern(PictureSet set);

// The kind of picture the first bytes of a file announce.
[[nodiscard]] PictureKind SniffPictureKind(const QByteArray &head);

// HIMETRIC to pixels at a resolution (twips per pixel), rounded halves to even; and back.
[[nodiscard]] std::int32_t ScaleHimetricToPixels(std::int32_t himetric, float twipsPerPixel);
[[nodiscard]] std::int32_t ScalePixelsToHimetric(std::int32_t pixels, float twipsPerPixel);

// Kind and natural size from the file's header, without decoding.
[[nodiscard]] std::optional<PictureInfo> ReadPictureInfo(const QString &path, float twipsPerPixelX,
                                                         float twipsPerPixelY, PictureError *error = nullptr);

[[nodiscard]] std::optional<Picture> LoadPicture(const QString &path, const PictureRequest &request,
                                                 PictureError *error = nullptr);

// The same from bytes in memory, or from any readable device.
[[nodiscard]] std::optional<Picture> LoadPictureData(const QByteArray &bytes, const PictureRequest &request,
                                                     PictureError *error = nullptr);
[[nodiscard]] std::optional<Picture> LoadPictureFrom(QIODevice &device, const PictureRequest &request,
                                                     PictureError *error = nullptr);

// A metafile as SVG, for drawing it as vectors (on a printer page). Nothing when the file is not a
// metafile or the converter fails.
[[nodiscard]] std::optional<QByteArray> LoadMetafileSvg(const QString &path, PictureError *error = nullptr);

// Loads several pictures on all cores; results come in the order of the paths.
[[nodiscard]] QFuture<std::optional<Picture>> LoadPicturesAsync(const QStringList &paths,
                                                                const PictureRequest &request);

// Hands a decoded picture back when it is no longer shown, so that the next full-size decode of
// the same size reuses its memory instead of asking the system for fresh (zeroed) pages.
void RecyclePicture(Picture &&picture);
// Lets go of the buffer kept for reuse.
void ReleaseSparePicture();

// The metafile converter program; VANTREL_METAFILE_HELPER overrides where it is looked for.
[[nodiscard]] QString MetafileHelperPath();
// The program that decodes HEIF, AVIF, JPEG XL and TIFF; VANTREL_PICTURE_HELPER overrides it.
[[nodiscard]] QString PictureHelperPath();
