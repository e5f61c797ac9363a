// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/PictureDetails.h"

#include "common/FileNames.h"

#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>

#include <QLocale>

#include <cmath>
#include <cstring>
#include <unistd.h>

namespace {

// An EXIF block lies in the first segments of a JPEG, before the picture data: 64 KiB at most,
// after a few others.
constexpr qsizetype kHeadBytes = 1 << 20;

QByteArray readHead(const QString &path)
{
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
        return {};
    }
    QByteArray head(kHeadBytes, Qt::Uninitialized);
    qsizetype done = 0;
    while (done < head.size()) {
        const ssize_t n = ReadRetrying(fd, head.data() + done, static_cast<std::size_t>(head.size() - done));
        if (n <= 0) {
            break;
        }
        done += n;
    }
    ::close(fd);
    head.truncate(done);
    return head;
}

struct ExifHolder
{
    ExifData *data = nullptr;
    ~ExifHolder()
    {
        if (data != nullptr) {
            exif_data_unref(data);
        }
    }
};

ExifEntry *entryOf(ExifData *data, ExifTag tag)
{
    // The tags live in IFD 0 (camera) and the Exif IFD (exposure, dates, lens).
    for (ExifIfd ifd : {EXIF_IFD_EXIF, EXIF_IFD_0}) {
        if (ExifEntry *e = exif_content_get_entry(data->ifd[ifd], tag)) {
            return e;
        }
    }
    return nullptr;
}

QString textOf(ExifData *data, ExifTag tag)
{
    ExifEntry *e = entryOf(data, tag);
    if (e == nullptr || e->format != EXIF_FORMAT_ASCII || e->data == nullptr || e->size == 0) {
        return {};
    }
    // ASCII by the standard; cameras write Latin-1 or UTF-8 now and then.
    const QByteArray raw(reinterpret_cast<const char *>(e->data), static_cast<qsizetype>(e->size));
    QString text = QString::fromUtf8(raw.left(raw.indexOf('\0') < 0 ? raw.size() : raw.indexOf('\0')));
    return text.simplified();
}

std::optional<double> rationalOf(ExifData *data, ExifTag tag)
{
    ExifEntry *e = entryOf(data, tag);
    if (e == nullptr || e->data == nullptr || e->components < 1) {
        return std::nullopt;
    }
    const ExifByteOrder order = exif_data_get_byte_order(data);
    if (e->format == EXIF_FORMAT_RATIONAL && e->size >= 8) {
        const ExifRational r = exif_get_rational(e->data, order);
        if (r.denominator == 0) {
            return std::nullopt;
        }
        return static_cast<double>(r.numerator) / r.denominator;
    }
    if (e->format == EXIF_FORMAT_SRATIONAL && e->size >= 8) {
        const ExifSRational r = exif_get_srational(e->data, order);
        if (r.denominator == 0) {
            return std::nullopt;
        }
        return static_cast<double>(r.numerator) / r.denominator;
    }
    return std::nullopt;
}

std::optional<int> shortOf(ExifData *data, ExifTag tag)
{
    ExifEntry *e = entryOf(data, tag);
    if (e == nullptr || e->data == nullptr || e->components < 1) {
        return std::nullopt;
    }
    const ExifByteOrder order = exif_data_get_byte_order(data);
    if (e->format == EXIF_FORMAT_SHORT && e->size >= 2) {
        return exif_get_short(e->data, order);
    }
    if (e->format == EXIF_FORMAT_LONG && e->size >= 4) {
        return static_cast<int>(std::min<ExifLong>(exif_get_long(e->data, order), 1 << 30));
    }
    return std::nullopt;
}

std::optional<QDateTime> dateOf(ExifData *data)
{
    for (ExifTag tag : {EXIF_TAG_DATE_TIME_ORIGINAL, EXIF_TAG_DATE_TIME_DIGITIZED}) {
        const QString text = textOf(data, tag);
        // "YYYY:MM:DD HH:MM:SS"; a camera without a clock writes blanks or zeros.
        const QDateTime when = QDateTime::fromString(text.left(19), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        if (when.isValid()) {
            return when;
        }
    }
    return std::nullopt;
}

QString number(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0'))) {
            text.chop(1);
        }
        if (text.endsWith(QLatin1Char('.'))) {
            text.chop(1);
        }
    }
    return text;
}

