// SPDX-License-Identifier: GPL-2.0-or-later
#include "ExifWriter.h"
#include "Isolation.h"
#include "common/FileNames.h"
#include "common/picture/PictureDetails.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QtEndian>
#include <QtTest>

#include <sys/stat.h>

namespace {

QByteArray SmallJpeg()
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImage(16, 8, QImage::Format_RGB32).save(&buffer, "JPEG");
    return jpeg;
}

// A camera's block as cameras write it, in either byte order.
QByteArray CameraJpeg(bool bigEndian)
{
    ExifWriter exif(bigEndian);
    exif.ascii0(0x010F, "Canon");
    exif.ascii0(0x0110, "Canon EOS 5D Mark IV");
    exif.rationalExif(0x829A, 1, 250); // exposure time
    exif.rationalExif(0x829D, 28, 10); // f-number
    exif.shortExif(0x8827, 400);       // ISO
    exif.asciiExif(0x9003, "2023:07:14 16:03:22");
    exif.rationalExif(0x920A, 105, 1); // focal length
    exif.asciiExif(0xA433, "Canon");
    exif.asciiExif(0xA434, "EF24-105mm f/4L IS USM");
    return exif.into(SmallJpeg());
}

QByteArray be32(quint32 v)
{
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

// A camera's block (TIFF header first) in the container formats that carry one beside the
// picture: a PNG's eXIf chunk, a WebP's EXIF chunk, a JPEG XL container's Exif box.
QByteArray CameraContainer(const QString &format)
{
    ExifWriter exif(false);
    exif.ascii0(0x010F, "Canon");
    exif.ascii0(0x0110, "Canon EOS 5D Mark IV");
    exif.asciiExif(0x9003, "2023:07:14 16:03:22");
    const QByteArray tiff = exif.segment().mid(10); // past the marker, length and "Exif\0\0"
    if (format == QLatin1String("png")) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImage(16, 8, QImage::Format_RGB32).save(&buffer, "PNG");
        // After the header chunk (8 + 25 bytes), before the picture data.
        return png.left(33) + be32(static_cast<quint32>(tiff.size())) + "eXIf" + tiff + be32(0) + png.mid(33);
    }
    if (format == QLatin1String("webp")) {
        QByteArray chunks = QByteArray("VP8L", 4) + le32(5) + QByteArray("\x2f\0\0\0\0\0", 6);
        chunks += "EXIF" + le32(static_cast<quint32>(tiff.size())) + tiff + QByteArray(tiff.size() & 1, '\0');
        return "RIFF" + le32(static_cast<quint32>(4 + chunks.size())) + "WEBP" + chunks;
    }
    const QByteArray signature("\0\0\0\x0cJXL \r\n\x87\n", 12);
    const QByteArray type = be32(20) + "ftyp" + "jxl " + be32(0) + "jxl ";
    // Two bytes of padding before the TIFF header, which the box's first word points past.
    const QByteArray exifBox =
        be32(static_cast<quint32>(8 + 4 + 2 + tiff.size())) + "Exif" + be32(2) + QByteArray(2, '\0') + tiff;
    return signature + type + exifBox + be32(8) + "jxlc";
}

} // namespace

class TestDetails : public QObject
{
    Q_OBJECT

private slots:
    void camera_data()
    {
        QTest::addColumn<bool>("bigEndian");
        QTest::addRow("Intel order") << false;
        QTest::addRow("Motorola order") << true;
    }
    void camera()
    {
        QFETCH(bool, bigEndian);
        const PictureDetails d = ExifDetailsOf(CameraJpeg(bigEndian));
        QCOMPARE(d.taken, std::optional<QDateTime>(QDateTime(QDate(2023, 7, 14), QTime(16, 3, 22))));
        QCOMPARE(d.camera, QStringLiteral("Canon EOS 5D Mark IV"));
        // The lens maker in front, as for the camera.
        QCOMPARE(d.lens, QStringLiteral("Canon EF24-105mm f/4L IS USM"));
        QCOMPARE(d.exposureSeconds, std::optional<double>(1.0 / 250));
        QCOMPARE(d.fNumber, std::optional<double>(2.8));
        QCOMPARE(d.iso, std::optional<int>(400));
        QCOMPARE(d.focalLengthMm, std::optional<double>(105));
        PictureDetails shown = d;
        shown.dimensions = QSize(6720, 4480);
        shown.fileSize = 8'421'337;
        QCOMPARE(DetailLines("IMG_0001.JPG", shown),
                 (QStringList{"Name: IMG_0001.JPG", "Taken: 2023-07-14 16:03:22", "Camera: Canon EOS 5D Mark IV",
                              "Lens: Canon EF24-105mm f/4L IS USM", "Exposure: 1/250 s, f/2.8, ISO 400, 105 mm",
                              "Dimensions: 6720 x 4480 pixels", "Size: 8.4 MB"}));
    }

