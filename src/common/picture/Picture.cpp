// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/Picture.h"

#include "common/FileNames.h"
#include "common/picture/MetafileFormat.h"
#include "common/picture/MetafileHelperPool.h"
#include "common/picture/MetafileHelperProtocol.h"
#include "common/picture/PngDecode.h"
#include "common/picture/RasterDecode.h"
#include "common/picture/SealedMemory.h"
#include "common/picture/SvgModule.h"
#include "common/platform/Modules.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutex>
#include <QtConcurrent/QtConcurrentMap>

#include <cerrno>
#include <cmath>
#include <cstring>

#include <memory>
#include <mutex>

#include <webp/decode.h>

#include <sys/mman.h>
#include <sys/sendfile.h>
#include <unistd.h>

namespace {

constexpr qint64 kMaxMetafileBytes = 64ll << 20;
// The helper takes no larger file of the raster formats it decodes.
constexpr qint64 kMaxHelperPictureBytes = 256ll << 20;
constexpr qint64 kMaxSvgBytes = 64ll << 20;
// How long a helper may take. A conversion or decode that runs away is stopped by the helper's own
// limit of CPU seconds; these end a helper that has stopped working altogether. A picture's decode
// is given more because a busy machine stretches the second and a half a 12 MP HEIC takes alone
// to well over five.
constexpr int kHelperTimeLimitMs = 5000;
constexpr int kHelperDecodeTimeLimitMs = 20000;
constexpr std::uint64_t kHelperMemoryLimit = 768u << 20;

// Qt refuses to allocate images above 128 MB; a full decode within the limits needs up to
// 100 megapixels x 4 bytes.
void raiseAllocationLimitOnce()
{
    static const bool done = [] {
        QImageReader::setAllocationLimit(400);
        return true;
    }();
    Q_UNUSED(done);
}

// The format is known from the content already. A file opened by descriptor has no name, so a
// reader left to find its handler itself would load every image plugin installed (and their
// libraries: TIFF, MNG, colour management...) to ask each in turn, on the first picture's way to
// the screen.
void useFormatOnly(QImageReader &reader)
{
    reader.setAutoDetectImageFormat(false);
}

QByteArray formatName(PictureKind kind)
{
    switch (kind) {
    case PictureKind::Bitmap:
        return QByteArrayLiteral("bmp");
    case PictureKind::Jpeg:
        return QByteArrayLiteral("jpeg");
    case PictureKind::Gif:
        return QByteArrayLiteral("gif");
    case PictureKind::Png:
        return QByteArrayLiteral("png");
    case PictureKind::WebP:
        return QByteArrayLiteral("webp");
    default:
        return {};
    }
}

bool withinLimits(qint64 width, qint64 height)
{
    return width > 0 && height > 0 && width <= PictureLimits::maxSide && height <= PictureLimits::maxSide &&
           width * height <= PictureLimits::maxPixels;
}

void setError(PictureError *error, PictureError value)
{
    if (error != nullptr) {
        *error = value;
    }
}

struct OpenedPicture
{
    PictureInfo info;
    QByteArray head;
    QSize storedSize; // raster: the size as stored, before the EXIF orientation is applied
    // PNG and WebP: the EXIF orientation (1 to 8), applied here rather than by the reader.
    int orientation = 1;
    // A still WebP: the whole file, read once.
    QByteArray contents;
    // Decoded in the helper: the whole file, read once into a sealed memory file it maps.
    std::shared_ptr<const int> helperFile;
};

std::uint32_t readBig32(const unsigned char *b)
{
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}

std::uint32_t readLittle32(const unsigned char *b)
{
    return (std::uint32_t(b[3]) << 24) | (std::uint32_t(b[2]) << 16) | (std::uint32_t(b[1]) << 8) | b[0];
}

// The orientation tag of IFD 0 in an EXIF block (with or without its "Exif" prefix); 1 when there
// is none or the block is damaged.
int exifOrientation(QByteArray exif)
{
    if (exif.startsWith(QByteArrayLiteral("Exif\0\0"))) {
        exif.remove(0, 6);
    }
    return TiffBlockOrientation(reinterpret_cast<const unsigned char *>(exif.constData()),
                                static_cast<std::size_t>(exif.size()));
}

// The frames an animated PNG announces (its acTL chunk before the picture data); 1 for a still one.
int pngFrameCount(QIODevice &file)
{
    int frames = 1;
    qint64 at = 8;
    const qint64 size = file.size();
    for (int chunk = 0; chunk < 4096 && at + 8 <= size; ++chunk) {
        unsigned char h[16];
        if (!file.seek(at) || file.read(reinterpret_cast<char *>(h), 16) < 8) {
            break;
        }
        const std::uint32_t length = readBig32(h);
        const QByteArray type(reinterpret_cast<const char *>(h + 4), 4);
        if (type == "IDAT" || type == "IEND" || length > 0x7FFFFFFFu) {
            break;
        }
        if (type == "acTL" && length == 8) {
            frames = static_cast<int>(std::clamp<std::uint32_t>(readBig32(h + 8), 1, 10000));
            break;
        }
        at += 12 + qint64(length);
    }
    file.seek(0);
    return frames;
}

// The EXIF block of a PNG (its eXIf chunk before the picture data) or of a WebP (its EXIF chunk),
// found by walking the chunks without reading their data; empty when there is none.
QByteArray containerExif(QIODevice &file, PictureKind kind)
{
    constexpr qint64 kMaxExif = 1 << 20;
    QByteArray found;
    const qint64 size = file.size();
    if (kind == PictureKind::Png) {
        qint64 at = 8;
        for (int chunk = 0; chunk < 4096 && at + 8 <= size; ++chunk) {
            unsigned char h[8];
            if (!file.seek(at) || file.read(reinterpret_cast<char *>(h), 8) != 8) {
                break;
            }
            const std::uint32_t length = readBig32(h);
            const QByteArray type(reinterpret_cast<const char *>(h + 4), 4);
            if (type == "IDAT" || type == "IEND" || length > 0x7FFFFFFFu) {
                break;
            }
            if (type == "eXIf") {
                if (length <= kMaxExif) {
                    found = file.read(length);
                }
                break;
            }
            at += 12 + qint64(length);
        }
    } else if (kind == PictureKind::WebP) {
        qint64 at = 12;
        for (int chunk = 0; chunk < 4096 && at + 8 <= size; ++chunk) {
            unsigned char h[8];
            if (!file.seek(at) || file.read(reinterpret_cast<char *>(h), 8) != 8) {
                break;
            }
            const std::uint32_t length = readLittle32(h + 4);
            if (QByteArray(reinterpret_cast<const char *>(h), 4) == "EXIF") {
                if (length <= kMaxExif) {
                    found = file.read(length);
                }
                break;
            }
            at += 8 + qint64(length) + (length & 1);
        }
    }
    file.seek(0);
    return found;
}

// A picture as stored turned upright as an EXIF orientation says.
QImage orientImage(const QImage &image, int orientation)
{
    switch (orientation) {
    case 2:
        return image.mirrored(true, false);
    case 3:
        return image.mirrored(true, true);
    case 4:
        return image.mirrored(false, true);
    case 5:
        return image.transformed(QTransform().rotate(90)).mirrored(true, false);
    case 6:
        return image.transformed(QTransform().rotate(90));
    case 7:
        return image.transformed(QTransform().rotate(270)).mirrored(true, false);
    case 8:
        return image.transformed(QTransform().rotate(270));
    default:
        return image;
    }
}

std::uint32_t helperKind(PictureKind kind)
{
    namespace P = MetafileHelperProtocol;
    return kind == PictureKind::JpegXl ? P::kJpegXl : kind == PictureKind::Tiff ? P::kTiff : P::kHeif;
}

MetafileHelperLimits helperLimits();

// The file's bytes in a sealed memory file that the helper maps: read once, never copied again.
std::shared_ptr<const int> sealedCopy(QIODevice &file, PictureError *error)
{
    const qint64 size = file.size();
    if (size > kMaxHelperPictureBytes) {
        setError(error, PictureError::TooLarge);
        return {};
    }
    const int fd = size > 0 ? SealedMemory::Create(static_cast<std::size_t>(size)) : -1;
    if (fd < 0) {
        setError(error, PictureError::Damaged);
        return {};
    }
    std::shared_ptr<const int> owned(new int(fd), [](const int *p) {
        ::close(*p);
        delete p;
    });
    qint64 done = 0;
    // A file on disk is copied by the kernel, page cache to memory file: through a mapping, each
    // of its thousands of pages would first cost a fault (on a virtual machine, more than the copy).
    auto *onDisk = qobject_cast<QFile *>(&file);
    const int from = onDisk != nullptr ? onDisk->handle() : -1;
    if (from >= 0) {
        off_t at = 0;
        while (done < size) {
            const ssize_t n = ::sendfile(fd, from, &at, static_cast<std::size_t>(size - done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            done += n;
        }
    }
    if (done == 0) {
        void *map = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (map == MAP_FAILED) {
            setError(error, PictureError::TooLarge);
            return {};
        }
        file.seek(0);
        while (done < size) {
            const qint64 n = file.read(static_cast<char *>(map) + done, size - done);
            if (n <= 0) {
                break;
            }
            done += n;
        }
        ::munmap(map, static_cast<std::size_t>(size));
    }
    // A file cut short meanwhile is decoded as far as it goes (most likely as damaged).
    if (done == 0 || (done < size && ::ftruncate(fd, done) != 0) || !SealedMemory::Seal(fd)) {
        setError(error, PictureError::Damaged);
        return {};
    }
    return owned;
}

struct HelperPixels
{
    QSize natural;
    QSize drawSize; // the box it was decoded for (empty: natural size)
    QImage image;   // null for the size only
};

struct PixelMapping
{
    void *base = nullptr;
    std::size_t length = 0;
};

void unmapPixels(void *mapping)
{
    const std::unique_ptr<PixelMapping> owned(static_cast<PixelMapping *>(mapping));
    ::munmap(owned->base, owned->length);
}

// Asks the helper for the picture fitted in `box` (empty: natural size), or in the box
// `drawSizeFor` gives for its natural size, or for the size only.
std::optional<HelperPixels> askHelper(const OpenedPicture &opened, QSize box, bool sizeOnly,
                                      const std::function<QSize(QSize natural)> &drawSizeFor, PictureError *error)
{
    namespace P = MetafileHelperProtocol;
    if (!opened.helperFile) {
        setError(error, PictureError::Damaged);
        return std::nullopt;
    }
    const auto boxWord = [](int side, bool sized) { return sized ? static_cast<std::uint32_t>(side) : 0u; };
    HelperPixels pixels;
    RasterCall call;
    call.kind = helperKind(opened.info.kind);
    call.file = *opened.helperFile;
    bool sized = box.isValid() && !box.isEmpty();
    call.boxWidth = boxWord(box.width(), sized);
    call.boxHeight = boxWord(box.height(), sized);
    call.flags = sizeOnly ? P::kSizeOnly : 0;
    QSize askedNatural;
    if (!sizeOnly && !sized && drawSizeFor) {
        call.flags |= P::kBoxLater;
        call.boxFor = [&](std::uint32_t nw, std::uint32_t nh, std::uint32_t &bw, std::uint32_t &bh) {
            if (!withinLimits(nw, nh)) {
                return false;
            }
            askedNatural = QSize(static_cast<int>(nw), static_cast<int>(nh));
            box = drawSizeFor(askedNatural);
            sized = box.isValid() && !box.isEmpty();
            bw = boxWord(box.width(), sized);
            bh = boxWord(box.height(), sized);
            return true;
        };
    }
    bool tooLarge = false;
    MetafileHelperLimits limits = helperLimits();
    limits.timeLimitMs = kHelperDecodeTimeLimitMs;
    const auto reply = DecodeInHelper(PictureHelperPath(), call, limits, &tooLarge);
    if (!reply) {
        setError(error, tooLarge ? PictureError::TooLarge : PictureError::Damaged);
        return std::nullopt;
    }
    const int pixelFile = reply->pixels;
    const std::unique_ptr<const int, void (*)(const int *)> closer(&pixelFile, [](const int *fd) {
        if (*fd >= 0) {
            ::close(*fd);
        }
    });
    const std::uint32_t nw = reply->words[0];
    const std::uint32_t nh = reply->words[1];
    const std::uint32_t w = reply->words[2];
    const std::uint32_t h = reply->words[3];
    // The helper is not trusted either: what it says must fit the limits, the box and what it
    // said before. (The pool checked that the memory file holds exactly w x h pixels.)
    const bool fits =
        !sized || (w <= static_cast<std::uint32_t>(box.width()) && h <= static_cast<std::uint32_t>(box.height()));
    if (!withinLimits(nw, nh) || w > nw || h > nh || !fits ||
        (askedNatural.isValid() && askedNatural != QSize(static_cast<int>(nw), static_cast<int>(nh))) ||
        (sizeOnly ? (w != 0 || h != 0 || pixelFile >= 0) : (w == 0 || h == 0 || pixelFile < 0))) {
        setError(error, PictureError::Damaged);
        return std::nullopt;
    }
    pixels.natural = QSize(static_cast<int>(nw), static_cast<int>(nh));
    pixels.drawSize = sized ? box : QSize();
    if (sizeOnly) {
        return pixels;
    }
    // The pixels stay where the helper put them (a full-size picture is hundreds of megabytes),
    // mapped privately: sealed, they can no longer change or shrink under the image.
    auto mapping = std::make_unique<PixelMapping>();
    mapping->length = static_cast<std::size_t>(w) * h * 4;
    mapping->base = ::mmap(nullptr, mapping->length, PROT_READ | PROT_WRITE, MAP_PRIVATE, pixelFile, 0);
    if (mapping->base == MAP_FAILED) {
        setError(error, PictureError::TooLarge);
        return std::nullopt;
    }
    const bool alpha = (reply->words[4] & P::kHasAlpha) != 0;
    auto *bits = static_cast<uchar *>(mapping->base);
    PixelMapping *owned = mapping.release();
    pixels.image = QImage(bits, static_cast<int>(w), static_cast<int>(h), qsizetype(w) * 4,
                          alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32, unmapPixels, owned);
    if (pixels.image.isNull()) {
        unmapPixels(owned);
        setError(error, PictureError::TooLarge);
        return std::nullopt;
    }
    return pixels;
}

// `sizeFromDecode`: a picture the helper decodes learns its size with its pixels (one request, not
// two); its info is then filled in by the decode.
std::optional<OpenedPicture> openPicture(QIODevice &file, float tppX, float tppY, PictureError *error,
                                         bool sizeFromDecode = false)
{
    if (!file.isOpen() && !file.open(QIODevice::ReadOnly)) {
        setError(error, PictureError::CannotOpen);
        return std::nullopt;
    }
    OpenedPicture opened;
    opened.head = file.peek(128);
    opened.info.kind = SniffPictureKind(opened.head);
    PictureInfo &info = opened.info;
    switch (info.kind) {
    case PictureKind::Unknown:
        setError(error, PictureError::NotAPicture);
        return std::nullopt;
    case PictureKind::Wmf:
    case PictureKind::Emf: {
        const auto header = ParseMetafileHeader(reinterpret_cast<const unsigned char *>(opened.head.constData()),
                                                static_cast<std::size_t>(opened.head.size()));
        if (!header) {
            setError(error, PictureError::Damaged);
            return std::nullopt;
        }
        info.himetricWidth = header->himetricWidth;
        info.himetricHeight = header->himetricHeight;
        info.pixelSize = QSize(header->pixelWidth(tppX), header->pixelHeight(tppY));
        if (info.pixelSize.isEmpty()) {
            setError(error, PictureError::Damaged);
            return std::nullopt;
        }
        return opened;
    }
    case PictureKind::Tiff:
    case PictureKind::Heif:
    case PictureKind::Avif:
    case PictureKind::JpegXl: {
        opened.helperFile = sealedCopy(file, error);
        if (!opened.helperFile) {
            return std::nullopt;
        }
        if (sizeFromDecode) {
            return opened;
        }
        const auto pixels = askHelper(opened, QSize(), true, {}, error);
        if (!pixels) {
            return std::nullopt;
        }
        info.pixelSize = pixels->natural;
        info.himetricWidth = ScalePixelsToHimetric(info.pixelSize.width(), tppX);
        info.himetricHeight = ScalePixelsToHimetric(info.pixelSize.height(), tppY);
        opened.storedSize = info.pixelSize;
        return opened;
    }
    default:
        break;
    }
    const bool ownOrientation = info.kind == PictureKind::Png || info.kind == PictureKind::WebP;
    if (ownOrientation) {
        opened.orientation = exifOrientation(containerExif(file, info.kind));
    }
    if (info.kind == PictureKind::WebP) {
        // A still WebP is decoded by libwebp itself, which reduces while it decodes; an animated
        // one goes through the reader that plays it.
        if (file.size() > kMaxHelperPictureBytes) {
            setError(error, PictureError::TooLarge);
            return std::nullopt;
        }
        file.seek(0);
        opened.contents = file.readAll();
        WebPBitstreamFeatures features{};
        if (WebPGetFeatures(reinterpret_cast<const std::uint8_t *>(opened.contents.constData()),
                            static_cast<std::size_t>(opened.contents.size()), &features) != VP8_STATUS_OK) {
            setError(error, PictureError::Damaged);
            return std::nullopt;
        }
        if (!withinLimits(features.width, features.height)) {
            setError(error, PictureError::TooLarge);
            return std::nullopt;
        }
        if (features.has_animation == 0) {
            opened.storedSize = QSize(features.width, features.height);
            info.pixelSize = opened.orientation >= 5 ? opened.storedSize.transposed() : opened.storedSize;
            info.himetricWidth = ScalePixelsToHimetric(info.pixelSize.width(), tppX);
            info.himetricHeight = ScalePixelsToHimetric(info.pixelSize.height(), tppY);
            return opened;
        }
        opened.contents.clear();
        file.seek(0);
    }
    QImageReader reader(&file, formatName(info.kind));
    useFormatOnly(reader);
    reader.setAutoTransform(!ownOrientation);
    QSize stored = reader.size();
    if (info.kind == PictureKind::Gif && opened.head.size() >= 10) {
        // The reader reports the first frame's size, but decodes every frame onto the whole
        // logical screen the header declares: that is the picture's size, and what the limits see.
        const auto *b = reinterpret_cast<const unsigned char *>(opened.head.constData());
        stored = stored.expandedTo(QSize(b[6] | (b[7] << 8), b[8] | (b[9] << 8)));
    }
    if (!stored.isValid() || stored.isEmpty()) {
        setError(error, PictureError::Damaged);
        return std::nullopt;
    }
    if (!withinLimits(stored.width(), stored.height())) {
        setError(error, PictureError::TooLarge);
        return std::nullopt;
    }
    opened.storedSize = stored;
    const bool turned = ownOrientation ? opened.orientation >= 5
                                       : reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
    info.pixelSize = turned ? stored.transposed() : stored;
    info.himetricWidth = ScalePixelsToHimetric(info.pixelSize.width(), tppX);
    info.himetricHeight = ScalePixelsToHimetric(info.pixelSize.height(), tppY);
    if (info.kind == PictureKind::Gif || info.kind == PictureKind::WebP) {
        info.frameCount = std::max(1, reader.imageCount());
    } else if (info.kind == PictureKind::Png) {
        info.frameCount = pngFrameCount(file);
    }
    return opened;
}

// The smallest size at or above `draw` (upright) that libjpeg can decode directly: the stored
// size divided by 8, 4, 2 or 1, rounded up. Returned in stored orientation.
QSize jpegDecodeSize(QSize stored, bool rotated, QSize draw)
{
    const QSize want = rotated ? draw.transposed() : draw;
    for (const int denominator : {8, 4, 2}) {
        const QSize scaled((stored.width() + denominator - 1) / denominator,
                           (stored.height() + denominator - 1) / denominator);
        if (scaled.width() >= want.width() && scaled.height() >= want.height()) {
            return scaled;
        }
    }
    return stored;
}

// Fresh memory costs a page fault per 4 KB page, which for a 24-megapixel decode (96 MB) takes
// longer than the decode itself. Large full-size decode buffers are mapped asking for huge pages
// (2 MB), so the kernel fills them with a few hundred faults instead of tens of thousands.
constexpr std::size_t kHugePage = 2u << 20;
constexpr std::size_t kHugeWorthIt = 4u << 20;

struct Mapping
{
    void *base = nullptr;
    std::size_t length = 0;
};

void unmapBuffer(void *info)
{
    const std::unique_ptr<Mapping> mapping(static_cast<Mapping *>(info));
    ::munmap(mapping->base, mapping->length);
}

QImage allocateDecodeBuffer(QSize size, QImage::Format format)
{
    // Only the formats decoders write whole pixels of. A reader asked about a file that is being
    // rewritten under it can answer with a value that is no format at all.
    int depth = 0;
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        depth = 32;
        break;
    case QImage::Format_RGB888:
        depth = 24;
        break;
    case QImage::Format_Grayscale8:
        depth = 8;
        break;
    default:
        return {};
    }
    if (size.isEmpty()) {
        return {};
    }
    const auto bytesPerLine = static_cast<qsizetype>((static_cast<qint64>(size.width()) * depth + 31) / 32 * 4);
    const auto bytes = static_cast<std::size_t>(bytesPerLine) * static_cast<std::size_t>(size.height());
    if (bytes < kHugeWorthIt) {
        return {};
    }
    auto mapping = std::make_unique<Mapping>();
    mapping->length = bytes + kHugePage;
    mapping->base = ::mmap(nullptr, mapping->length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping->base == MAP_FAILED) {
        return {};
    }
    const auto start = (reinterpret_cast<std::uintptr_t>(mapping->base) + kHugePage - 1) & ~(kHugePage - 1);
    auto *aligned = reinterpret_cast<uchar *>(start);
    ::madvise(aligned, bytes, MADV_HUGEPAGE);
    Mapping *owned = mapping.release();
    return QImage(aligned, size.width(), size.height(), bytesPerLine, format, unmapBuffer, owned);
}

QMutex g_spareMutex;
QImage g_spare;

// How much of a reused buffer a decoder writes.
enum class Coverage {
    // Every pixel whenever it succeeds: libjpeg gives every row, a file that ends early or is
    // damaged included (its missing data decodes as grey), and a decode that fails is dropped.
    EveryPixel,
    // A file that ends early can leave rows unwritten (a BMP, a PNG, a GIF).
    MaybePartial,
};

QImage takeSpare(QSize size, QImage::Format format, Coverage coverage)
{
    QImage spare;
    {
        QMutexLocker lock(&g_spareMutex);
        if (g_spare.size() != size || g_spare.format() != format) {
            return {};
        }
        spare = std::exchange(g_spare, QImage());
    }
    // Rows a decoder leaves unwritten must read as in a fresh buffer (zero), never as the last
    // picture's pixels. Clearing is a pass over the whole buffer (48 MB at 12 megapixels), so it
    // is done only where a decoder may leave some.
    if (coverage == Coverage::MaybePartial) {
        spare.fill(0);
    }
    return spare;
}

// A still WebP through libwebp, reduced while decoding to the size drawn (in stored orientation).
std::optional<QImage> decodeWebp(const OpenedPicture &opened, const PictureRequest &request, PictureError *error)
{
    QSize decode = opened.storedSize;
    if (request.drawSize.isValid() && !request.drawSize.isEmpty()) {
        const QSize want = opened.orientation >= 5 ? request.drawSize.transposed() : request.drawSize;
        if (want.width() < decode.width() && want.height() < decode.height()) {
            decode = decode.scaled(want, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        }
    }
    WebPDecoderConfig config;
    if (WebPInitDecoderConfig(&config) == 0) {
        setError(error, PictureError::Damaged);
        return std::nullopt;
    }
    const auto *data = reinterpret_cast<const std::uint8_t *>(opened.contents.constData());
    const auto size = static_cast<std::size_t>(opened.contents.size());
    if (WebPGetFeatures(data, size, &config.input) != VP8_STATUS_OK) {
        setError(error, PictureError::Damaged);
        return std::nullopt;
    }
    const bool alpha = config.input.has_alpha != 0;
    const QImage::Format format = alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    QImage image = takeSpare(decode, format, Coverage::MaybePartial);
    if (image.isNull() && decode == opened.storedSize) {
        image = allocateDecodeBuffer(decode, format);
    }
    if (image.isNull()) {
        image = QImage(decode, format);
    }
    if (image.isNull()) {
        setError(error, PictureError::TooLarge);
        return std::nullopt;
    }
    if (decode != opened.storedSize) {
        config.options.use_scaling = 1;
        config.options.scaled_width = decode.width();
        config.options.scaled_height = decode.height();
        // Shown at a quarter or less (a thumbnail), the smoothing of block edges and of the
        // colour planes cannot be seen, and costs a third of the decode.
        if (decode.width() * 4 <= opened.storedSize.width() && decode.height() * 4 <= opened.storedSize.height()) {
            config.options.bypass_filtering = 1;
            config.options.no_fancy_upsampling = 1;
        }
    }
    // Bytes in the order of the image's 32-bit words, alpha premultiplied as the image keeps it.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    config.output.colorspace = alpha ? MODE_bgrA : MODE_BGRA;
#else
    config.output.colorspace = alpha ? MODE_Argb : MODE_ARGB;
#endif
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = static_cast<int>(image.bytesPerLine());
    config.output.u.RGBA.size = static_cast<std::size_t>(image.sizeInBytes());
    const VP8StatusCode status = WebPDecode(data, size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) {
        setError(error, PictureError::Damaged);
        return std::nullopt;
    }
    if (opened.orientation != 1) {
        return orientImage(image, opened.orientation);
    }
    return image;
}

// A PNG through libpng, read from the file a row at a time and reduced as it comes to the size
// drawn (in stored orientation): a thumbnail never holds the picture at its natural size.
std::optional<QImage> decodePng(QIODevice &file, const OpenedPicture &opened, const PictureRequest &request,
                                PictureError *error)
{
    PngRequest png;
    if (request.drawSize.isValid() && !request.drawSize.isEmpty()) {
        const QSize want = opened.orientation >= 5 ? request.drawSize.transposed() : request.drawSize;
        png.boxWidth = static_cast<std::uint32_t>(want.width());
        png.boxHeight = static_cast<std::uint32_t>(want.height());
    }
    file.seek(0);
    png.read = [&file](unsigned char *into, std::size_t size) -> std::size_t {
        const qint64 n = file.read(reinterpret_cast<char *>(into), static_cast<qint64>(size));
        return n > 0 ? static_cast<std::size_t>(n) : 0;
    };
    QImage image;
    png.allocate = [&image, &opened](std::uint32_t w, std::uint32_t h, bool alpha) -> std::uint32_t * {
        const QSize size(static_cast<int>(w), static_cast<int>(h));
        const QImage::Format format = alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
        // Every pixel is written when the decode succeeds, and the image is dropped when it fails.
        image = takeSpare(size, format, Coverage::EveryPixel);
        if (image.isNull() && size == opened.storedSize) {
            image = allocateDecodeBuffer(size, format);
        }
        if (image.isNull()) {
            image = QImage(size, format);
        }
        if (image.isNull() || image.bytesPerLine() != static_cast<qsizetype>(w) * 4) {
            return nullptr;
        }
        return reinterpret_cast<std::uint32_t *>(image.bits());
    };
    RasterLimits limits;
    limits.maxSide = PictureLimits::maxSide;
    limits.maxPixels = PictureLimits::maxPixels;
    RasterFailure failure = RasterFailure::None;
    if (!DecodePng(png, limits, &failure)) {
        setError(error, failure == RasterFailure::TooLarge ? PictureError::TooLarge : PictureError::Damaged);
        return std::nullopt;
    }
    if (opened.orientation != 1) {
        return orientImage(image, opened.orientation);
    }
    return image;
}

std::optional<QImage> decodeRaster(QIODevice &file, const OpenedPicture &opened, const PictureRequest &request,
                                   PictureError *error)
{
    if (opened.info.kind == PictureKind::WebP && !opened.contents.isEmpty()) {
        return decodeWebp(opened, request, error);
    }
    if (opened.info.kind == PictureKind::Png) {
        return decodePng(file, opened, request, error);
    }
    raiseAllocationLimitOnce();
    file.seek(0);
    const bool ownOrientation = opened.info.kind == PictureKind::Png || opened.info.kind == PictureKind::WebP;
    QImageReader reader(&file, formatName(opened.info.kind));
    useFormatOnly(reader);
    reader.setAutoTransform(!ownOrientation);
    const bool rotated = ownOrientation ? opened.orientation >= 5
                                        : reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
    const bool sized = request.drawSize.isValid() && !request.drawSize.isEmpty();
    QSize decode = opened.storedSize;
    if (opened.info.kind == PictureKind::Jpeg && sized) {
        decode = jpegDecodeSize(opened.storedSize, rotated, request.drawSize);
        if (decode != opened.storedSize) {
            reader.setScaledSize(decode);
        }
    } else if (opened.info.kind == PictureKind::WebP && sized) {
        // An animation's first frame, at the size it is shown (as its next frames will be).
        const QSize want = rotated ? request.drawSize.transposed() : request.drawSize;
        if (want.width() < decode.width() && want.height() < decode.height()) {
            decode = decode.scaled(want, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
            reader.setScaledSize(decode);
        }
    }
    const QImage::Format format = reader.imageFormat();
    QImage image = takeSpare(decode, format,
                             opened.info.kind == PictureKind::Jpeg ? Coverage::EveryPixel : Coverage::MaybePartial);
    // A reduced decode takes ordinary memory, which the allocator hands from one picture to the
    // next already mapped; a fresh mapping each time would cost a fault per page at every picture.
    if (image.isNull() && decode == opened.storedSize) {
        image = allocateDecodeBuffer(decode, format);
    }
    if (!reader.read(&image) || image.isNull()) {
        setError(error, PictureError::Damaged);
        return std::nullopt;
    }
    if (ownOrientation && opened.orientation != 1) {
        return orientImage(image, opened.orientation);
    }
    return image;
}

// A picture the helper decodes: its size and pixels in one request.
std::optional<Picture> loadInHelper(const OpenedPicture &opened, const PictureRequest &request, PictureError *error)
{
    const bool sized = request.drawSize.isValid() && !request.drawSize.isEmpty();
    auto pixels = askHelper(opened, request.drawSize, false, sized ? nullptr : request.drawSizeFor, error);
    if (!pixels) {
        return std::nullopt;
    }
    PictureInfo info = opened.info;
    info.pixelSize = pixels->natural;
    info.himetricWidth = ScalePixelsToHimetric(info.pixelSize.width(), request.twipsPerPixelX);
    info.himetricHeight = ScalePixelsToHimetric(info.pixelSize.height(), request.twipsPerPixelY);
    return Picture{info, sized ? request.drawSize : pixels->drawSize, std::move(pixels->image)};
}

QSize fitInto(QSize natural, QSize box)
{
    if (!box.isValid() || box.isEmpty()) {
        return natural;
    }
    return natural.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

MetafileHelperLimits helperLimits()
{
    MetafileHelperLimits limits;
    limits.timeLimitMs = kHelperTimeLimitMs;
    limits.maxSvgBytes = kMaxSvgBytes;
    limits.memoryBytes = kHelperMemoryLimit;
    return limits;
}

std::optional<QByteArray> runMetafileHelper(PictureKind kind, const QByteArray &metafile)
{
    return ConvertInMetafileHelper(MetafileHelperPath(),
                                   kind == PictureKind::Wmf ? MetafileKind::Wmf : MetafileKind::Emf, metafile,
                                   helperLimits());
}

// The whole metafile, converted in the helper process.
std::optional<QByteArray> metafileSvg(QIODevice &file, PictureKind kind, PictureError *error)
{
    if (file.size() > kMaxMetafileBytes) {
        setError(error, PictureError::TooLarge);
        return std::nullopt;
    }
    file.seek(0);
    auto svg = runMetafileHelper(kind, file.readAll());
    if (!svg) {
        setError(error, PictureError::Damaged);
    }
    return svg;
}

std::optional<QImage> drawMetafile(QIODevice &file, const OpenedPicture &opened, const PictureRequest &request,
                                   PictureError *error)
{
    const QSize target = fitInto(opened.info.pixelSize, request.drawSize);
    if (!withinLimits(target.width(), target.height())) {
        setError(error, PictureError::TooLarge);
        return std::nullopt;
    }
    const auto svg = metafileSvg(file, opened.info.kind, error);
    if (!svg) {
        return std::nullopt;
    }
    QString why;
    const auto *module =
        static_cast<const SvgModule *>(LoadModule(kSvgModuleFile, kSvgModuleSymbol, kSvgModuleVersion, &why));
    if (module == nullptr) {
        // Once: every metafile after would say the same.
        static std::once_flag told;
        std::call_once(told, [&why] { qWarning("Metafiles cannot be drawn: %s", qUtf8Printable(why)); });
        setError(error, PictureError::Damaged);
        return std::nullopt;
    }
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        setError(error, PictureError::TooLarge);
        return std::nullopt;
    }
    image.fill(Qt::transparent);
    if (!module->draw(*svg, image)) {
        setError(error, PictureError::Damaged);
        return std::nullopt;
    }
    return image;
}

// Opens the file by the path's own bytes, and only a regular file: a FIFO or device put in a
// picture's place would otherwise block the reader.
bool openRegular(QFile &file, const QString &path)
{
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

} // namespace

namespace {

constexpr const char *kOriginalExtensions[] = {"bmp", "jpg", "jpeg", "gif", "wmf", "emf"};
constexpr const char *kOtherExtensions[] = {"png", "apng", "webp", "tif", "tiff", "heic", "heif", "hif", "avif", "jxl"};

QStringList filtersFor(PictureSet set)
{
    QStringList filters;
    for (const char *ext : kOriginalExtensions) {
        filters.append(QStringLiteral("*.") + QLatin1String(ext));
    }
    if (set == PictureSet::All) {
        for (const char *ext : kOtherExtensions) {
            filters.append(QStringLiteral("*.") + QLatin1String(ext));
        }
    }
    return filters;
}

} // namespace

bool HasPictureExtension(const QString &fileName, PictureSet set)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        return false;
    }
    const QStringView ext = QStringView(fileName).mid(dot + 1);
    for (const char *known : kOriginalExtensions) {
        if (ext.compare(QLatin1String(known), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    if (set == PictureSet::All) {
        for (const char *known : kOtherExtensions) {
            if (ext.compare(QLatin1String(known), Qt::CaseInsensitive) == 0) {
                return true;
            }
        }
    }
    return false;
}

const QStringList &PictureNameFilters(PictureSet set)
{
    static const QStringList original = filtersFor(PictureSet::Original);
    static const QStringList all = filtersFor(PictureSet::All);
    return set == PictureSet::All ? all : original;
}

QString PicturePattern(PictureSet set)
{
    return PictureNameFilters(set).join(QLatin1Char(';'));
}

PictureKind SniffPictureKind(const QByteArray &head)
{
    const auto *b = reinterpret_cast<const unsigned char *>(head.constData());
    const qsizetype n = head.size();
    if (n >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) {
        return PictureKind::Jpeg;
    }
    if (n >= 6 && (head.startsWith("GIF87a") || head.startsWith("GIF89a"))) {
        return PictureKind::Gif;
    }
    if (n >= 14 && b[0] == 'B' && b[1] == 'M') {
        return PictureKind::Bitmap;
    }
    if (n >= 4 && b[0] == 0xD7 && b[1] == 0xCD && b[2] == 0xC6 && b[3] == 0x9A) {
        return PictureKind::Wmf;
    }
    if (n >= 44 && b[0] == 1 && b[1] == 0 && b[2] == 0 && b[3] == 0 && head.mid(40, 4) == " EMF") {
        return PictureKind::Emf;
    }
    if (n >= 8 && head.startsWith("\x89PNG\r\n\x1a\n")) {
        return PictureKind::Png;
    }
    if (n >= 16 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP") {
        return PictureKind::WebP;
    }
    if (n >= 8 && (head.startsWith(QByteArrayLiteral("II*\0")) || head.startsWith(QByteArrayLiteral("MM\0*")) ||
                   head.startsWith(QByteArrayLiteral("II+\0")) || head.startsWith(QByteArrayLiteral("MM\0+")))) {
        return PictureKind::Tiff;
    }
    if ((n >= 2 && b[0] == 0xFF && b[1] == 0x0A) ||
        (n >= 12 && head.startsWith(QByteArrayLiteral("\0\0\0\x0cJXL \r\n\x87\n")))) {
        return PictureKind::JpegXl;
    }
    if (n >= 16 && head.mid(4, 4) == "ftyp") {
        // The brands of the file-type box: AVIF's, or any of HEIF's (the HEVC ones and the
        // general image brands), the major one first.
        const qsizetype boxSize = qsizetype(readBig32(b));
        const qsizetype end = std::min(n, boxSize < 16 ? qsizetype(16) : boxSize);
        bool heif = false;
        for (qsizetype at = 8; at + 4 <= end; at += 4) {
            if (at == 12) {
                continue; // the minor version
            }
            const QByteArray brand = head.mid(at, 4);
            if (brand == "avif" || brand == "avis") {
                return PictureKind::Avif;
            }
            for (const char *known : {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"}) {
                heif = heif || brand == known;
            }
        }
        if (heif) {
            return PictureKind::Heif;
        }
    }
    return PictureKind::Unknown;
}

std::int32_t ScaleHimetricToPixels(std::int32_t himetric, float twipsPerPixel)
{
    return HimetricToPixels(himetric, twipsPerPixel);
}

std::int32_t ScalePixelsToHimetric(std::int32_t pixels, float twipsPerPixel)
{
    return PixelsToHimetric(pixels, twipsPerPixel);
}

std::optional<PictureInfo> ReadPictureInfo(const QString &path, float twipsPerPixelX, float twipsPerPixelY,
                                           PictureError *error)
{
    setError(error, PictureError::None);
    QFile file;
    if (!openRegular(file, path)) {
        setError(error, PictureError::CannotOpen);
        return std::nullopt;
    }
    const auto opened = openPicture(file, twipsPerPixelX, twipsPerPixelY, error);
    if (!opened) {
        return std::nullopt;
    }
    return opened->info;
}

std::optional<Picture> LoadPicture(const QString &path, const PictureRequest &request, PictureError *error)
{
    QFile file;
    if (!openRegular(file, path)) {
        setError(error, PictureError::CannotOpen);
        return std::nullopt;
    }
    return LoadPictureFrom(file, request, error);
}

std::optional<Picture> LoadPictureData(const QByteArray &bytes, const PictureRequest &request, PictureError *error)
{
    QBuffer buffer;
    buffer.setData(bytes);
    return LoadPictureFrom(buffer, request, error);
}

std::optional<Picture> LoadPictureFrom(QIODevice &file, const PictureRequest &request, PictureError *error)
{
    setError(error, PictureError::None);
    const auto opened = openPicture(file, request.twipsPerPixelX, request.twipsPerPixelY, error, true);
    if (!opened) {
        return std::nullopt;
    }
    if (opened->info.isHelperDecoded()) {
        return loadInHelper(*opened, request, error);
    }
    PictureRequest sized = request;
    if (sized.drawSize.isEmpty() && sized.drawSizeFor) {
        sized.drawSize = sized.drawSizeFor(opened->info.pixelSize);
    }
    const auto image = opened->info.isMetafile() ? drawMetafile(file, *opened, sized, error)
                                                 : decodeRaster(file, *opened, sized, error);
    if (!image) {
        return std::nullopt;
    }
    return Picture{opened->info, sized.drawSize, *image};
}

std::optional<QByteArray> LoadMetafileSvg(const QString &path, PictureError *error)
{
    setError(error, PictureError::None);
    QFile file;
    if (!openRegular(file, path)) {
        setError(error, PictureError::CannotOpen);
        return std::nullopt;
    }
    const auto opened = openPicture(file, 15, 15, error);
    if (!opened) {
        return std::nullopt;
    }
    if (!opened->info.isMetafile()) {
        setError(error, PictureError::NotAPicture);
        return std::nullopt;
    }
    return metafileSvg(file, opened->info.kind, error);
}

QFuture<std::optional<Picture>> LoadPicturesAsync(const QStringList &paths, const PictureRequest &request)
{
    return QtConcurrent::mapped(QStringList(paths),
                                [request](const QString &path) { return LoadPicture(path, request); });
}

void RecyclePicture(Picture &&picture)
{
    QImage image = std::move(picture.image);
    // Only a buffer nobody else shares can be written into again.
    if (image.isNull() || !image.isDetached()) {
        return;
    }
    QMutexLocker lock(&g_spareMutex);
    g_spare = std::move(image);
}

namespace {

// Beside the program (a build folder), else where the package installs it.
QString helperProgram(const char *variable, const QString &name)
{
    const QString overridden = qEnvironmentVariable(variable);
    if (!overridden.isEmpty()) {
        return overridden;
    }
    const QString beside = QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
    if (QFileInfo(beside).isExecutable()) {
        return beside;
    }
    const QString installed = QStringLiteral(VANTREL_LIBEXECDIR "/vantrel-viewer/") + name;
    if (QFileInfo(installed).isExecutable()) {
        return installed;
    }
    return {};
}

} // namespace

QString MetafileHelperPath()
{
    return helperProgram("VANTREL_METAFILE_HELPER", QStringLiteral("vantrel-metafile-helper"));
}

QString PictureHelperPath()
{
    return helperProgram("VANTREL_PICTURE_HELPER", QStringLiteral("vantrel-picture-helper"));
}

void ReleaseSparePicture()
{
    const QMutexLocker lock(&g_spareMutex);
    g_spare = QImage();
}