QString sizeText(qint64 bytes)
{
    if (bytes < 1000) {
        return QStringLiteral("%1 bytes").arg(bytes);
    }
    if (bytes < 1000 * 1000) {
        return QStringLiteral("%1 kB").arg(number(bytes / 1000.0, 1));
    }
    return QStringLiteral("%1 MB").arg(number(bytes / 1e6, 1));
}

std::uint32_t big32(const unsigned char *b)
{
    return (std::uint32_t(b[0]) << 24) | (std::uint32_t(b[1]) << 16) | (std::uint32_t(b[2]) << 8) | b[3];
}

std::uint32_t little32(const unsigned char *b)
{
    return (std::uint32_t(b[3]) << 24) | (std::uint32_t(b[2]) << 16) | (std::uint32_t(b[1]) << 8) | b[0];
}

// The EXIF block a container holds apart from its picture data, with the "Exif" header libexif
// looks for: a PNG's eXIf chunk, a WebP's EXIF chunk, a JPEG XL container's Exif box. Only
// what lies within `head` is found; empty for any other file.
QByteArray containerExifBlock(const QByteArray &head)
{
    static const QByteArray exifHeader("Exif\0\0", 6);
    const auto *b = reinterpret_cast<const unsigned char *>(head.constData());
    const auto n = static_cast<std::uint64_t>(head.size());
    const auto block = [&](std::uint64_t at, std::uint64_t length) {
        const QByteArray data = head.mid(static_cast<qsizetype>(at), static_cast<qsizetype>(length));
        return data.startsWith(exifHeader) ? data : exifHeader + data;
    };
    constexpr int kMostChunks = 4096;
    if (head.startsWith(QByteArrayLiteral("\x89PNG\r\n\x1a\n"))) {
        std::uint64_t at = 8;
        for (int i = 0; i < kMostChunks && at + 8 <= n; ++i) {
            const std::uint64_t length = big32(b + at);
            if (std::memcmp(b + at + 4, "eXIf", 4) == 0) {
                return at + 8 + length <= n ? block(at + 8, length) : QByteArray();
            }
            if (std::memcmp(b + at + 4, "IEND", 4) == 0) {
                break;
            }
            at += 12 + length;
        }
    } else if (n >= 12 && std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "WEBP", 4) == 0) {
        std::uint64_t at = 12;
        for (int i = 0; i < kMostChunks && at + 8 <= n; ++i) {
            const std::uint64_t length = little32(b + at + 4);
            if (std::memcmp(b + at, "EXIF", 4) == 0) {
                return at + 8 + length <= n ? block(at + 8, length) : QByteArray();
            }
            at += 8 + length + (length & 1);
        }
    } else if (n >= 12 && std::memcmp(b, "\0\0\0\x0cJXL \r\n\x87\n", 12) == 0) {
        std::uint64_t at = 0;
        for (int i = 0; i < kMostChunks && at + 8 <= n; ++i) {
            std::uint64_t size = big32(b + at);
            std::uint64_t header = 8;
            if (size == 1) {
                if (at + 16 > n) {
                    break;
                }
                size = (std::uint64_t(big32(b + at + 8)) << 32) | big32(b + at + 12);
                header = 16;
            } else if (size == 0) {
                size = n - at; // to the end of the file
            }
            if (size < header) {
                break;
            }
            if (std::memcmp(b + at + 4, "Exif", 4) == 0) {
                // The box's first four bytes say where in it the TIFF header starts. (A 64-bit
                // size may be anything: compared with what is left, never added to `at`.)
                if (size < header + 4 || size > n - at) {
                    break;
                }
                const std::uint64_t offset = big32(b + at + header);
                if (offset > size - header - 4) {
                    break;
                }
                return block(at + header + 4 + offset, size - header - 4 - offset);
            }
            if (size > n - at) {
                break;
            }
            at += size;
        }
    }
    return {};
}

} // namespace