    void containers_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addRow("PNG") << "png";
        QTest::addRow("WebP") << "webp";
        QTest::addRow("JPEG XL") << "jxl";
    }
    void containers()
    {
        QFETCH(QString, format);
        IsolatedEnvironment env;
        const QByteArray bytes = CameraContainer(format);
        const PictureDetails d = ExifDetailsOf(bytes);
        QCOMPARE(d.taken, std::optional<QDateTime>(QDateTime(QDate(2023, 7, 14), QTime(16, 3, 22))));
        QCOMPARE(d.camera, QStringLiteral("Canon EOS 5D Mark IV"));
        QFile f(env.path(QStringLiteral("a.") + format));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        QCOMPARE(DateTaken(f.fileName()), d.taken);
        // Cut anywhere: read as far as it goes, nothing more.
        for (qsizetype cut = 0; cut < bytes.size(); ++cut) {
            (void)ExifDetailsOf(bytes.left(cut));
        }
        // Lengths that point past the end or wrap around find nothing.
        QByteArray lying = bytes;
        const qsizetype chunk = format == QLatin1String("png")    ? lying.indexOf("eXIf") - 4
                                : format == QLatin1String("webp") ? lying.indexOf("EXIF") + 4
                                                                  : lying.indexOf("Exif") - 4;
        lying.replace(chunk, 4, QByteArray(4, '\xff'));
        QVERIFY(!ExifDetailsOf(lying).taken);
        // A JPEG XL box of 64-bit size whose size wraps around when added to where it starts.
        QVERIFY(!ExifDetailsOf(QByteArray("\0\0\0\x0cJXL \r\n\x87\n\0\0\0\x01"
                                          "Exif\xff\xff\xff\xff\xff\xff\xff\xff"
                                          "1\xff=",
                                          31))
                     .taken);
    }

    // What a camera leaves out is left out; a maker not repeated in the model is put in front.
    void partial()
    {
        ExifWriter exif;
        exif.ascii0(0x010F, "NIKON");
        exif.ascii0(0x0110, "D750");
        exif.asciiExif(0x9003, "    :  :     :  :  "); // a camera without a clock
        const PictureDetails d = ExifDetailsOf(exif.into(SmallJpeg()));
        QCOMPARE(d.camera, QStringLiteral("NIKON D750"));
        QVERIFY(!d.taken);
        QVERIFY(d.lens.isEmpty());
        PictureDetails shown = d;
        shown.fileSize = 999;
        QCOMPARE(DetailLines(DecodeName(QByteArray("caf\xe9.jpg")), shown),
                 (QStringList{"Name: caf\\xE9.jpg", "Camera: NIKON D750", "Size: 999 bytes"}));
    }

    void texts_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::addRow("1/250") << 1.0 / 250 << "1/250 s";
        QTest::addRow("1/3") << 1.0 / 3 << "1/3 s";
        QTest::addRow("half") << 0.5 << "0.5 s";
        QTest::addRow("two") << 2.0 << "2 s";
        QTest::addRow("1.3") << 1.3 << "1.3 s";
    }
    void texts()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(ExposureText(seconds), text);
        QCOMPARE(FNumberText(11), QStringLiteral("f/11"));
        QCOMPARE(FNumberText(1.4), QStringLiteral("f/1.4"));
    }

    // No block, a damaged block, a FIFO or a missing file: nothing known, nothing hangs.
    void nothingToRead()
    {
        IsolatedEnvironment env;
        QVERIFY(!ExifDetailsOf(SmallJpeg()).taken);
        QByteArray damaged = CameraJpeg(false);
        damaged.truncate(40);
        QVERIFY(!ExifDetailsOf(damaged).taken); // a cut block: read as far as it goes, no more
        QVERIFY(ExifDetailsOf(QByteArray("\xFF\xD8\xFF\xE1\xFF\xFF"
                                         "Exif",
                                         10))
                    .camera.isEmpty());
        QCOMPARE(::mkfifo(EncodeName(env.path("fifo.jpg")).constData(), 0600), 0);
        QVERIFY(!DateTaken(env.path("fifo.jpg")));
        QCOMPARE(ReadExifDetails(env.path("fifo.jpg")).fileSize, qint64(-1));
        QCOMPARE(ReadExifDetails(env.path("missing.jpg")).fileSize, qint64(-1));
        QFile f(env.path("a.jpg"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(CameraJpeg(true));
        f.close();
        const PictureDetails d = ReadExifDetails(env.path("a.jpg"));
        QCOMPARE(d.fileSize, f.size());
        QCOMPARE(d.iso, std::optional<int>(400));
    }
};

QTEST_GUILESS_MAIN(TestDetails)
#include "tst_details.moc"
