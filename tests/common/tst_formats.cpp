// SPDX-License-Identifier: GPL-2.0-or-later
// PNG, APNG, WebP, TIFF, HEIF, AVIF and JPEG XL as the real encoders write them: recognised by
// content, decoded upright at full and at drawn size, animated ones played, hostile ones refused.
#include "common/SettingsLoad.h"
#include "common/picture/MetafileHelperPool.h"
#include "common/picture/MetafileHelperProtocol.h"
#include "common/picture/Picture.h"
#include "common/picture/PngDecode.h"
#include "common/picture/RasterDecode.h"
#include "common/picture/SealedMemory.h"
#include "common/picture/TiffLzw.h"
#include "files/PrintJob.h"
#include "files/WallpaperFile.h"
#include "viewer/AnimationPlayer.h"
#include "viewer/ApngFrames.h"

#include "Isolation.h"
#include "ModernPictures.h"
#include "PdfProbe.h"

#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImageReader>

#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include <array>
#include <random>
#include <vector>

namespace MP = ModernPictures;

namespace {

struct Expected
{
    const char *name;
    PictureKind kind;
    int orientation;
};

const Expected kFiles[] = {
    {"png.png", PictureKind::Png, 1},          {"png-o6.png", PictureKind::Png, 6},
    {"apng.png", PictureKind::Png, 1},         {"webp.webp", PictureKind::WebP, 1},
    {"webp-o6.webp", PictureKind::WebP, 6},    {"anim.webp", PictureKind::WebP, 1},
    {"tiff.tif", PictureKind::Tiff, 1},        {"tiff16.tif", PictureKind::Tiff, 1},
    {"cmyk.tif", PictureKind::Tiff, 1},        {"tiff-o6.tif", PictureKind::Tiff, 6},
    {"pages.tif", PictureKind::Tiff, 1},       {"heic.heic", PictureKind::Heif, 1},
    {"heic-o6.heic", PictureKind::Heif, 6},    {"avif.avif", PictureKind::Avif, 1},
    {"jxl.jxl", PictureKind::JpegXl, 1},       {"jxl-o6.jxl", PictureKind::JpegXl, 6},
    {"heic-exif6.heic", PictureKind::Heif, 6}, {"heic-both6.heic", PictureKind::Heif, 6},
};

// This test program also stands in for a picture helper that breaks the protocol's promises about
// the pixels it hands back (VV_FAKE_HELPER says how), started by the viewer's pool like the real one.
[[noreturn]] void fakeHelper(const QByteArray &how)
{
    namespace P = MetafileHelperProtocol;
    for (;;) {
        unsigned char request[P::kHeaderBytes + P::kRasterRequestBytes];
        std::size_t got = 0;
        int attached = -1;
        bool unexpected = false;
        while (got < sizeof request) {
            const ssize_t n =
                SealedMemory::Receive(STDIN_FILENO, request + got, sizeof request - got, attached, unexpected);
            if (n <= 0) {
                ::_exit(0);
            }
            got += static_cast<std::size_t>(n);
        }
        if (attached >= 0) {
            ::close(attached);
        }
        const std::uint32_t side = how == "huge" ? 60000 : 8;
        if ((P::GetWord(request + P::kHeaderBytes + 8) & P::kBoxLater) != 0) {
            unsigned char sized[P::kHeaderBytes + P::kSizedBytes];
            P::WriteHeader(sized, {P::kSized, P::kSizedBytes});
            P::PutWord(sized + P::kHeaderBytes, side);
            P::PutWord(sized + P::kHeaderBytes + 4, side);
            SealedMemory::Send(STDOUT_FILENO, sized, sizeof sized, -1);
            unsigned char box[P::kBoxBytes];
            if (::read(STDIN_FILENO, box, sizeof box) != sizeof box) {
                ::_exit(0);
            }
        }
        // The pixels: 8 x 8 claimed, in a file that is not what was promised.
        std::size_t bytes = std::size_t(side) * side * 4;
        int pixels = -1;
        int pipeEnds[2] = {-1, -1};
        if (how == "pipe") {
            if (::pipe(pipeEnds) == 0) {
                pixels = pipeEnds[0];
            }
        } else {
            if (how == "short") {
                bytes -= 4;
            }
            pixels = SealedMemory::Create(how == "huge" ? 4096 : bytes);
            if (how != "unsealed" && pixels >= 0) {
                SealedMemory::Seal(pixels);
            }
        }
        unsigned char answer[P::kHeaderBytes + kRasterAnswerHeaderBytes];
        P::WriteHeader(answer, {P::kConverted, kRasterAnswerHeaderBytes});
        for (int i = 0; i < 4; ++i) {
            P::PutWord(answer + P::kHeaderBytes + 4 * i, side);
        }
        P::PutWord(answer + P::kHeaderBytes + 16, 0);
        SealedMemory::Send(STDOUT_FILENO, answer, sizeof answer, pixels);
        for (const int fd : {pixels, pipeEnds[1]}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
}

// Before main: a start as a helper ("--serve") under VV_FAKE_HELPER serves and never runs tests.
[[maybe_unused]] const bool g_fakeHelperChecked = [] {
    const QByteArray how = qgetenv("VV_FAKE_HELPER");
    QFile commandLine(QStringLiteral("/proc/self/cmdline"));
    if (!how.isEmpty() && commandLine.open(QIODevice::ReadOnly) &&
        commandLine.readAll().split('\0').contains(QByteArrayLiteral("--serve"))) {
        fakeHelper(how);
    }
    return true;
}();

QByteArray patched(QByteArray bytes, qsizetype at, const QByteArray &with)
{
    return bytes.replace(at, with.size(), with);
}

QByteArray be32(quint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

// Empty when the two pictures are the same size and no channel of any pixel differs by more
// than `tolerance`; else where they first differ.
QString differences(const QImage &got, const QImage &expected, int tolerance)
{
    if (got.size() != expected.size()) {
        return QStringLiteral("size %1x%2, expected %3x%4")
            .arg(got.width())
            .arg(got.height())
            .arg(expected.width())
            .arg(expected.height());
    }
    const QImage a = got.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage b = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < a.height(); ++y) {
        const auto *ra = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *rb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            for (const int shift : {0, 8, 16, 24}) {
                if (std::abs(int((ra[x] >> shift) & 0xFF) - int((rb[x] >> shift) & 0xFF)) > tolerance) {
                    return QStringLiteral("at %1,%2: %3, expected %4")
                        .arg(x)
                        .arg(y)
                        .arg(ra[x], 8, 16, QLatin1Char('0'))
                        .arg(rb[x], 8, 16, QLatin1Char('0'));
                }
            }
        }
    }
    return {};
}

// The PNG (8 or 16 bits, not interlaced) again, its rows filtered anew: all with `filter` (0 to 4),
// or each row with its own in turn (5). The chunks before the pixels are kept.
QByteArray refiltered(const QByteArray &png, int filter)
{
    QByteArray head = png.left(8);
    QByteArray stream;
    quint32 width = 0;
    quint32 height = 0;
    int bpp = 0;
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + at);
        const QByteArray type = png.mid(at + 4, 4);
        if (type == "IHDR") {
            width = qFromBigEndian<quint32>(png.constData() + at + 8);
            height = qFromBigEndian<quint32>(png.constData() + at + 12);
            const int depth = quint8(png[at + 16]);
            const int colour = quint8(png[at + 17]);
            const int channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
            bpp = std::max(1, channels * depth / 8);
        }
        if (type == "IDAT") {
            stream += png.mid(at + 8, length);
        } else if (type != "IEND" && stream.isEmpty()) {
            head += png.mid(at, 12 + length);
        }
        at += 12 + qsizetype(length);
    }
    const qsizetype rowBytes = qsizetype(width) * bpp;
    QByteArray rows = qUncompress(be32(quint32(height * (rowBytes + 1))) + stream);
    if (rows.size() != qsizetype(height) * (rowBytes + 1)) {
        return {};
    }
    auto predict = [](int kind, int a, int b, int c) {
        const int pa = std::abs(b - c);
        const int pb = std::abs(a - c);
        const int pc = std::abs(a + b - 2 * c);
        switch (kind) {
        case 1:
            return a;
        case 2:
            return b;
        case 3:
            return (a + b) / 2;
        case 4:
            return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        default:
            return 0;
        }
    };
    // Unfiltered first, row by row.
    QByteArray raw(qsizetype(height) * rowBytes, '\0');
    auto *r = reinterpret_cast<quint8 *>(raw.data());
    for (quint32 y = 0; y < height; ++y) {
        const auto *in = reinterpret_cast<const quint8 *>(rows.constData()) + y * (rowBytes + 1);
        quint8 *out = r + y * rowBytes;
        const quint8 *up = y > 0 ? out - rowBytes : nullptr;
        for (qsizetype i = 0; i < rowBytes; ++i) {
            const int a = i >= bpp ? out[i - bpp] : 0;
            const int b = up != nullptr ? up[i] : 0;
            const int c = up != nullptr && i >= bpp ? up[i - bpp] : 0;
            const int p = predict(in[0], a, b, c);
            out[i] = quint8(in[i + 1] + p);
        }
    }
    QByteArray filtered;
    for (quint32 y = 0; y < height; ++y) {
        const int f = filter == 5 ? int(y % 5) : filter;
        filtered += char(f);
        const quint8 *line = r + y * rowBytes;
        const quint8 *up = y > 0 ? line - rowBytes : nullptr;
        for (qsizetype i = 0; i < rowBytes; ++i) {
            const int a = i >= bpp ? line[i - bpp] : 0;
            const int b = up != nullptr ? up[i] : 0;
            const int c = up != nullptr && i >= bpp ? up[i - bpp] : 0;
            const int p = predict(f, a, b, c);
            filtered += char(quint8(line[i] - p));
        }
    }
    return head + MP::pngChunk("IDAT", qCompress(filtered, 9).mid(4)) + MP::pngChunk("IEND", {});
}

