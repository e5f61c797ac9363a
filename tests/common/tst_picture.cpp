// SPDX-License-Identifier: GPL-2.0-or-later
#include "common/picture/MetafileFormat.h"
#include "common/picture/Picture.h"

#include "OfficeDrawing.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cstring>

#include <csignal>

namespace {

void appendLe16(QByteArray &b, int v)
{
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>((v >> 8) & 0xFF));
}

void appendLe32(QByteArray &b, qint64 v)
{
    appendLe16(b, static_cast<int>(v & 0xFFFF));
    appendLe16(b, static_cast<int>((v >> 16) & 0xFFFF));
}

// A placeable WMF: bounding box in units of 1/inch, a blue rectangle over it, then EOF (or the
// extra records given, in place of the rectangle).
QByteArray placeableWmf(int right, int bottom, int inch, const QByteArray &records = QByteArray())
{
    QByteArray body = records;
    if (body.isEmpty()) {
        appendLe32(body, 7); // CreateBrushIndirect
        appendLe16(body, 0x02FC);
        appendLe16(body, 0);
        appendLe32(body, 0xC03010);
        appendLe16(body, 0);
        appendLe32(body, 4); // SelectObject(0)
        appendLe16(body, 0x012D);
        appendLe16(body, 0);
        appendLe32(body, 7); // Rectangle(bottom, right, top, left)
        appendLe16(body, 0x041B);
        appendLe16(body, bottom);
        appendLe16(body, right);
        appendLe16(body, 0);
        appendLe16(body, 0);
    }
    appendLe32(body, 3);
    appendLe16(body, 0);
    QByteArray wmf;
    appendLe32(wmf, 0x9AC6CDD7);
    appendLe16(wmf, 0);
    appendLe16(wmf, 0);
    appendLe16(wmf, 0);
    appendLe16(wmf, right);
    appendLe16(wmf, bottom);
    appendLe16(wmf, inch);
    appendLe32(wmf, 0);
    int checksum = 0;
    for (int i = 0; i < 20; i += 2) {
        checksum ^= qFromLittleEndian<quint16>(wmf.constData() + i);
    }
    appendLe16(wmf, checksum);
    appendLe16(wmf, 1);
    appendLe16(wmf, 9);
    appendLe16(wmf, 0x300);
    appendLe32(wmf, (18 + body.size()) / 2);
    appendLe16(wmf, 1);
    appendLe32(wmf, 7);
    appendLe16(wmf, 0);
    return wmf + body;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QImage testImage(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    QPainter p(&image);
    p.fillRect(0, 0, w / 2, h / 2, QColor(220, 60, 30));
    return image;
}

// How much of `reference` (composited on white) `actual` reproduces: the share of pixels that
// have a pixel of similar colour within `reach` pixels in the other picture.
double agreement(const QImage &actualIn, const QImage &referenceIn, int reach, int tolerance)
{
    auto onWhite = [](const QImage &in) {
        QImage out(in.size(), QImage::Format_RGB32);
        out.fill(Qt::white);
        QPainter p(&out);
        p.drawImage(0, 0, in);
        return out;
    };
    const QImage a = onWhite(actualIn);
    const QImage r = onWhite(referenceIn);
    qint64 matched = 0;
    qint64 total = 0;
    for (int y = 0; y < r.height(); y += 2) {
        for (int x = 0; x < r.width(); x += 2) {
            const QRgb want = r.pixel(x, y);
            bool found = false;
            for (int dy = -reach; dy <= reach && !found; ++dy) {
                for (int dx = -reach; dx <= reach && !found; ++dx) {
                    const int ax = x + dx;
                    const int ay = y + dy;
                    if (ax < 0 || ay < 0 || ax >= a.width() || ay >= a.height()) {
                        continue;
                    }
                    const QRgb got = a.pixel(ax, ay);
                    found = std::abs(qRed(got) - qRed(want)) <= tolerance &&
                            std::abs(qGreen(got) - qGreen(want)) <= tolerance &&
                            std::abs(qBlue(got) - qBlue(want)) <= tolerance;
                }
            }
            matched += found ? 1 : 0;
            ++total;
        }
    }
    return total == 0 ? 0 : static_cast<double>(matched) / static_cast<double>(total);
}

// Share of the reference's dark (text) pixels that have a dark pixel within two pixels in `actual`.
double darkAgreement(const QImage &actual, const QImage &reference)
{
    auto dark = [](QRgb c) { return qAlpha(c) > 128 && qGray(c) < 60; };
    qint64 want = 0;
    qint64 found = 0;
    for (int y = 0; y < reference.height(); ++y) {
        for (int x = 0; x < reference.width(); ++x) {
            if (!dark(reference.pixel(x, y))) {
                continue;
            }
            ++want;
            bool hit = false;
            for (int dy = -2; dy <= 2 && !hit; ++dy) {
                for (int dx = -2; dx <= 2 && !hit; ++dx) {
                    const QPoint p(x + dx, y + dy);
                    hit = actual.rect().contains(p) && dark(actual.pixel(p));
                }
            }
            found += hit ? 1 : 0;
        }
    }
    return want == 0 ? 0 : static_cast<double>(found) / static_cast<double>(want);
}

// A file rewritten while it is read: the first pass (the header) sees `before`, everything after
// the loader goes back to its start sees `after`.
class RewrittenFile : public QIODevice
{
public:
    RewrittenFile(QByteArray before, QByteArray after)
        : m_before(std::move(before))
        , m_after(std::move(after))
    {}
    bool isSequential() const override { return false; }
    qint64 size() const override { return current().size(); }
    bool seek(qint64 pos) override
    {
        if (pos == 0 && QIODevice::pos() > 0) {
            m_rewritten = true;
        }
        return QIODevice::seek(pos);
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const QByteArray &bytes = current();
        const qint64 at = pos();
        const qint64 n = std::max<qint64>(0, std::min<qint64>(maxSize, bytes.size() - at));
        std::memcpy(data, bytes.constData() + at, static_cast<std::size_t>(n));
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const QByteArray &current() const { return m_rewritten ? m_after : m_before; }
    QByteArray m_before;
    QByteArray m_after;
    bool m_rewritten = false;
};

} // namespace

class PictureTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString file(const QString &name) const { return dir.filePath(name); }

    QString jpeg(const QString &name, int w, int h, QImageIOHandler::Transformations t = {})
    {
        QImageWriter writer(file(name), "jpeg");
        writer.setTransformation(t);
        writer.write(testImage(w, h));
        return file(name);
    }

    static PictureRequest at(float tpp, QSize draw = QSize())
    {
        PictureRequest r;
        r.twipsPerPixelX = tpp;
        r.twipsPerPixelY = tpp;
        r.drawSize = draw;
        return r;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        qputenv("VANTREL_METAFILE_HELPER", QByteArrayLiteral(VV_METAFILE_HELPER));
    }

    void extensionsMatchInAnyCase()
    {
        for (const char *yes : {"a.jpg", "B.JPG", "c.Jpeg", "d.bmp", "e.GIF", "f.wmf", "g.EMF", "x.y.jpeg"}) {
            QVERIFY2(HasPictureExtension(QString::fromLatin1(yes)), yes);
        }
        for (const char *no : {"a.jpe", "jpg", "a.jpg.txt", "a.", ""}) {
            QVERIFY2(!HasPictureExtension(QString::fromLatin1(no)), no);
        }
        // The original formats alone leave today's out.
        for (const char *no : {"a.jpe", "jpg", "a.png", "a.webp", "a.heic", "a.jpg.txt", "a.", ""}) {
            QVERIFY2(!HasPictureExtension(QString::fromLatin1(no), PictureSet::Original), no);
        }
    }

    void rasterNaturalSizeRoundTrips_data()
    {
        QTest::addColumn<int>("w");
        QTest::addColumn<int>("h");
        QTest::addColumn<float>("tpp");
        QTest::newRow("640x480 at 15") << 640 << 480 << 15.0f;
        QTest::newRow("640x480 at 12") << 640 << 480 << 12.0f;
        QTest::newRow("1x1") << 1 << 1 << 15.0f;
        QTest::newRow("wide strip") << 5000 << 1 << 15.0f;
        QTest::newRow("odd") << 1023 << 767 << 12.0f;
    }

    void rasterNaturalSizeRoundTrips()
    {
        QFETCH(int, w);
        QFETCH(int, h);
        QFETCH(float, tpp);
        const QString path = jpeg(QStringLiteral("rt.jpg"), w, h);
        const auto info = ReadPictureInfo(path, tpp, tpp);
        QVERIFY(info);
        QCOMPARE(info->kind, PictureKind::Jpeg);
        QCOMPARE(info->himetricWidth, ScalePixelsToHimetric(w, tpp));
        QCOMPARE(ScaleHimetricToPixels(info->himetricWidth, tpp), w);
        QCOMPARE(ScaleHimetricToPixels(info->himetricHeight, tpp), h);
        QCOMPARE(info->pixelSize, QSize(w, h));
        // 640 pixels at 15 twips per pixel are 6.67 inches: 16933 HIMETRIC.
        if (w == 640 && tpp == 15.0f) {
            QCOMPARE(info->himetricWidth, 16933);
        }
    }

    void exifOrientationGivesTheUprightSize()
    {
        const QString path = jpeg(QStringLiteral("rotated.jpg"), 400, 300, QImageIOHandler::TransformationRotate90);
        const auto info = ReadPictureInfo(path, 15, 15);
        QVERIFY(info);
        QCOMPARE(info->pixelSize, QSize(300, 400));
        const auto picture = LoadPicture(path, at(15));
        QVERIFY(picture);
        QCOMPARE(picture->image.size(), QSize(300, 400));
        // Scaled decodes stay upright too.
        const auto scaled = LoadPicture(path, at(15, QSize(150, 200)));
        QVERIFY(scaled);
        QCOMPARE(scaled->image.size(), QSize(150, 200));
    }

    void contentDecidesTheFormat()
    {
        QVERIFY(QFile::copy(jpeg(QStringLiteral("real.jpg"), 64, 48), file(QStringLiteral("disguised.bmp"))));
        const auto picture = LoadPicture(file(QStringLiteral("disguised.bmp")), at(15));
        QVERIFY(picture);
        QCOMPARE(picture->info.kind, PictureKind::Jpeg);
        QCOMPARE(picture->image.size(), QSize(64, 48));

        QVERIFY(write(file(QStringLiteral("notes.jpg")), "just some text, not a picture\n"));
        PictureError error = PictureError::None;
        QVERIFY(!LoadPicture(file(QStringLiteral("notes.jpg")), at(15), &error));
        QCOMPARE(error, PictureError::NotAPicture);

        QVERIFY(!LoadPicture(file(QStringLiteral("missing.jpg")), at(15), &error));
        QCOMPARE(error, PictureError::CannotOpen);
        QVERIFY(!LoadPicture(dir.path(), at(15), &error));
        QCOMPARE(error, PictureError::CannotOpen);
    }

    void bmpAndGifLoad()
    {
        QVERIFY(testImage(33, 17).save(file(QStringLiteral("b.bmp")), "BMP"));
        const auto bmp = LoadPicture(file(QStringLiteral("b.bmp")), at(15));
        QVERIFY(bmp);
        QCOMPARE(bmp->info.kind, PictureKind::Bitmap);
        QCOMPARE(bmp->image.size(), QSize(33, 17));
        const auto gif = LoadPicture(QStringLiteral(VV_SAMPLES "/barn.gif"), at(15));
        QVERIFY(gif);
        QCOMPARE(gif->info.kind, PictureKind::Gif);
        QCOMPARE(gif->image.size(), QSize(240, 180));
        QCOMPARE(gif->info.frameCount, 1);
    }

    void placeableWmfTakesItsSizeFromItsHeader()
    {
        // 2000 x 1000 units at 1000 units an inch: 2 x 1 inches.
        QVERIFY(write(file(QStringLiteral("two-by-one.wmf")), placeableWmf(2000, 1000, 1000)));
        const auto picture = LoadPicture(file(QStringLiteral("two-by-one.wmf")), at(15));
        QVERIFY(picture);
        QCOMPARE(picture->info.kind, PictureKind::Wmf);
        QCOMPARE(picture->Width(), 5080);
        QCOMPARE(picture->Height(), 2540);
        QCOMPARE(picture->bitmapSize(), QSize(192, 96)); // at 96 dpi
        QCOMPARE(picture->image.size(), QSize(192, 96));
        // The rectangle fills the picture in its colour (0x00BBGGRR 0xC03010 is RGB 10 30 C0).
        const QColor middle = picture->image.pixelColor(96, 48);
        QVERIFY2(qAbs(middle.red() - 0x10) < 8 && qAbs(middle.blue() - 0xC0) < 8, qPrintable(middle.name()));
        const auto at12 = ReadPictureInfo(file(QStringLiteral("two-by-one.wmf")), 12, 12);
        QCOMPARE(at12->pixelSize, QSize(240, 120));
        // Drawn for a smaller space, a metafile is drawn exactly there.
        const auto small = LoadPicture(file(QStringLiteral("two-by-one.wmf")), at(15, QSize(100, 100)));
        QCOMPARE(small->image.size(), QSize(100, 50));
    }

    void emfTakesItsSizeFromItsFrame()
    {
        const auto picture = LoadPicture(QStringLiteral(VV_SAMPLES "/shapes.emf"), at(15));
        QVERIFY(picture);
        QCOMPARE(picture->info.kind, PictureKind::Emf);
        QCOMPARE(picture->Width(), 12000); // rclFrame: 120 x 80 mm
        QCOMPARE(picture->Height(), 8000);
        QCOMPARE(picture->image.size(), QSize(454, 302));
    }

    void bundledSamplesLoad()
    {
        const QDir samples(QStringLiteral(VV_SAMPLES));
        int loaded = 0;
        for (const QString &name : samples.entryList(PictureNameFilters(), QDir::Files)) {
            PictureError error = PictureError::None;
            const auto picture = LoadPicture(samples.filePath(name), at(15), &error);
            if (name.startsWith(QLatin1String("notes"))) {
                QVERIFY(!picture);
                QCOMPARE(error, PictureError::NotAPicture);
                continue;
            }
            QVERIFY2(picture, qPrintable(name));
            QVERIFY2(!picture->image.isNull(), qPrintable(name));
            ++loaded;
        }
        QCOMPARE(loaded, 8);
    }

    void jpegDecodesScaledToTheSmallestSizeAtOrAboveTheDrawing()
    {
        const QString path = jpeg(QStringLiteral("big.jpg"), 4000, 3000);
        const auto fitted = LoadPicture(path, at(15, QSize(834, 626)));
        QVERIFY(fitted);
        QCOMPARE(fitted->image.size(), QSize(1000, 750));  // 1/4: 1/8 would be smaller than drawn
        QCOMPARE(fitted->bitmapSize(), QSize(4000, 3000)); // the picture keeps its natural size
        const auto thumb = LoadPicture(path, at(15, QSize(180, 135)));
        QCOMPARE(thumb->image.size(), QSize(500, 375));
        const auto full = LoadPicture(path, at(15));
        QCOMPARE(full->image.size(), QSize(4000, 3000));
        // A reused buffer decodes the same picture.
        const QImage first = full->image.copy();
        Picture spare = *full;
        RecyclePicture(std::move(spare));
        const auto again = LoadPicture(path, at(15));
        QVERIFY(again);
        QCOMPARE(again->image.pixel(10, 10), first.pixel(10, 10));
        QCOMPARE(again->image.pixel(3990, 2990), first.pixel(3990, 2990));
    }

    void manyPicturesComeBackInOrder()
    {
        QStringList paths;
        for (int i = 0; i < 12; ++i) {
            paths << jpeg(QStringLiteral("order%1.jpg").arg(i), 100 + 40 * i, 80);
        }
        paths.insert(5, file(QStringLiteral("notes.jpg")));
        QFuture<std::optional<Picture>> future = LoadPicturesAsync(paths, at(15, QSize(60, 60)));
        future.waitForFinished();
        QCOMPARE(future.resultCount(), paths.size());
        for (int i = 0; i < paths.size(); ++i) {
            const auto &result = future.resultAt(i);
            if (i == 5) {
                QVERIFY(!result);
                continue;
            }
            QVERIFY(result);
            const int index = i < 5 ? i : i - 1;
            QCOMPARE(result->bitmapSize().width(), 100 + 40 * index);
        }
    }

    void hostileFilesAreUnreadableQuickly_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("mayShow"); // a truncated JPEG shows what could be decoded

        QByteArray jpegBytes;
        {
            QBuffer buffer(&jpegBytes);
            buffer.open(QIODevice::WriteOnly);
            testImage(300, 200).save(&buffer, "JPEG");
        }
        QTest::newRow("zero bytes") << QByteArray() << "zero.jpg" << false;
        // Like other viewers, a truncated JPEG shows what could be decoded.
        QTest::newRow("truncated jpeg") << jpegBytes.left(jpegBytes.size() / 2) << "half.jpg" << true;
        QTest::newRow("jpeg header only") << jpegBytes.left(200) << "head.jpg" << true;
        QByteArray huge = jpegBytes;
        const int sof = huge.indexOf("\xFF\xC0");
        QVERIFY(sof > 0);
        huge[sof + 5] = static_cast<char>(0xEA); // height 60000
        huge[sof + 6] = static_cast<char>(0x60);
        huge[sof + 7] = static_cast<char>(0xEA); // width 60000
        huge[sof + 8] = static_cast<char>(0x60);
        QTest::newRow("jpeg declaring 60000 x 60000") << huge << "huge.jpg" << false;

        QByteArray bmp = "BM";
        appendLe32(bmp, 54);
        appendLe32(bmp, 0);
        appendLe32(bmp, 54);
        appendLe32(bmp, 40);
        appendLe32(bmp, 2000000000); // width
        appendLe32(bmp, 2000000000); // height
        appendLe16(bmp, 1);
        appendLe16(bmp, 24);
        bmp.append(QByteArray(24, '\0'));
        QTest::newRow("bmp declaring 2e9 x 2e9") << bmp << "huge.bmp" << false;

        QByteArray gif("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff", 19);
        for (int i = 0; i < 20000; ++i) {
            gif.append("\x21\xF9\x04\x00\x01\x00\x00\x00", 8);
            gif.append("\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00", 15);
        }
        gif.append('\x3B');
        QTest::newRow("gif with 20000 frames") << gif << "frames.gif" << true;

        QByteArray absurd;
        appendLe32(absurd, 0x7FFFFFFF); // a record claiming 4 GB
        appendLe16(absurd, 0x0324);
        appendLe16(absurd, 30000);
        QTest::newRow("wmf with an absurd record") << placeableWmf(1000, 1000, 1000, absurd) << "absurd.wmf" << true;
        QByteArray bigPolygon;
        appendLe32(bigPolygon, 4);
        appendLe16(bigPolygon, 0x0324);
        appendLe16(bigPolygon, 32767); // points beyond the record
        QTest::newRow("wmf polygon past its record")
            << placeableWmf(1000, 1000, 1000, bigPolygon) << "poly.wmf" << true;
        QTest::newRow("wmf declaring 0 units an inch") << placeableWmf(1000, 1000, 0) << "zero.wmf" << false;
        // Fitted, a vast metafile draws like any other; only its natural size is beyond the limits.
        QTest::newRow("wmf of 30 metres") << placeableWmf(32000, 32000, 27) << "vast.wmf" << true;

        QFile emf(QStringLiteral(VV_SAMPLES "/shapes.emf"));
        QVERIFY(emf.open(QIODevice::ReadOnly));
        const QByteArray emfBytes = emf.readAll();
        QTest::newRow("truncated emf") << emfBytes.left(emfBytes.size() - 30) << "cut.emf" << false;
        QByteArray overlapping = emfBytes;
        const auto second = qFromLittleEndian<quint32>(emfBytes.constData() + 4);
        overlapping[second + 4] = 4; // the record after the header says it is 4 bytes long
        overlapping[second + 5] = 0;
        QTest::newRow("emf with an overlapping record") << overlapping << "overlap.emf" << false;
        QByteArray emfHeaderOnly = emfBytes.left(120);
        QTest::newRow("emf header only") << emfHeaderOnly << "head.emf" << false;
    }

    void hostileFilesAreUnreadableQuickly()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(bool, mayShow);
        QVERIFY(write(file(name), bytes));
        QElapsedTimer clock;
        clock.start();
        PictureError error = PictureError::None;
        const auto picture = LoadPicture(file(name), at(15), &error);
        const auto fitted = LoadPicture(file(name), at(15, QSize(300, 300)));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        if (!mayShow) {
            QVERIFY(!picture);
            QVERIFY(!fitted);
            QVERIFY(error != PictureError::None);
        }
        if (picture) {
            QVERIFY(!picture->image.isNull());
        }
        if (name == QLatin1String("half.jpg") || name == QLatin1String("frames.gif")) {
            QVERIFY(picture);
            QCOMPARE(picture->image.size(), name == QLatin1String("half.jpg") ? QSize(300, 200) : QSize(1, 1));
        }
        if (name == QLatin1String("vast.wmf")) {
            QVERIFY(!picture);
            QCOMPARE(error, PictureError::TooLarge);
            QVERIFY(fitted);
            QCOMPARE(fitted->image.size(), QSize(300, 300));
        }
    }

    void fileRewrittenWhileItIsReadNeverCrashes_data()
    {
        QTest::addColumn<int>("cut");
        // The new content cut inside its header, just after it, and halfway.
        for (const int cut : {4, 20, 120, 160, 400, 2000}) {
            QTest::newRow(qPrintable(QString::number(cut))) << cut;
        }
    }

    void fileRewrittenWhileItIsReadNeverCrashes()
    {
        QFETCH(int, cut);
        QByteArray before;
        QByteArray after;
        {
            QBuffer a(&before);
            a.open(QIODevice::WriteOnly);
            testImage(1600, 1200).save(&a, "JPEG");
            QBuffer b(&after);
            b.open(QIODevice::WriteOnly);
            testImage(500, 100).save(&b, "JPEG");
        }
        RewrittenFile file(before, after.left(cut));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const auto picture = LoadPictureFrom(file, at(15));
        if (picture) {
            QVERIFY(!picture->image.isNull());
        }
    }

    void helperThatCrashesOrHangsMeansUnreadable_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<int>("atMostMs");
        QTest::newRow("crash") << QByteArray("#!/bin/sh\nkill -SEGV $$\n") << 2000;
        QTest::newRow("garbage out") << QByteArray("#!/bin/sh\nhead -c 16 >/dev/null\necho '<svg'\n") << 2000;
        QTest::newRow("answers before it reads") << QByteArray("#!/bin/sh\necho '<svg'\nexec sleep 60\n") << 7000;
        QTest::newRow("hang") << QByteArray("#!/bin/sh\nexec sleep 60\n") << 7000;
        QTest::newRow("flood") << QByteArray("#!/bin/sh\nexec cat /dev/zero\n") << 7000;
    }

    void helperThatCrashesOrHangsMeansUnreadable()
    {
        QFETCH(QByteArray, script);
        QFETCH(int, atMostMs);
        // A file of its own each: the last one may still be starting as the helper kept ready.
        const QString helper = file(QStringLiteral("bad-helper-%1.sh").arg(QTest::currentDataTag()).replace(' ', '-'));
        QVERIFY(write(helper, script));
        QFile::setPermissions(helper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("VANTREL_METAFILE_HELPER", helper.toLocal8Bit());
        QElapsedTimer clock;
        clock.start();
        PictureError error = PictureError::None;
        const auto picture = LoadPicture(QStringLiteral(VV_SAMPLES "/shapes.wmf"), at(15), &error);
        qputenv("VANTREL_METAFILE_HELPER", QByteArrayLiteral(VV_METAFILE_HELPER));
        QVERIFY(!picture);
        QCOMPARE(error, PictureError::Damaged);
        QVERIFY(clock.elapsed() < atMostMs);
    }

    // One helper serves one conversion after another; one that has died while it waited is
    // replaced without the picture failing; a metafile that kills its helper fails alone.
    void helperIsReusedAndReplacedAfterFailure()
    {
        const QString log = file(QStringLiteral("helper-starts.log"));
        const QString wrapper = file(QStringLiteral("counting-helper.sh"));
        QVERIFY(write(wrapper, QStringLiteral("#!/bin/sh\necho $$ >> '%1'\nexec '%2' \"$@\"\n")
                                   .arg(log, QStringLiteral(VV_METAFILE_HELPER))
                                   .toUtf8()));
        QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        auto starts = [&] {
            QFile f(log);
            return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().split('\n') : QList<QByteArray>();
        };
        qputenv("VANTREL_METAFILE_HELPER", wrapper.toLocal8Bit());
        auto restore = qScopeGuard([] { qputenv("VANTREL_METAFILE_HELPER", QByteArrayLiteral(VV_METAFILE_HELPER)); });
        for (int i = 0; i < 6; ++i) {
            QVERIFY(LoadPicture(QStringLiteral(VV_SAMPLES "/shapes.wmf"), at(15)));
            QVERIFY(LoadPicture(QStringLiteral(VV_SAMPLES "/shapes.emf"), at(15)));
        }
        QCOMPARE(starts().size(), 1);

        // Killed while it waits: the next picture still shows, from a fresh helper.
        const pid_t waiting = starts().constLast().toInt();
        QVERIFY(waiting > 1); // never 0: that would be this test's whole process group
        QVERIFY(::kill(waiting, SIGKILL) == 0);
        QTest::qWait(50);
        QVERIFY(LoadPicture(QStringLiteral(VV_SAMPLES "/shapes.emf"), at(15)));
        QCOMPARE(starts().size(), 2);

        // A metafile the converter refuses leaves the helper serving.
        const QString refused = file(QStringLiteral("refused.emf"));
        QByteArray emf = readAll(QStringLiteral(VV_SAMPLES "/shapes.emf"));
        emf.truncate(200); // the header promises records that are not there
        QVERIFY(write(refused, emf));
        PictureError error = PictureError::None;
        QVERIFY(!LoadPicture(refused, at(15), &error));
        QCOMPARE(error, PictureError::Damaged);
        QVERIFY(LoadPicture(QStringLiteral(VV_SAMPLES "/shapes.wmf"), at(15)));
        QCOMPARE(starts().size(), 2);

        // Pictures loaded side by side (a thumbnail page) each get their conversion.
        QStringList many;
        for (int i = 0; i < 12; ++i) {
            many << QStringLiteral(VV_SAMPLES "/shapes.%1").arg(i % 2 ? QStringLiteral("wmf") : QStringLiteral("emf"));
        }
        const auto results = LoadPicturesAsync(many, at(15)).results();
        QCOMPARE(results.size(), 12);
        for (const auto &picture : results) {
            QVERIFY(picture && !picture->image.isNull());
        }
    }

    // An office suite writes a gradient as hundreds of touching bands. Drawn fitted, the page's
    // background runs smoothly from its top colour to its bottom one: no hairline of what lies
    // behind between two bands, in either format; and the two formats draw the same page.
    void exportedGradientsLeaveNoSeams()
    {
        QImage pages[2];
        const std::pair<const char *, QByteArray> drawings[] = {{"office.wmf", OfficeDrawingWmf()},
                                                                {"office.emf", OfficeDrawingEmf()}};
        for (int i = 0; i < 2; ++i) {
            const QString path = file(QLatin1String(drawings[i].first));
            QVERIFY(write(path, drawings[i].second));
            const auto picture = LoadPicture(path, at(15, QSize(834, 768)));
            QVERIFY2(picture, drawings[i].first);
            pages[i] = picture->image.convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(pages[i].width(), 834);
            // Down the left margin only the background is drawn: light grows row by row.
            int previous = -1;
            for (int y = 0; y < pages[i].height(); ++y) {
                const QRgb c = pages[i].pixel(10, y);
                // Anti-aliased edges that meet leave a trace (1 - a)(1 - b) at most; a seam, far more.
                QVERIFY2(qAlpha(c) >= 245, qPrintable(QStringLiteral("%1: row %2 lets the back show through")
                                                          .arg(QLatin1String(drawings[i].first))
                                                          .arg(y)));
                const int light = qRed(c) + qGreen(c) + qBlue(c);
                QVERIFY2(light >= previous - 3, qPrintable(QStringLiteral("%1: a seam at row %2 (%3 after %4)")
                                                               .arg(QLatin1String(drawings[i].first))
                                                               .arg(y)
                                                               .arg(light)
                                                               .arg(previous)));
                previous = light;
            }
        }
        // The formats round the page's size each its own way: a pixel either way.
        QVERIFY(qAbs(pages[0].height() - pages[1].height()) <= 1);
        const double same = agreement(pages[0], pages[1], 2, 40);
        QVERIFY2(same > 0.99, qPrintable(QString::number(same)));
        qInfo("WMF and EMF agree on %.3f of the page", same);
    }

    void metafilesLookLikeTheirReference_data()
    {
        QTest::addColumn<QString>("metafile");
        QTest::addColumn<QString>("reference");
        for (const char *scene : {"scene-a", "scene-b"}) {
            for (const char *ext : {"wmf", "emf"}) {
                QTest::newRow(qPrintable(QStringLiteral("%1.%2").arg(QLatin1String(scene), QLatin1String(ext))))
                    << QStringLiteral(VV_TEST_DATA "/metafiles/%1.%2").arg(QLatin1String(scene), QLatin1String(ext))
                    << QStringLiteral(VV_TEST_DATA "/metafiles/%1.png").arg(QLatin1String(scene));
            }
        }
    }

    void metafilesLookLikeTheirReference()
    {
        QFETCH(QString, metafile);
        QFETCH(QString, reference);
        const QImage expected(reference);
        QVERIFY(!expected.isNull());
        const auto picture = LoadPicture(metafile, at(15));
        QVERIFY(picture);
        // Same size (the exporter rounds the natural size its own way: one pixel either side).
        QVERIFY2(qAbs(picture->image.width() - expected.width()) <= 1 &&
                     qAbs(picture->image.height() - expected.height()) <= 1,
                 qPrintable(QStringLiteral("%1x%2").arg(picture->image.width()).arg(picture->image.height())));
        // Every shape in place: nearly every pixel has its colour within two pixels.
        const double shapes = agreement(picture->image, expected, 2, 40);
        QVERIFY2(shapes > 0.97, qPrintable(QString::number(shapes)));
        qInfo("%s: shapes %.3f", qPrintable(QFileInfo(metafile).fileName()), shapes);
        // The text is there, where it belongs.
        const double text = darkAgreement(picture->image, expected);
        QVERIFY2(text > 0.8, qPrintable(QString::number(text)));
    }
};

QTEST_MAIN(PictureTest)
#include "tst_picture.moc"