PictureDetails ExifDetailsOf(const QByteArray &file)
{
    PictureDetails d;
    ExifHolder exif;
    const QByteArray contained = containerExifBlock(file);
    if (!contained.isEmpty()) {
        // The block alone, its "Exif" header first: read as it stands, not looked for.
        exif.data = exif_data_new_from_data(reinterpret_cast<const unsigned char *>(contained.constData()),
                                            static_cast<unsigned int>(contained.size()));
    } else {
        ExifLoader *loader = exif_loader_new();
        if (loader == nullptr) {
            return d;
        }
        exif_loader_write(loader, reinterpret_cast<unsigned char *>(const_cast<char *>(file.constData())),
                          static_cast<unsigned int>(file.size()));
        exif.data = exif_loader_get_data(loader);
        exif_loader_unref(loader);
    }
    if (exif.data == nullptr) {
        return d;
    }
    d.taken = dateOf(exif.data);
    const QString make = textOf(exif.data, EXIF_TAG_MAKE);
    const QString model = textOf(exif.data, EXIF_TAG_MODEL);
    // Many cameras repeat the maker in the model ("Canon" / "Canon EOS 5D").
    d.camera = model.startsWith(make, Qt::CaseInsensitive) || make.isEmpty() ? model
               : model.isEmpty()                                             ? make
                                                                             : make + QLatin1Char(' ') + model;
    const QString lensMake = textOf(exif.data, EXIF_TAG_LENS_MAKE);
    const QString lensModel = textOf(exif.data, EXIF_TAG_LENS_MODEL);
    d.lens = lensModel.isEmpty() || lensModel.startsWith(lensMake, Qt::CaseInsensitive) || lensMake.isEmpty()
                 ? lensModel
                 : lensMake + QLatin1Char(' ') + lensModel;
    d.exposureSeconds = rationalOf(exif.data, EXIF_TAG_EXPOSURE_TIME);
    d.fNumber = rationalOf(exif.data, EXIF_TAG_FNUMBER);
    d.iso = shortOf(exif.data, EXIF_TAG_ISO_SPEED_RATINGS);
    d.focalLengthMm = rationalOf(exif.data, EXIF_TAG_FOCAL_LENGTH);
    return d;
}

PictureDetails ReadExifDetails(const QString &path)
{
    PictureDetails d = ExifDetailsOf(readHead(path));
    d.fileSize = FileSizeOf(path);
    return d;
}

std::optional<QDateTime> DateTaken(const QString &path)
{
    return ExifDetailsOf(readHead(path)).taken;
}

QString ExposureText(double seconds)
{
    if (seconds <= 0) {
        return {};
    }
    if (seconds < 0.5) {
        return QStringLiteral("1/%1 s").arg(std::llround(1.0 / seconds));
    }
    return QStringLiteral("%1 s").arg(number(seconds, 1));
}

QString FNumberText(double f)
{
    return QStringLiteral("f/%1").arg(number(f, 1));
}

QStringList DetailLines(const QString &fileName, const PictureDetails &d)
{
    QStringList lines;
    lines << QStringLiteral("Name: %1").arg(DisplayName(fileName));
    if (d.taken) {
        lines << QStringLiteral("Taken: %1").arg(d.taken->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    }
    if (!d.camera.isEmpty()) {
        lines << QStringLiteral("Camera: %1").arg(d.camera);
    }
    if (!d.lens.isEmpty()) {
        lines << QStringLiteral("Lens: %1").arg(d.lens);
    }
    QStringList exposure;
    if (d.exposureSeconds && *d.exposureSeconds > 0) {
        exposure << ExposureText(*d.exposureSeconds);
    }
    if (d.fNumber && *d.fNumber > 0) {
        exposure << FNumberText(*d.fNumber);
    }
    if (d.iso && *d.iso > 0) {
        exposure << QStringLiteral("ISO %1").arg(*d.iso);
    }
    if (d.focalLengthMm && *d.focalLengthMm > 0) {
        exposure << QStringLiteral("%1 mm").arg(number(*d.focalLengthMm, 1));
    }
    if (!exposure.isEmpty()) {
        lines << QStringLiteral("Exposure: %1").arg(exposure.join(QStringLiteral(", ")));
    }
    if (d.dimensions.isValid() && !d.dimensions.isEmpty()) {
        lines << QStringLiteral("Dimensions: %1 x %2 pixels").arg(d.dimensions.width()).arg(d.dimensions.height());
    }
    if (d.fileSize >= 0) {
        lines << QStringLiteral("Size: %1").arg(sizeText(d.fileSize));
    }
    return lines;
}