struct PngOutcome
{
    std::optional<RasterResult> result;
    RasterFailure failure = RasterFailure::None;
    bool direct = false;
};

// `bytes` through the viewer's PNG decode, read in odd pieces as a file through a buffer.
PngOutcome decodePngBytes(const QByteArray &bytes, bool libpngOnly, quint32 boxW, quint32 boxH)
{
    qsizetype at = 0;
    PngRequest request;
    request.boxWidth = boxW;
    request.boxHeight = boxH;
    request.read = [&](unsigned char *into, std::size_t wanted) -> std::size_t {
        const auto n = static_cast<std::size_t>(std::min<qsizetype>({qsizetype(wanted), bytes.size() - at, 4093}));
        std::memcpy(into, bytes.constData() + at, n);
        at += qsizetype(n);
        return n;
    };
    PngOutcome outcome;
    request.libpngOnly = libpngOnly;
    request.decodedDirectly = &outcome.direct;
    outcome.result = DecodePng(request, RasterLimits{}, &outcome.failure);
    return outcome;
}

// Empty when the two decodes answered alike to the last pixel; else how they differ.
QString samePngOutcome(const PngOutcome &a, const PngOutcome &b)
{
    if (a.result.has_value() != b.result.has_value() || a.failure != b.failure) {
        return QStringLiteral("decoded %1 (failure %2), libpng %3 (failure %4)")
            .arg(a.result.has_value())
            .arg(int(a.failure))
            .arg(b.result.has_value())
            .arg(int(b.failure));
    }
    if (!a.result) {
        return {};
    }
    const RasterResult &x = *a.result;
    const RasterResult &y = *b.result;
    if (x.naturalWidth != y.naturalWidth || x.naturalHeight != y.naturalHeight || x.width != y.width ||
        x.height != y.height || x.hasAlpha != y.hasAlpha || x.pixels.size() != y.pixels.size()) {
        return QStringLiteral("%1x%2 of %3x%4 alpha %5, libpng %6x%7 of %8x%9 alpha %10")
            .arg(x.width)
            .arg(x.height)
            .arg(x.naturalWidth)
            .arg(x.naturalHeight)
            .arg(x.hasAlpha)
            .arg(y.width)
            .arg(y.height)
            .arg(y.naturalWidth)
            .arg(y.naturalHeight)
            .arg(y.hasAlpha);
    }
    for (std::size_t i = 0; i < x.pixels.size(); ++i) {
        if (x.pixels[i] != y.pixels[i]) {
            return QStringLiteral("pixel %1: %2, libpng %3")
                .arg(i)
                .arg(x.pixels[i], 8, 16, QLatin1Char('0'))
                .arg(y.pixels[i], 8, 16, QLatin1Char('0'));
        }
    }
    return {};
}

} // namespace

class TestFormats : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const char *name) const { return m_dir.filePath(QString::fromLatin1(name)); }

