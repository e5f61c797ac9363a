#include "common/picture/Picture.h"

#include "common/FileNames.h"
#include "common/picture/MetafileFormat.h"
#include "common/picture/MetafileHelperPool.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutex>
#include <QPainter>
#include <QSvgRenderer>
#include <QtConcurrent/QtConcurrentMap>

#include <cmath>

#include <memory>

#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr qint64 kMaxMetafileBytes = 64ll << 20;
constexpr qint64 kMaxSvgBytes = 64ll << 20;
constexpr int kHelperTimeLimitMs = 5000;
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

QByteArray formatName(PictureKind kind)
{
    switch (kind) {
    case PictureKind::Bitmap:
        return QByteArrayLiteral("bmp");
    case PictureKind::Jpeg:
        return QByteArrayLiteral("jpeg");
    case PictureKind::Gif:
        return QByteArrayLiteral("gif");
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
};

std::optional<OpenedPicture> openPicture(QIODevice &file, float tppX, float tppY, PictureError *error)
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
    default:
        break;
    }
    QImageReader reader(&file, formatName(info.kind));
    reader.setAutoTransform(true);
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
    info.pixelSize =
        reader.transformation().testFlag(QImageIOHandler::TransformationRotate90) ? stored.transposed() : stored;
    info.himetricWidth = ScalePixelsToHimetric(info.pixelSize.width(), tppX);
    info.himetricHeight = ScalePixelsToHimetric(info.pixelSize.height(), tppY);
    if (info.kind == PictureKind::Gif) {
        info.frameCount = std::max(1, reader.imageCount());
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
// longer than the decode itself. Large decode buffers are mapped asking for huge pages (2 MB), so
// the kernel fills them with a few hundred faults instead of tens of thousands.
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

QImage takeSpare(QSize size, QImage::Format format)
{
    QImage spare;
    {
        QMutexLocker lock(&g_spareMutex);
        if (g_spare.size() != size || g_spare.format() != format) {
            return {};
        }
        spare = std::exchange(g_spare, QImage());
    }
    // A file that ends early leaves rows undecoded: they must read as in a fresh buffer (zero),
    // never as the last picture's pixels.
    spare.fill(0);
    return spare;
}

std::optional<QImage> decodeRaster(QIODevice &file, const OpenedPicture &opened, const PictureRequest &request,
                                   PictureError *error)
{
    raiseAllocationLimitOnce();
    file.seek(0);
    QImageReader reader(&file, formatName(opened.info.kind));
    reader.setAutoTransform(true);
    const bool rotated = reader.transformation().testFlag(QImageIOHandler::TransformationRotate90);
    QSize decode = opened.storedSize;
    if (opened.info.kind == PictureKind::Jpeg && request.drawSize.isValid() && !request.drawSize.isEmpty()) {
        decode = jpegDecodeSize(opened.storedSize, rotated, request.drawSize);
        if (decode != opened.storedSize) {
            reader.setScaledSize(decode);
        }
    }
    QImage image = takeSpare(decode, reader.imageFormat());
    if (image.isNull()) {
        image = allocateDecodeBuffer(decode, reader.imageFormat());
    }
    if (!reader.read(&image) || image.isNull()) {
        setError(error, PictureError::Damaged);
        return std::nullopt;
    }
    return image;
}

QSize fitInto(QSize natural, QSize box)
{
    if (!box.isValid() || box.isEmpty()) {
        return natural;
    }
    return natural.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

std::optional<QByteArray> runMetafileHelper(PictureKind kind, const QByteArray &metafile)
{
    MetafileHelperLimits limits;
    limits.timeLimitMs = kHelperTimeLimitMs;
    limits.maxSvgBytes = kMaxSvgBytes;
    limits.memoryBytes = kHelperMemoryLimit;
    return ConvertInMetafileHelper(MetafileHelperPath(),
                                   kind == PictureKind::Wmf ? MetafileKind::Wmf : MetafileKind::Emf, metafile, limits);
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
    QSvgRenderer renderer(*svg);
    if (!renderer.isValid()) {
        setError(error, PictureError::Damaged);
        return std::nullopt;
    }
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        setError(error, PictureError::TooLarge);
        return std::nullopt;
    }
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(target)));
    painter.end();
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

bool HasPictureExtension(const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0) {
        return false;
    }
    const QStringView ext = QStringView(fileName).mid(dot + 1);
    for (const char *known : {"bmp", "jpg", "jpeg", "gif", "wmf", "emf"}) {
        if (ext.compare(QLatin1String(known), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

const QStringList &PictureNameFilters()
{
    static const QStringList filters = {QStringLiteral("*.bmp"), QStringLiteral("*.jpg"), QStringLiteral("*.jpeg"),
                                        QStringLiteral("*.gif"), QStringLiteral("*.wmf"), QStringLiteral("*.emf")};
    return filters;
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
    const auto opened = openPicture(file, request.twipsPerPixelX, request.twipsPerPixelY, error);
    if (!opened) {
        return std::nullopt;
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

QString MetafileHelperPath()
{
    const QString overridden = qEnvironmentVariable("VANTREL_METAFILE_HELPER");
    if (!overridden.isEmpty()) {
        return overridden;
    }
    const QString name = QStringLiteral("vantrel-metafile-helper");
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

void ReleaseSparePicture()
{
    const QMutexLocker lock(&g_spareMutex);
    g_spare = QImage();
}