private slots:
    void initTestCase()
    {
        qputenv("VANTREL_METAFILE_HELPER", QByteArrayLiteral(VV_METAFILE_HELPER));
        qputenv("VANTREL_PICTURE_HELPER", QByteArrayLiteral(VV_PICTURE_HELPER));
        QVERIFY(m_dir.isValid());
        QString log;
        QVERIFY2(MP::make(m_dir.path(), log), qPrintable(log));
    }

    void recognisedByContent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        for (const Expected &e : kFiles) {
            QTest::newRow(e.name) << QString::fromLatin1(e.name) << static_cast<int>(e.kind);
        }
    }
    void recognisedByContent()
    {
        QFETCH(QString, name);
        QFETCH(int, kind);
        // Under a name that says nothing of the format: only the content tells.
        const QString renamed = m_dir.filePath(QStringLiteral("renamed-") + name + QStringLiteral(".dat"));
        QFile::remove(renamed);
        QVERIFY(QFile::copy(m_dir.filePath(name), renamed));
        PictureError error = PictureError::None;
        const auto info = ReadPictureInfo(renamed, 15, 15, &error);
        QVERIFY2(info.has_value(), qPrintable(QStringLiteral("error %1").arg(int(error))));
        QCOMPARE(static_cast<int>(info->kind), kind);
    }

    void fullSizeUpright_data() { recognisedByContent_data(); }
    void fullSizeUpright()
    {
        QFETCH(QString, name);
        int orientation = 1;
        for (const Expected &e : kFiles) {
            if (name == QLatin1String(e.name)) {
                orientation = e.orientation;
            }
        }
        PictureError error = PictureError::None;
        const auto picture = LoadPicture(m_dir.filePath(name), PictureRequest{}, &error);
        QVERIFY2(picture.has_value(), qPrintable(QStringLiteral("error %1").arg(int(error))));
        const QSize upright = orientation >= 5 ? QSize(MP::kHeight, MP::kWidth) : QSize(MP::kWidth, MP::kHeight);
        QCOMPARE(picture->info.pixelSize, upright);
        QCOMPARE(picture->image.size(), upright);
        const QString wrong = MP::checkUpright(picture->image, orientation);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        // The header alone tells the same size.
        const auto info = ReadPictureInfo(m_dir.filePath(name), 15, 15);
        QVERIFY(info.has_value());
        QCOMPARE(info->pixelSize, upright);
    }

    void reducedToTheSizeDrawn_data() { recognisedByContent_data(); }
    void reducedToTheSizeDrawn()
    {
        QFETCH(QString, name);
        int orientation = 1;
        for (const Expected &e : kFiles) {
            if (name == QLatin1String(e.name)) {
                orientation = e.orientation;
            }
        }
        PictureRequest request;
        request.drawSize = orientation >= 5 ? QSize(16, 32) : QSize(32, 16);
        const auto picture = LoadPicture(m_dir.filePath(name), request);
        QVERIFY(picture.has_value());
        const auto kind = picture->info.kind;
        if (picture->info.isHelperDecoded() || kind == PictureKind::WebP) {
            // Decoded small where the format allows: no larger than drawn.
            QVERIFY2(picture->image.width() <= request.drawSize.width() * 2 &&
                         picture->image.height() <= request.drawSize.height() * 2,
                     qPrintable(QStringLiteral("%1x%2").arg(picture->image.width()).arg(picture->image.height())));
        }
        QVERIFY(picture->image.width() >= request.drawSize.width());
        const QString wrong = MP::checkUpright(picture->image, orientation);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    }

    void wallpaperAndPrintTakeEachFormatUpright_data() { recognisedByContent_data(); }
    void wallpaperAndPrintTakeEachFormatUpright()
    {
        QFETCH(QString, name);
        int orientation = 1;
        for (const Expected &e : kFiles) {
            if (name == QLatin1String(e.name)) {
                orientation = e.orientation;
            }
        }
        const QSize upright = orientation >= 5 ? QSize(MP::kHeight, MP::kWidth) : QSize(MP::kWidth, MP::kHeight);
        QTemporaryDir out;
        WallpaperError error = WallpaperError::None;
        const auto bitmap = MakeWallpaperBitmap(m_dir.filePath(name), QSize(1024, 768), {out.path()}, 15, 15, &error);
        QVERIFY(bitmap.has_value());
        const QImage written(bitmap->path);
        QCOMPARE(written.size(), upright);
        const QString wrong = MP::checkUpright(written, orientation);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        // Printed at full resolution, upright: the page holds the picture's own pixels.
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = out.filePath(QStringLiteral("page.pdf"));
        printer.setOutputFileName(pdf);
        QCOMPARE(PrintPictureFile(m_dir.filePath(name), printer, 15, 15), PrintResult::Printed);
        if (PdfProbe::available()) {
            const QList<QSize> images = PdfProbe::imageSizes(pdf);
            QVERIFY(!images.isEmpty());
            QCOMPARE(images.first(), upright);
        }
    }

    void sixteenBitAndCmykShowTheirColours()
    {
        // Beyond the upright check above: the colours are the source's, not a misread of 16-bit
        // samples or of ink amounts.
        for (const char *name : {"tiff16.tif", "cmyk.tif"}) {
            const auto picture = LoadPicture(file(name), PictureRequest{});
            QVERIFY2(picture.has_value(), name);
            QVERIFY2(MP::near(picture->image.pixelColor(96, 32), Qt::blue, 40), name);
            QVERIFY2(MP::near(picture->image.pixelColor(40, 40), Qt::red, 40), name);
        }
    }

    void multiPageTiffShowsItsFirstPage()
    {
        const auto picture = LoadPicture(file("pages.tif"), PictureRequest{});
        QVERIFY(picture.has_value());
        QVERIFY(MP::checkUpright(picture->image, 1).isEmpty());
    }

    void heifThumbnailServesSmallDraws()
    {
        // heif-enc's thumbnail is 64 x 32: a draw of that size or below is served from it, and is
        // upright like the main picture (the rotation was put on both; an EXIF orientation
        // describes both).
        for (const char *name : {"heic.heic", "heic-o6.heic", "heic-exif6.heic", "heic-both6.heic"}) {
            const bool turned = QByteArray(name).contains("6");
            PictureRequest request;
            request.drawSize = turned ? QSize(24, 48) : QSize(48, 24);
            const auto picture = LoadPicture(file(name), request);
            QVERIFY2(picture.has_value(), name);
            QCOMPARE(picture->image.size(), request.drawSize);
            const QString wrong = MP::checkUpright(picture->image, turned ? 6 : 1);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        }
    }

    void stillPicturesHaveOneFrame()
    {
        for (const char *name : {"webp.webp", "png.png", "png-o6.png"}) {
            const auto still = ReadPictureInfo(file(name), 15, 15);
            QVERIFY(still.has_value());
            QCOMPARE(still->frameCount, 1);
        }
    }

    void damagedApngsAreRefusedByTheComposer()
    {
        const QByteArray apng = MP::load(file("apng.png"));
        QVERIFY(ApngFrames::open(apng) != nullptr);
        // Every cut of the file either plays whole frames or is refused; none crashes.
        for (qsizetype cut = 8; cut < apng.size(); cut += 13) {
            auto frames = ApngFrames::open(apng.left(cut));
            while (frames && frames->canRead()) {
                (void)frames->read(QSize(32, 16));
            }
        }
        // A frame reaching outside the canvas is refused.
        const qsizetype fctl = apng.indexOf("fcTL");
        QVERIFY(fctl > 0);
        QByteArray outside = apng;
        qToBigEndian<quint32>(1000, outside.data() + fctl + 4 + 12); // x offset
        QVERIFY(ApngFrames::open(outside) == nullptr);
    }

    void animationsPlayTheirSecondFrame_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("webp") << QStringLiteral("anim.webp");
        QTest::newRow("apng") << QStringLiteral("apng.png");
    }
    void animationsPlayTheirSecondFrame()
    {
        QFETCH(QString, name);
        const auto info = ReadPictureInfo(m_dir.filePath(name), 15, 15);
        QVERIFY(info.has_value());
        QCOMPARE(info->frameCount, 2);
        const QByteArray path = QFile::encodeName(m_dir.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const QSize shown(64, 32);
        AnimationPlayer player(fd, shown);
        QSignalSpy frames(&player, &AnimationPlayer::frameReady);
        QVERIFY(frames.wait(10000));
        const QImage second = frames.first().first().value<QImage>();
        QCOMPARE(second.size(), shown);
        // The second frame is the yellow and cyan one, green corner kept.
        QVERIFY(MP::near(second.pixelColor(48, 20), Qt::cyan, 60));
        QVERIFY(MP::near(second.pixelColor(20, 24), Qt::yellow, 60));
        QVERIFY(MP::near(second.pixelColor(6, 3), Qt::green, 60));
    }

    void apngShowsItsFirstPicture()
    {
        const auto picture = LoadPicture(file("apng.png"), PictureRequest{});
        QVERIFY(picture.has_value());
        QVERIFY(MP::checkUpright(picture->image, 1).isEmpty());
    }

    void hostileFilesAreUnreadable_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("tooLarge");
        for (const Expected &e : kFiles) {
            const QByteArray whole = MP::load(file(e.name));
            QTest::addRow("%s truncated", e.name) << whole.left(whole.size() / 2) << false;
            QTest::addRow("%s header only", e.name) << whole.left(40) << false;
            QByteArray scrambled = whole;
            for (qsizetype i = scrambled.size() / 3; i < scrambled.size(); i += 7) {
                scrambled[i] = char(scrambled[i] ^ 0x5A);
            }
            QTest::addRow("%s scrambled", e.name) << scrambled << false;
        }
        // Sizes beyond the limits, declared in each format's own header.
        // The header's checksum made right again, so that only the size is wrong.
        auto pngSized = [](QByteArray png, quint32 w, quint32 h) {
            png = patched(patched(png, 16, be32(w)), 20, be32(h));
            return patched(png, 29, be32(MP::crc32(png.mid(12, 17))));
        };
        const QByteArray png = MP::load(file("png.png"));
        QTest::newRow("png 70000 wide") << pngSized(png, 70000, 64) << true;
        QTest::newRow("png 20000 x 20000") << pngSized(png, 20000, 20000) << true;
        // A WebP's canvas (VP8X) declaring 16384 x 16384 over a picture of 128 x 64.
        const QByteArray webp = MP::load(file("webp-o6.webp"));
        QVERIFY(webp.mid(12, 4) == "VP8X");
        QByteArray canvas(6, '\xFF');
        canvas[2] = '\x3F';
        canvas[5] = '\x3F';
        QTest::newRow("webp canvas 16384 x 16384") << patched(webp, 24, canvas) << false;
        QByteArray heic = MP::load(file("heic.heic"));
        const qsizetype ispe = heic.indexOf("ispe");
        QVERIFY(ispe > 0);
        QTest::newRow("heic 60000 x 60000")
            << patched(patched(heic, ispe + 8, be32(60000)), ispe + 12, be32(60000)) << true;
        // A TIFF whose strips would decode to 400 megapixels: refused before anything is made.
        const QByteArray tiff = MP::load(file("tiff.tif"));
        QByteArray wide = tiff;
        const quint32 ifd = qFromLittleEndian<quint32>(tiff.constData() + 4);
        const int entries = qFromLittleEndian<quint16>(tiff.constData() + ifd);
        for (int i = 0; i < entries; ++i) {
            const qsizetype at = ifd + 2 + i * 12;
            const quint16 tag = qFromLittleEndian<quint16>(tiff.constData() + at);
            const quint16 type = qFromLittleEndian<quint16>(tiff.constData() + at + 2);
            if ((tag == 256 || tag == 257) && type == 3) {
                QByteArray v(2, '\0');
                qToLittleEndian<quint16>(20000, v.data());
                wide = patched(wide, at + 8, v);
            } else if ((tag == 256 || tag == 257) && type == 4) {
                QByteArray v(4, '\0');
                qToLittleEndian<quint32>(20000, v.data());
                wide = patched(wide, at + 8, v);
            }
        }
        QVERIFY(wide != tiff);
        QTest::newRow("tiff 20000 x 20000") << wide << true;
    }
    void hostileFilesAreUnreadable()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, tooLarge);
        const QString path = m_dir.filePath(QStringLiteral("hostile"));
        QVERIFY(MP::save(path, bytes));
        for (const QSize draw : {QSize(), QSize(40, 30)}) {
            PictureRequest request;
            request.drawSize = draw;
            PictureError error = PictureError::None;
            const auto picture = LoadPicture(path, request, &error);
            if (picture) {
                // A damaged file may still decode to something (the lossless formats stop where
                // the damage starts): never larger than it says, never a crash.
                QVERIFY(picture->image.width() <= 65535 && picture->image.height() <= 65535);
                continue;
            }
            if (tooLarge) {
                QCOMPARE(error, PictureError::TooLarge);
            } else {
                QVERIFY(error == PictureError::Damaged || error == PictureError::NotAPicture ||
                        error == PictureError::TooLarge);
            }
        }
        // The helper is still there for the next picture.
        QVERIFY(LoadPicture(file("heic.heic"), PictureRequest{}).has_value());
    }

    // PNGs of each kind ImageMagick writes, from a source of every colour and alpha: the program's
    // own row-by-row decode shows what Qt's reader shows, and its reduction while decoding is
    // exactly that of the whole picture. Cut short or taller than its data, each is unreadable.
    void pngDecodesAsQtReadsIt_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("colourType");
        QTest::addColumn<int>("depth");
        QTest::addColumn<bool>("interlaced");
        QTest::addColumn<int>("tolerance");
        auto args = [](const char *text) { return QString::fromLatin1(text).split(QLatin1Char(' ')); };
        QTest::newRow("rgb 8") << args("-alpha off PNG24:") << 2 << 8 << false << 0;
        QTest::newRow("rgba 8") << args("PNG32:") << 6 << 8 << false << 0;
        // 16-bit samples: Qt rounds them to 8 after premultiplying, this decode before.
        QTest::newRow("rgb 16") << args("-alpha off -depth 16 PNG48:") << 2 << 16 << false << 1;
        QTest::newRow("rgba 16") << args("-depth 16 PNG64:") << 6 << 16 << false << 2;
        QTest::newRow("palette tRNS") << args("-colors 64 PNG8:") << 3 << 8 << false << 0;
        QTest::newRow("grey alpha") << args("-colorspace Gray -define png:color-type=4 PNG:") << 4 << 8 << false << 0;
        QTest::newRow("grey 16") << args("-alpha off -colorspace Gray -depth 16 -define png:color-type=0 PNG:") << 0
                                 << 16 << false << 1;
        QTest::newRow("grey 2")
            << args("-alpha off -colorspace Gray -depth 2 -define png:color-type=0 -define png:bit-depth=2 PNG:") << 0
            << 2 << false << 0;
        QTest::newRow("adam7 rgba") << args("-interlace PNG PNG32:") << 6 << 8 << true << 0;
        QTest::newRow("adam7 palette") << args("-interlace PNG -colors 64 PNG8:") << 3 << 8 << true << 0;
    }
    void pngDecodesAsQtReadsIt()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, colourType);
        QFETCH(int, depth);
        QFETCH(bool, interlaced);
        QFETCH(int, tolerance);
        const QString source = file("png-source.png");
        if (!QFile::exists(source)) {
            QImage colours(301, 203, QImage::Format_ARGB32);
            for (int y = 0; y < colours.height(); ++y) {
                for (int x = 0; x < colours.width(); ++x) {
                    colours.setPixel(x, y, qRgba(x * 255 / 300, y * 255 / 202, (x * y) % 256, (x + 2 * y) % 256));
                }
            }
            QVERIFY(colours.save(source, "PNG"));
        }
        const QString path = file("png-kind.png");
        QFile::remove(path);
        QStringList command{source};
        command += arguments.mid(0, arguments.size() - 1);
        command.append(arguments.last() + path);
        QString log;
        QVERIFY2(MP::run(QStringLiteral("convert"), command, &log), qPrintable(log));
        const QByteArray bytes = MP::load(path);
        // The encoder wrote the kind asked for.
        QVERIFY(bytes.size() > 33);
        QCOMPARE(int(quint8(bytes[24])), depth);
        QCOMPARE(int(quint8(bytes[25])), colourType);
        QCOMPARE(quint8(bytes[28]) == 1, interlaced);
        if (colourType == 3) {
            QVERIFY(bytes.contains("tRNS"));
        }

        QImageReader reader(path, "png");
        const QImage qt = reader.read().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QVERIFY(!qt.isNull());
        const auto natural = LoadPicture(path, PictureRequest{});
        QVERIFY(natural.has_value());
        QString wrong = differences(natural->image, qt, tolerance);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

        PictureRequest fitted;
        fitted.drawSize = QSize(64, 64);
        const auto small = LoadPicture(path, fitted);
        QVERIFY(small.has_value());
        std::uint32_t outW = 0;
        std::uint32_t outH = 0;
        FitRasterSize(301, 203, 64, 64, outW, outH);
        const std::vector<std::uint32_t> reduced =
            ReduceRaster(reinterpret_cast<const std::uint32_t *>(qt.constBits()), 301, 203,
                         static_cast<std::size_t>(qt.bytesPerLine() / 4), outW, outH);
        const QImage expected(reinterpret_cast<const uchar *>(reduced.data()), int(outW), int(outH), int(outW) * 4,
                              QImage::Format_ARGB32_Premultiplied);
        wrong = differences(small->image, expected, tolerance);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));

        // Cut short, or declaring more rows than its data holds: unreadable, at either size.
        QByteArray taller = patched(bytes, 20, be32(204));
        taller = patched(taller, 29, be32(MP::crc32(taller.mid(12, 17))));
        for (const QByteArray &hostile : {bytes.left(bytes.size() / 2), bytes.left(bytes.size() - 20), taller}) {
            QVERIFY(MP::save(path, hostile));
            for (const QSize draw : {QSize(), QSize(64, 64)}) {
                PictureRequest request;
                request.drawSize = draw;
                PictureError error = PictureError::None;
                QVERIFY(!LoadPicture(path, request, &error).has_value());
                QCOMPARE(error, PictureError::Damaged);
            }
        }
    }

    // The direct decode (libdeflate, unfiltered here) against libpng's row by row, for PNGs of
    // every kind the direct way takes, as ImageMagick and Qt write them, each filter forced in
    // turn, odd widths, with and without tRNS: the same pixels, the same answers, at both sizes.
    void pngDirectDecodeIsLibpngsPixels_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QList<QSize> sizes{QSize(1, 7), QSize(3, 5), QSize(17, 13), QSize(301, 203)};
        struct Kind
        {
            const char *name;
            const char *arguments;
        };
        const Kind kinds[] = {
            {"grey 8", "-alpha off -colorspace Gray -define png:color-type=0 -define png:bit-depth=8 PNG:"},
            {"grey 16", "-alpha off -colorspace Gray -depth 16 -define png:color-type=0 -define png:bit-depth=16 PNG:"},
            {"rgb 8", "-alpha off -define png:color-type=2 PNG24:"},
            {"rgb 16", "-alpha off -depth 16 PNG48:"},
            {"palette", "-alpha off -colors 64 -define png:color-type=3 PNG8:"},
            {"palette tRNS", "-colors 64 PNG8:"},
            {"grey alpha 8", "-colorspace Gray -define png:color-type=4 -define png:bit-depth=8 PNG:"},
            {"grey alpha 16", "-colorspace Gray -depth 16 -define png:color-type=4 -define png:bit-depth=16 PNG:"},
            {"rgba 8", "PNG32:"},
            {"rgba 16", "-depth 16 PNG64:"},
        };
        const QString path = file("png-direct.png");
        auto convert = [&](const QString &source, const char *arguments) {
            QStringList command{source};
            QStringList rest = QString::fromLatin1(arguments).split(QLatin1Char(' '));
            command += rest.mid(0, rest.size() - 1);
            command.append(rest.last() + path);
            QFile::remove(path);
            QString log;
            return MP::run(QStringLiteral("convert"), command, &log) ? MP::load(path) : QByteArray();
        };
        for (const QSize size : sizes) {
            QImage colours(size, QImage::Format_ARGB32);
            for (int y = 0; y < size.height(); ++y) {
                for (int x = 0; x < size.width(); ++x) {
                    colours.setPixel(x, y,
                                     qRgba(x * 255 / std::max(1, size.width() - 1), (y * 37) % 256, (x * y) % 256,
                                           (x + 2 * y) % 256));
                }
            }
            const QString source = file("png-direct-source.png");
            QVERIFY(colours.save(source, "PNG"));
            for (const Kind &kind : kinds) {
                const QByteArray bytes = convert(source, kind.arguments);
                QVERIFY2(bytes.size() > 33, kind.name);
                QTest::addRow("%s %dx%d", kind.name, size.width(), size.height()) << bytes;
                // Each filter forced on every row, then all five in turn.
                for (int filter = 0; filter <= 5; ++filter) {
                    const QByteArray again = refiltered(bytes, filter);
                    QVERIFY2(!again.isEmpty(), kind.name);
                    QTest::addRow("%s %dx%d filter %d", kind.name, size.width(), size.height(), filter) << again;
                }
            }
            // Qt's own writer.
            const QImage::Format formats[] = {QImage::Format_RGB32,      QImage::Format_ARGB32,
                                              QImage::Format_Grayscale8, QImage::Format_Grayscale16,
                                              QImage::Format_RGBA64,     QImage::Format_Indexed8};
            for (const QImage::Format format : formats) {
                QBuffer buffer;
                buffer.open(QIODevice::WriteOnly);
                QVERIFY(colours.convertToFormat(format).save(&buffer, "PNG"));
                QTest::addRow("qt format %d %dx%d", int(format), size.width(), size.height()) << buffer.data();
            }
            // A transparent colour (tRNS) added to grey and RGB pictures: the first pixel's.
            for (const Kind &kind : {kinds[0], kinds[1], kinds[2], kinds[3]}) {
                const QByteArray bytes = refiltered(convert(source, kind.arguments), 5);
                QVERIFY(bytes.size() > 33 && !bytes.contains("tRNS"));
                const int depth = quint8(bytes[24]);
                const bool grey = quint8(bytes[25]) == 0;
                const auto first = decodePngBytes(bytes, true, 0, 0);
                QVERIFY(first.result.has_value());
                const std::uint32_t p = first.result->pixels.front();
                const int r = int((p >> 16) & 0xff);
                const int g = int((p >> 8) & 0xff);
                const int b = int(p & 0xff);
                // The first pixel's colour, read back through libpng (ImageMagick widens 8 bits
                // to 16 as v * 257).
                auto sample = [&](int v) { return quint16(depth == 16 ? v * 257 : v); };
                QByteArray trns;
                for (const int v : grey ? QList<int>{r} : QList<int>{r, g, b}) {
                    trns += char(sample(v) >> 8);
                    trns += char(sample(v) & 0xff);
                }
                QTest::addRow("%s %dx%d tRNS filter 5", kind.name, size.width(), size.height())
                    << bytes.left(33) + MP::pngChunk("tRNS", trns) + bytes.mid(33);
            }
        }
    }
    void pngDirectDecodeIsLibpngsPixels()
    {
        QFETCH(QByteArray, bytes);
        QCOMPARE(quint8(bytes[28]), quint8(0));
        const quint32 width = qFromBigEndian<quint32>(bytes.constData() + 16);
        const quint32 height = qFromBigEndian<quint32>(bytes.constData() + 20);
        const QList<QSize> boxes{QSize(), QSize(64, 64),
                                 QSize(int(std::max(1u, width / 3)), int(std::max(1u, height / 2)))};
        for (const QSize box : boxes) {
            const auto direct = decodePngBytes(bytes, false, quint32(box.width()), quint32(box.height()));
            QVERIFY(direct.direct);
            QVERIFY(direct.result.has_value());
            const auto libpng = decodePngBytes(bytes, true, quint32(box.width()), quint32(box.height()));
            QVERIFY(!libpng.direct);
            const QString wrong = samePngOutcome(direct, libpng);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        }
    }

    // Damaged and odd PNGs: the direct way refuses, or hands to libpng, exactly what libpng
    // would refuse or read, with the same answer.
    void pngDirectDecodeFailsAsLibpngDoes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("expected"); // 0: decodes, 1: damaged, -1: either, as libpng says
        const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
        auto ihdr = [](quint32 w, quint32 h, int depth, int colour) {
            QByteArray d = be32(w) + be32(h);
            d += char(depth);
            d += char(colour);
            d += QByteArray(3, '\0');
            return MP::pngChunk("IHDR", d);
        };
        // Rows of an RGB picture, each with the filter byte given (filtered data arbitrary).
        auto rows = [](quint32 w, quint32 h, int bpp, int filter) {
            QByteArray raw;
            for (quint32 y = 0; y < h; ++y) {
                raw += char(filter);
                for (quint32 x = 0; x < w * quint32(bpp); ++x) {
                    raw += char((x * 7 + y * 13) & 0xff);
                }
            }
            return raw;
        };
        auto zlib = [](const QByteArray &raw) { return qCompress(raw, 9).mid(4); };
        const QByteArray iend = MP::pngChunk("IEND", {});
        const QByteArray good = zlib(rows(40, 30, 3, 4));
        const QByteArray plain = signature + ihdr(40, 30, 8, 2);
        QTest::newRow("sound") << plain + MP::pngChunk("IDAT", good) + iend << 0;
        const QByteArray whole = plain + MP::pngChunk("IDAT", good) + iend;
        QTest::newRow("cut in IDAT") << whole.left(plain.size() + 8 + good.size() / 2) << 1;
        QTest::newRow("no IEND") << whole.left(whole.size() - 12) << 1;
        QTest::newRow("cut in IEND") << whole.left(whole.size() - 2) << 1;
        QByteArray badCrc = whole;
        badCrc[plain.size() + 8 + good.size()] = char(badCrc[plain.size() + 8 + good.size()] ^ 1);
        QTest::newRow("IDAT CRC") << badCrc << 1;
        QByteArray badHeader = whole;
        badHeader[30] = char(badHeader[30] ^ 1);
        QTest::newRow("IHDR CRC") << badHeader << 1;
        QByteArray badText = MP::pngChunk("tEXt", QByteArray("Comment\0x", 9));
        badText[badText.size() - 1] = char(badText[badText.size() - 1] ^ 1);
        QTest::newRow("tEXt CRC") << plain + badText + MP::pngChunk("IDAT", good) + iend << -1;
        QTest::newRow("filter 5") << plain + MP::pngChunk("IDAT", zlib(rows(40, 30, 3, 5))) + iend << 1;
        QTest::newRow("stream short") << plain + MP::pngChunk("IDAT", zlib(rows(40, 29, 3, 1))) + iend << 1;
        QTest::newRow("stream long") << plain + MP::pngChunk("IDAT", zlib(rows(40, 31, 3, 1))) + iend << -1;
        QTest::newRow("data after stream") << plain + MP::pngChunk("IDAT", good + "junk") + iend << -1;
        QByteArray adler = good;
        adler[adler.size() - 1] = char(adler[adler.size() - 1] ^ 1);
        QTest::newRow("adler32") << plain + MP::pngChunk("IDAT", adler) + iend << -1;
        QByteArray unended = good.left(good.size() - 4);
        QTest::newRow("no adler32") << plain + MP::pngChunk("IDAT", unended) + iend << -1;
        // zlib keeps only the window its header asks for; libdeflate always 32 KiB.
        QByteArray narrow = good;
        narrow[0] = char(0x18); // 512 bytes
        narrow[1] = char(31 - (0x18 * 256) % 31);
        QTest::newRow("narrow window") << plain + MP::pngChunk("IDAT", narrow) + iend << -1;
        QByteArray ones = plain;
        for (const char c : good) {
            ones += MP::pngChunk("IDAT", QByteArray(1, c));
        }
        QTest::newRow("1-byte IDATs") << ones + iend << 0;
        const qsizetype half = good.size() / 2;
        QTest::newRow("IDATs around tEXt")
            << plain + MP::pngChunk("IDAT", good.left(half)) + MP::pngChunk("tEXt", QByteArray("a\0b", 3)) +
                   MP::pngChunk("IDAT", good.mid(half)) + iend
            << -1;
        QTest::newRow("empty IDATs") << plain + MP::pngChunk("IDAT", {}) + MP::pngChunk("IDAT", good) +
                                            MP::pngChunk("IDAT", {}) + iend
                                     << 0;
        QTest::newRow("IDAT before IHDR") << signature + MP::pngChunk("IDAT", good) + ihdr(40, 30, 8, 2) + iend << 1;
        QTest::newRow("unknown critical") << plain + MP::pngChunk("ABCD", "x") + MP::pngChunk("IDAT", good) + iend << 1;
        QTest::newRow("ancillary after") << plain + MP::pngChunk("IDAT", good) + MP::pngChunk("tEXt", "a") + iend << 0;
        QTest::newRow("after IEND") << whole + "trailing bytes" << 0;
        QTest::newRow("bad signature") << QByteArray("\x89PNG\r\n\x1a\r", 8) + whole.mid(8) << 1;
        QTest::newRow("zero width") << signature + ihdr(0, 30, 8, 2) + MP::pngChunk("IDAT", good) + iend << 1;
        QTest::newRow("bad colour type") << signature + ihdr(40, 30, 8, 5) + MP::pngChunk("IDAT", good) + iend << 1;
        QTest::newRow("depth 12") << signature + ihdr(40, 30, 12, 2) + MP::pngChunk("IDAT", good) + iend << 1;
        // Palettes: missing, short of the indices used, with its transparency.
        const QByteArray indexed = signature + ihdr(40, 30, 8, 3);
        const QByteArray indices = zlib(rows(40, 30, 1, 4));
        QByteArray palette;
        for (int i = 0; i < 100; ++i) {
            palette += char(i);
            palette += char(255 - i);
            palette += char(i * 2);
        }
        QTest::newRow("no PLTE") << indexed + MP::pngChunk("IDAT", indices) + iend << 1;
        QTest::newRow("short PLTE") << indexed + MP::pngChunk("PLTE", palette) + MP::pngChunk("IDAT", indices) + iend
                                    << 0;
        QTest::newRow("short PLTE tRNS") << indexed + MP::pngChunk("PLTE", palette) +
                                                MP::pngChunk("tRNS", QByteArray(50, '\x80')) +
                                                MP::pngChunk("IDAT", indices) + iend
                                         << 0;
        QTest::newRow("tRNS before PLTE") << indexed + MP::pngChunk("tRNS", QByteArray(50, '\x80')) +
                                                 MP::pngChunk("PLTE", palette) + MP::pngChunk("IDAT", indices) + iend
                                          << -1;
        QTest::newRow("tRNS longer than PLTE")
            << indexed + MP::pngChunk("PLTE", palette) + MP::pngChunk("tRNS", QByteArray(101, '\x80')) +
                   MP::pngChunk("IDAT", indices) + iend
            << -1;
        QTest::newRow("two PLTE") << indexed + MP::pngChunk("PLTE", palette) + MP::pngChunk("PLTE", palette) +
                                         MP::pngChunk("IDAT", indices) + iend
                                  << 1;
        QTest::newRow("PLTE in RGB") << plain + MP::pngChunk("PLTE", palette) + MP::pngChunk("IDAT", good) + iend << 0;
        QTest::newRow("tRNS wrong length")
            << plain + MP::pngChunk("tRNS", "abcd") + MP::pngChunk("IDAT", good) + iend << 0;
        QTest::newRow("tRNS twice") << plain + MP::pngChunk("tRNS", "abcdef") + MP::pngChunk("tRNS", "ghijkl") +
                                           MP::pngChunk("IDAT", good) + iend
                                    << 0;
        QTest::newRow("tRNS after IDAT") << plain + MP::pngChunk("IDAT", good) + MP::pngChunk("tRNS", "abcdef") + iend
                                         << 0;
        // tRNS samples wider than the picture's: libpng matches 8-bit samples on the low byte.
        const QByteArray grey = zlib(rows(40, 30, 1, 0));
        QTest::newRow("grey tRNS high byte")
            << signature + ihdr(40, 30, 8, 0) + MP::pngChunk("tRNS", QByteArray("\x01\x07", 2)) +
                   MP::pngChunk("IDAT", grey) + iend
            << 0;
        QTest::newRow("rgb tRNS high bytes")
            << plain + MP::pngChunk("tRNS", QByteArray("\x01\x00\x02\x07\x03\x0e", 6)) +
                   MP::pngChunk("IDAT", zlib(rows(40, 30, 3, 0))) + iend
            << 0;
        QTest::newRow("grey 16 tRNS") << signature + ihdr(40, 30, 16, 0) +
                                             MP::pngChunk("tRNS", QByteArray("\x00\x07", 2)) +
                                             MP::pngChunk("IDAT", zlib(rows(40, 30, 2, 0))) + iend
                                      << 0;
        QTest::newRow("taller than its rows")
            << signature + ihdr(40, 31, 8, 2) + MP::pngChunk("IDAT", good) + iend << 1;
        QTest::newRow("interlaced") << signature +
                                           MP::pngChunk("IHDR",
                                                        be32(40) + be32(30) + QByteArray("\x08\x02\0\0\x01", 5)) +
                                           MP::pngChunk("IDAT", good) + iend
                                    << -1;
    }
    void pngDirectDecodeFailsAsLibpngDoes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, expected);
        for (const QSize box : {QSize(), QSize(7, 5)}) {
            const auto direct = decodePngBytes(bytes, false, quint32(box.width()), quint32(box.height()));
            const auto libpng = decodePngBytes(bytes, true, quint32(box.width()), quint32(box.height()));
            const QString wrong = samePngOutcome(direct, libpng);
            QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
            if (expected >= 0) {
                QCOMPARE(libpng.result.has_value(), expected == 0);
            }
            if (!libpng.result) {
                QCOMPARE(libpng.failure, RasterFailure::Damaged);
            }
        }
    }

    void helperDecodesAreBoundedByTheAnswerAskedFor()
    {
        // The decoding library itself: a request for the size only decodes nothing.
        const QByteArray heic = MP::load(file("heic-o6.heic"));
        RasterRequest request;
        request.infoOnly = true;
        const auto info = DecodeRaster(RasterKind::Heif, reinterpret_cast<const unsigned char *>(heic.constData()),
                                       static_cast<std::size_t>(heic.size()), request);
        QVERIFY(info.has_value());
        QCOMPARE(info->naturalWidth, std::uint32_t(MP::kHeight));
        QCOMPARE(info->naturalHeight, std::uint32_t(MP::kWidth));
        QVERIFY(info->pixels.empty());
    }

    void helperDecodesLearnTheirSizeWithThePixels_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("orientation");
        for (const Expected &e : kFiles) {
            if (e.kind == PictureKind::Tiff || e.kind == PictureKind::Heif || e.kind == PictureKind::Avif ||
                e.kind == PictureKind::JpegXl) {
                QTest::newRow(e.name) << QString::fromLatin1(e.name) << e.orientation;
            }
        }
    }
    void helperDecodesLearnTheirSizeWithThePixels()
    {
        // The box worked out from the natural size (as the viewer fits a picture) is settled in
        // the middle of the one request that decodes it.
        QFETCH(QString, name);
        QFETCH(int, orientation);
        const QSize upright = orientation >= 5 ? QSize(MP::kHeight, MP::kWidth) : QSize(MP::kWidth, MP::kHeight);
        QSize seen;
        PictureRequest request;
        request.drawSizeFor = [&seen](QSize natural) {
            seen = natural;
            return natural / 4;
        };
        auto picture = LoadPicture(m_dir.filePath(name), request);
        QVERIFY(picture.has_value());
        QCOMPARE(seen, upright);
        QCOMPARE(picture->info.pixelSize, upright);
        QCOMPARE(picture->drawSize, upright / 4);
        QCOMPARE(picture->image.size(), upright / 4);
        const QString wrong = MP::checkUpright(picture->image, orientation);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        // The pixels came in the helper's memory, mapped as the viewer's own to change.
        QImage image = std::move(picture->image);
        image.setPixel(0, 0, 0xFF00FF00u);
        QCOMPARE(image.pixel(0, 0), 0xFF00FF00u);
        // Drawn at an eighth, a JPEG XL is shown from its first pass: still upright and right.
        PictureRequest eighth;
        eighth.drawSize = upright / 8;
        const auto small = LoadPicture(m_dir.filePath(name), eighth);
        QVERIFY(small.has_value());
        QCOMPARE(small->image.size(), upright / 8);
        const QString smallWrong = MP::checkUpright(small->image, orientation);
        QVERIFY2(smallWrong.isEmpty(), qPrintable(smallWrong));
    }

    void tiffReducedPageServesSmallDraws()
    {
        // A pyramid: the picture red at 128 x 64 and again, green to tell it apart, at 32 x 16.
        const QString path = m_dir.filePath(QStringLiteral("pyramid.tif"));
        TIFF *t = TIFFOpen(QFile::encodeName(path).constData(), "w");
        QVERIFY(t != nullptr);
        const auto page = [t](std::uint32_t w, std::uint32_t h, std::uint32_t type, QRgb colour) {
            TIFFSetField(t, TIFFTAG_SUBFILETYPE, type);
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
            TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 4);
            std::vector<unsigned char> row(static_cast<std::size_t>(w) * 3);
            for (std::size_t x = 0; x < w; ++x) {
                row[x * 3] = static_cast<unsigned char>(qRed(colour));
                row[x * 3 + 1] = static_cast<unsigned char>(qGreen(colour));
                row[x * 3 + 2] = static_cast<unsigned char>(qBlue(colour));
            }
            bool written = true;
            for (std::uint32_t y = 0; y < h; ++y) {
                written = written && TIFFWriteScanline(t, row.data(), y, 0) == 1;
            }
            return written && TIFFWriteDirectory(t) == 1;
        };
        QVERIFY(page(128, 64, 0, qRgb(255, 0, 0)));
        QVERIFY(page(32, 16, FILETYPE_REDUCEDIMAGE, qRgb(0, 255, 0)));
        TIFFClose(t);
        const auto colourAt = [&path](QSize draw) {
            PictureRequest request;
            request.drawSize = draw;
            const auto picture = LoadPicture(path, request);
            return picture ? QColor(picture->image.pixel(picture->image.width() / 2, picture->image.height() / 2))
                           : QColor();
        };
        QCOMPARE(colourAt(QSize(32, 16)), QColor(0, 255, 0));
        QCOMPARE(colourAt(QSize(20, 10)), QColor(0, 255, 0));
        QCOMPARE(colourAt(QSize(64, 32)), QColor(255, 0, 0));
        QCOMPARE(colourAt(QSize()), QColor(255, 0, 0));
        const auto whole = LoadPicture(path, PictureRequest{});
        QVERIFY(whole.has_value());
        QCOMPARE(whole->image.size(), QSize(128, 64));
    }

    void tiffStripsReadAsEveryOtherLayout_data()
    {
        QTest::addColumn<int>("extra"); // 0: RGB; else the alpha's EXTRASAMPLE kind
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("predictor");
        QTest::newRow("rgb") << 0 << 1 << 1;
        QTest::newRow("rgb, differenced") << 0 << 1 << 2;
        QTest::newRow("rgb, upside down") << 0 << 3 << 1;
        QTest::newRow("rgb, turned") << 0 << 6 << 2;
        QTest::newRow("premultiplied alpha") << int(EXTRASAMPLE_ASSOCALPHA) << 1 << 1;
        QTest::newRow("premultiplied alpha, turned") << int(EXTRASAMPLE_ASSOCALPHA) << 8 << 1;
        QTest::newRow("straight alpha") << int(EXTRASAMPLE_UNASSALPHA) << 1 << 2;
        QTest::newRow("straight alpha, mirrored") << int(EXTRASAMPLE_UNASSALPHA) << 2 << 1;
    }
    void tiffStripsReadAsEveryOtherLayout()
    {
        // The same pixels written with interleaved samples (read strip by strip from the codec)
        // and with a plane per sample (read by the library's general reader) must decode alike,
        // at every size, to the last bit: an odd width, a last strip shorter than the others.
        QFETCH(int, extra);
        QFETCH(int, orientation);
        QFETCH(int, predictor);
        constexpr std::uint32_t w = 301;
        constexpr std::uint32_t h = 203;
        const int channels = extra != 0 ? 4 : 3;
        std::vector<unsigned char> samples(std::size_t(w) * h * 4);
        for (std::uint32_t y = 0; y < h; ++y) {
            for (std::uint32_t x = 0; x < w; ++x) {
                unsigned char *p = &samples[(std::size_t(y) * w + x) * 4];
                const unsigned a = (x * 7 + y * 3) % 5 == 0 ? 0 : (x / 3 + y * 5) % 256;
                p[3] = static_cast<unsigned char>(x < 40 ? 255 : a);
                for (int c = 0; c < 3; ++c) {
                    const unsigned v = (x * (c + 1) * 13 + y * (7 - c) * 11 + (x * y) % 29) % 256;
                    // Premultiplied samples never exceed their alpha.
                    p[c] = static_cast<unsigned char>(extra == EXTRASAMPLE_ASSOCALPHA ? v * p[3] / 255 : v);
                }
            }
        }
        const auto write = [&](const QString &path, bool planes) {
            TIFF *t = TIFFOpen(QFile::encodeName(path).constData(), "w");
            if (t == nullptr) {
                return false;
            }
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, channels);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
            TIFFSetField(t, TIFFTAG_PLANARCONFIG, planes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
            TIFFSetField(t, TIFFTAG_PREDICTOR, predictor);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 8);
            TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
            if (extra != 0) {
                const std::uint16_t kind = static_cast<std::uint16_t>(extra);
                TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &kind);
            }
            bool written = true;
            std::vector<unsigned char> row(std::size_t(w) * channels);
            for (int plane = 0; plane < (planes ? channels : 1); ++plane) {
                for (std::uint32_t y = 0; y < h && written; ++y) {
                    const unsigned char *from = &samples[std::size_t(y) * w * 4];
                    std::size_t n = 0;
                    for (std::uint32_t x = 0; x < w; ++x) {
                        for (int c = 0; c < channels; ++c) {
                            if (!planes || c == plane) {
                                row[n++] = from[x * 4 + c];
                            }
                        }
                    }
                    written = TIFFWriteScanline(t, row.data(), y, static_cast<std::uint16_t>(plane)) == 1;
                }
            }
            written = written && TIFFWriteDirectory(t) == 1;
            TIFFClose(t);
            return written;
        };
        const QString interleaved = m_dir.filePath(QStringLiteral("interleaved.tif"));
        const QString planar = m_dir.filePath(QStringLiteral("planar.tif"));
        QVERIFY(write(interleaved, false));
        QVERIFY(write(planar, true));
        const QSize upright = orientation >= 5 ? QSize(h, w) : QSize(w, h);
        for (const QSize draw : {QSize(), QSize(64, 64), QSize(300, 17), upright - QSize(1, 1)}) {
            PictureRequest request;
            request.drawSize = draw;
            const auto got = LoadPicture(interleaved, request);
            const auto expected = LoadPicture(planar, request);
            QVERIFY(got.has_value());
            QVERIFY(expected.has_value());
            QVERIFY(got->image.width() <= std::max(draw.width(), 1) || draw.isEmpty());
            QCOMPARE(got->image.hasAlphaChannel(), expected->image.hasAlphaChannel());
            QCOMPARE(got->image.hasAlphaChannel(), extra != 0);
            const QString wrong = differences(got->image, expected->image, 0);
            QVERIFY2(wrong.isEmpty(),
                     qPrintable(QStringLiteral("drawn at %1x%2: ").arg(draw.width()).arg(draw.height()) + wrong));
        }
    }

    void lzwStreamsReadAsTheLibraryReadsThem()
    {
        // One large strip, so that the code table fills and is cleared many times over, of smooth
        // areas (long strings) and noise (short ones).
        constexpr std::uint32_t w = 640;
        constexpr std::uint32_t h = 300;
        std::mt19937 random(5);
        std::vector<unsigned char> samples(std::size_t(w) * h * 3);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const std::size_t y = i / (w * 3);
            samples[i] = static_cast<unsigned char>(y % 100 < 50 ? (i / 97) % 7 : random() % 256);
        }
        const QString path = m_dir.filePath(QStringLiteral("lzw.tif"));
        TIFF *t = TIFFOpen(QFile::encodeName(path).constData(), "w");
        QVERIFY(t != nullptr);
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h);
        for (std::uint32_t y = 0; y < h; ++y) {
            QVERIFY(TIFFWriteScanline(t, &samples[std::size_t(y) * w * 3], y, 0) == 1);
        }
        TIFFClose(t);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray whole = file.readAll();
        t = TIFFOpen(QFile::encodeName(path).constData(), "r");
        QVERIFY(t != nullptr);
        const std::uint64_t offset = TIFFGetStrileOffset(t, 0);
        const std::uint64_t count = TIFFGetStrileByteCount(t, 0);
        TIFFClose(t);
        QVERIFY(offset + count <= std::uint64_t(whole.size()));
        const auto *stream = reinterpret_cast<const std::uint8_t *>(whole.constData()) + offset;
        std::vector<std::uint8_t> ours(samples.size());
        QVERIFY(DecodeTiffLzw(stream, count, ours.data(), ours.size()));
        QVERIFY(ours == std::vector<std::uint8_t>(samples.begin(), samples.end()));
        // Cut short anywhere, it is the library's to read.
        for (const std::uint64_t cut : {std::uint64_t(0), std::uint64_t(1), count / 3, count - 2}) {
            QVERIFY(!DecodeTiffLzw(stream, cut, ours.data(), ours.size()));
        }
        // Changed bytes: whatever this decoder accepts, the library reads the same way.
        const QString changedPath = m_dir.filePath(QStringLiteral("lzw-changed.tif"));
        int accepted = 0;
        int refused = 0;
        for (int trial = 0; trial < 150; ++trial) {
            QByteArray changed = whole;
            const auto at = static_cast<qsizetype>(offset + random() % count);
            changed[at] = static_cast<char>(changed[at] ^ (1 << (random() % 8)));
            if (!DecodeTiffLzw(reinterpret_cast<const std::uint8_t *>(changed.constData()) + offset, count, ours.data(),
                               ours.size())) {
                ++refused;
                continue;
            }
            ++accepted;
            QFile out(changedPath);
            QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QCOMPARE(out.write(changed), changed.size());
            out.close();
            t = TIFFOpen(QFile::encodeName(changedPath).constData(), "r");
            QVERIFY(t != nullptr);
            std::vector<std::uint8_t> theirs(ours.size(), 0);
            (void)TIFFReadEncodedStrip(t, 0, theirs.data(), static_cast<tmsize_t>(theirs.size()));
            TIFFClose(t);
            QVERIFY2(ours == theirs, qPrintable(QStringLiteral("trial %1, byte %2").arg(trial).arg(at)));
        }
        QVERIFY(accepted > 0);
        QVERIFY(refused > 0);
    }

    void pixelsThatBreakTheirPromiseAreRefused_data()
    {
        QTest::addColumn<QByteArray>("how");
        QTest::newRow("not sealed") << QByteArrayLiteral("unsealed");
        QTest::newRow("shorter than the pixels") << QByteArrayLiteral("short");
        QTest::newRow("a pipe, not a memory file") << QByteArrayLiteral("pipe");
        QTest::newRow("a size beyond the limits") << QByteArrayLiteral("huge");
    }
    void pixelsThatBreakTheirPromiseAreRefused()
    {
        QFETCH(QByteArray, how);
        StopMetafileHelpers();
        qputenv("VV_FAKE_HELPER", how);
        qputenv("VANTREL_PICTURE_HELPER", QCoreApplication::applicationFilePath().toLocal8Bit());
        for (const bool later : {false, true}) {
            PictureRequest request;
            if (later) {
                request.drawSizeFor = [](QSize natural) { return natural; };
            }
            PictureError error = PictureError::None;
            const auto picture = LoadPicture(file("heic.heic"), request, &error);
            QVERIFY(!picture.has_value());
            QCOMPARE(error, PictureError::Damaged);
        }
        // The same stand-in keeping its promise is believed: it is what was refused above.
        StopMetafileHelpers();
        qputenv("VV_FAKE_HELPER", QByteArrayLiteral("good"));
        const auto kept = LoadPicture(file("heic.heic"), PictureRequest{});
        QVERIFY(kept.has_value());
        QCOMPARE(kept->image.size(), QSize(8, 8));
        StopMetafileHelpers();
        qunsetenv("VV_FAKE_HELPER");
        qputenv("VANTREL_PICTURE_HELPER", QByteArrayLiteral(VV_PICTURE_HELPER));
        QVERIFY(LoadPicture(file("heic.heic"), PictureRequest{}).has_value());
    }

    void reductionAveragesAreas()
    {
        // 4 x 2 of two colours reduced to 2 x 1: each output pixel is the mean of its 2 x 2.
        const std::uint32_t px[] = {0xFF000000, 0xFFFFFFFF, 0xFF0000FF, 0xFF0000FF,
                                    0xFFFFFFFF, 0xFF000000, 0xFF0000FF, 0xFF0000FF};
        const auto out = ReduceRaster(px, 4, 2, 4, 2, 1);
        QCOMPARE(out.size(), std::size_t(2));
        QCOMPARE(out[0], 0xFF808080u);
        QCOMPARE(out[1], 0xFF0000FFu);
        // A size that does not divide: 3 -> 2 keeps the total.
        const std::uint32_t row[] = {0xFF000000, 0xFF000030, 0xFF000060};
        const auto two = ReduceRaster(row, 3, 1, 3, 2, 1);
        QCOMPARE(two[0], 0xFF000010u);
        QCOMPARE(two[1], 0xFF000050u);
    }

    void reductionIsTheExactAreaMean()
    {
        // The reducer adds rows up before spreading them over columns; whatever the shapes, the
        // row layouts and their mix, every output pixel must still be the exact mean of the area
        // under it. Tall reductions stack more rows than the stack holds at once.
        std::mt19937 random(29);
        struct Shape
        {
            std::uint32_t w, h, outW, outH;
        };
        const Shape shapes[] = {{7, 5, 3, 2},     {40, 30, 13, 9}, {17, 600, 5, 1}, {3, 1000, 2, 7},
                                {64, 64, 64, 63}, {9, 530, 9, 2},  {101, 77, 1, 1}, {300, 4, 17, 4},
                                {33, 700, 4, 3},  {5, 514, 2, 1},  {6, 6, 5, 5},    {250, 260, 11, 1}};
        for (const Shape &shape : shapes) {
            for (int mix = 0; mix < 4; ++mix) {
                // Each row's layout: words, three samples, four samples, or any of them by turns.
                std::vector<int> layouts(shape.h);
                for (std::uint32_t y = 0; y < shape.h; ++y) {
                    layouts[y] = mix < 3 ? mix : static_cast<int>(random() % 3);
                }
                // Every source pixel as A, R, G, B.
                std::vector<std::array<std::uint32_t, 4>> argb(static_cast<std::size_t>(shape.w) * shape.h);
                for (auto &p : argb) {
                    for (auto &c : p) {
                        c = random() % 4 == 0 ? 255 : random() % 256;
                    }
                }
                std::vector<std::uint32_t> out(static_cast<std::size_t>(shape.outW) * shape.outH, 0x12345678);
                RowReducer reducer(shape.w, shape.h, shape.outW, shape.outH, out.data());
                std::vector<std::uint32_t> words(shape.w);
                std::vector<std::uint8_t> samples(static_cast<std::size_t>(shape.w) * 4);
                for (std::uint32_t y = 0; y < shape.h; ++y) {
                    const auto *row = &argb[static_cast<std::size_t>(y) * shape.w];
                    if (layouts[y] == 1) {
                        for (std::uint32_t x = 0; x < shape.w; ++x) {
                            auto &p = argb[static_cast<std::size_t>(y) * shape.w + x];
                            p[0] = 255;
                            for (int c = 0; c < 3; ++c) {
                                samples[x * 3 + c] = static_cast<std::uint8_t>(p[1 + c]);
                            }
                        }
                        reducer.addSamples(samples.data(), 3);
                    } else if (layouts[y] == 2) {
                        for (std::uint32_t x = 0; x < shape.w; ++x) {
                            for (int c = 0; c < 3; ++c) {
                                samples[x * 4 + c] = static_cast<std::uint8_t>(row[x][1 + c]);
                            }
                            samples[x * 4 + 3] = static_cast<std::uint8_t>(row[x][0]);
                        }
                        reducer.addSamples(samples.data(), 4);
                    } else {
                        for (std::uint32_t x = 0; x < shape.w; ++x) {
                            words[x] = (row[x][0] << 24) | (row[x][1] << 16) | (row[x][2] << 8) | row[x][3];
                        }
                        reducer.addRow(words.data());
                    }
                }
                // Source pixel x spans [x outW, (x + 1) outW) units, output column o spans
                // [o w, (o + 1) w); the same down.
                auto overlap = [](std::uint64_t a0, std::uint64_t a1, std::uint64_t b0, std::uint64_t b1) {
                    return std::max<std::uint64_t>(std::min(a1, b1), std::max(a0, b0)) - std::max(a0, b0);
                };
                const std::uint64_t area = static_cast<std::uint64_t>(shape.w) * shape.h;
                for (std::uint32_t oy = 0; oy < shape.outH; ++oy) {
                    for (std::uint32_t ox = 0; ox < shape.outW; ++ox) {
                        std::uint64_t sum[4] = {0, 0, 0, 0};
                        for (std::uint32_t y = 0; y < shape.h; ++y) {
                            const std::uint64_t wy =
                                overlap(std::uint64_t(y) * shape.outH, std::uint64_t(y + 1) * shape.outH,
                                        std::uint64_t(oy) * shape.h, std::uint64_t(oy + 1) * shape.h);
                            for (std::uint32_t x = 0; wy != 0 && x < shape.w; ++x) {
                                const std::uint64_t wx =
                                    overlap(std::uint64_t(x) * shape.outW, std::uint64_t(x + 1) * shape.outW,
                                            std::uint64_t(ox) * shape.w, std::uint64_t(ox + 1) * shape.w);
                                for (int c = 0; c < 4; ++c) {
                                    sum[c] += wx * wy * argb[static_cast<std::size_t>(y) * shape.w + x][c];
                                }
                            }
                        }
                        std::uint32_t expected = 0;
                        for (int c = 0; c < 4; ++c) {
                            expected = (expected << 8) | static_cast<std::uint32_t>((sum[c] + area / 2) / area);
                        }
                        const std::uint32_t got = out[static_cast<std::size_t>(oy) * shape.outW + ox];
                        QVERIFY2(got == expected,
                                 qPrintable(QStringLiteral("%1x%2 to %3x%4, mix %5, at %6,%7: %8, not %9")
                                                .arg(shape.w)
                                                .arg(shape.h)
                                                .arg(shape.outW)
                                                .arg(shape.outH)
                                                .arg(mix)
                                                .arg(ox)
                                                .arg(oy)
                                                .arg(got, 8, 16)
                                                .arg(expected, 8, 16)));
                    }
                }
            }
        }
    }

    void theListChoosesItsFormats()
    {
        for (const char *name :
             {"a.png", "b.WEBP", "c.tif", "d.TIFF", "e.heic", "f.HEIF", "g.avif", "h.jxl", "i.apng", "j.hif"}) {
            QVERIFY2(HasPictureExtension(QString::fromLatin1(name), PictureSet::All), name);
            QVERIFY2(!HasPictureExtension(QString::fromLatin1(name), PictureSet::Original), name);
        }
        for (const char *name : {"a.bmp", "b.JPG", "c.jpeg", "d.gif", "e.wmf", "f.EMF"}) {
            QVERIFY2(HasPictureExtension(QString::fromLatin1(name), PictureSet::Original), name);
            QVERIFY2(HasPictureExtension(QString::fromLatin1(name), PictureSet::All), name);
        }
        QCOMPARE(PicturePattern(PictureSet::Original), QStringLiteral("*.bmp;*.jpg;*.jpeg;*.gif;*.wmf;*.emf"));
        QVERIFY(PicturePattern(PictureSet::All).contains(QStringLiteral("*.heic")));
        // A fresh store lists every format; a store that holds the choice keeps it.
        auto reader = [](const QString &value) {
            return [value](const QString &section, const QString &key) {
                return section == QLatin1String("Settings") && key == QLatin1String("AllPictures") ? value : QString();
            };
        };
        QCOMPARE(StoredPictureSet(reader(QString())), PictureSet::All);
        QCOMPARE(StoredPictureSet(reader(QStringLiteral("False"))), PictureSet::Original);
        QCOMPARE(StoredPictureSet(reader(QStringLiteral("True"))), PictureSet::All);
    }
};

QTEST_MAIN(TestFormats)
#include "tst_formats.moc"
