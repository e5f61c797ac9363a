// SPDX-License-Identifier: GPL-2.0-or-later
#include "ExifWriter.h"
#include "Isolation.h"
#include "common/FileNames.h"
#include "files/JpegTransform.h"
#include "files/TransformRules.h"
#include "files/UndoJournal.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <jpeglib.h>
#include <sys/mount.h>
#include <turbojpeg.h>
#include <unistd.h>

namespace {

// The oracle for the eight transforms: Qt's own image operations.
QImage Apply(const QImage &image, Transform t)
{
    const QImage rotated90 = image.transformed(QTransform().rotate(90));
    switch (t) {
    case Transform::None:
        return image;
    case Transform::FlipHorizontal:
        return image.mirrored(true, false);
    case Transform::FlipVertical:
        return image.mirrored(false, true);
    case Transform::Rotate180:
        return image.mirrored(true, true);
    case Transform::Rotate90:
        return rotated90;
    case Transform::Rotate270:
        return image.transformed(QTransform().rotate(270));
    case Transform::Transpose:
        return rotated90.mirrored(true, false);
    case Transform::Transverse:
        return rotated90.mirrored(false, true);
    }
    return {};
}

const QList<Transform> kAll{Transform::None,         Transform::FlipHorizontal, Transform::Rotate180,
                            Transform::FlipVertical, Transform::Transpose,      Transform::Rotate90,
                            Transform::Transverse,   Transform::Rotate270};

// A small picture every pixel of which differs from the others.
QImage Distinct(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.setPixel(x, y, qRgb(x * 40, y * 40, (x + y * w) * 9));
        }
    }
    return image;
}

// A photo-like JPEG made by TurboJPEG at the given chroma subsampling.
QByteArray MakeJpeg(int w, int h, int subsampling, quint32 seed = 7)
{
    QImage image(w, h, QImage::Format_RGB888);
    QRandomGenerator random(seed);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.setPixel(x, y,
                           qRgb((x * 255 / w + random.bounded(40)) & 0xFF, (y * 255 / h) & 0xFF,
                                ((x ^ y) * 3 + random.bounded(20)) & 0xFF));
        }
    }
    tjhandle tj = tjInitCompress();
    unsigned char *out = nullptr;
    unsigned long size = 0;
    const int r = tjCompress2(tj, image.constBits(), w, static_cast<int>(image.bytesPerLine()), h, TJPF_RGB, &out,
                              &size, subsampling, 90, 0);
    tjDestroy(tj);
    QByteArray jpeg =
        r == 0 ? QByteArray(reinterpret_cast<const char *>(out), static_cast<qsizetype>(size)) : QByteArray();
    tjFree(out);
    return jpeg;
}

QByteArray OrientationSegmentJpeg(const QByteArray &jpeg, int orientation, bool bigEndian = false)
{
    ExifWriter exif(bigEndian);
    exif.ascii0(0x010F, "Maker");
    exif.short0(0x0112, static_cast<std::uint16_t>(orientation));
    return exif.into(jpeg);
}

// Every DCT coefficient of every component, with the dimensions, as libjpeg reads them.
QByteArray Coefficients(const QByteArray &jpeg)
{
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    jvirt_barray_ptr *arrays = jpeg_read_coefficients(&cinfo);
    QByteArray out;
    out += QByteArray::number(cinfo.image_width) + "x" + QByteArray::number(cinfo.image_height) + ";";
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info &comp = cinfo.comp_info[c];
        out += QByteArray::number(comp.h_samp_factor) + QByteArray::number(comp.v_samp_factor) + ";";
        for (JDIMENSION row = 0; row < comp.height_in_blocks; ++row) {
            JBLOCKARRAY blocks =
                (cinfo.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&cinfo), arrays[c], row, 1, FALSE);
            out += QByteArray(reinterpret_cast<const char *>(blocks[0]),
                              static_cast<qsizetype>(comp.width_in_blocks * sizeof(JBLOCK)));
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

QImage Decode(const QByteArray &jpeg)
{
    QImage image;
    image.loadFromData(jpeg, "JPEG");
    return image.convertToFormat(QImage::Format_RGB32);
}

QStringList JpegtranArgs(Transform stored)
{
    switch (stored) {
    case Transform::None:
        return {};
    case Transform::FlipHorizontal:
        return {"-flip", "horizontal"};
    case Transform::FlipVertical:
        return {"-flip", "vertical"};
    case Transform::Rotate90:
        return {"-rotate", "90"};
    case Transform::Rotate180:
        return {"-rotate", "180"};
    case Transform::Rotate270:
        return {"-rotate", "270"};
    case Transform::Transpose:
        return {"-transpose"};
    case Transform::Transverse:
        return {"-transverse"};
    }
    return {};
}

// jpegtran's own transform of the same bytes.
QByteArray Jpegtran(const QByteArray &jpeg, Transform stored, bool trim)
{
    QProcess p;
    QStringList args{"-copy", "all", trim ? "-trim" : "-perfect"};
    args += JpegtranArgs(stored);
    p.start("jpegtran", args);
    p.write(jpeg);
    p.closeWriteChannel();
    p.waitForFinished(30000);
    return p.exitCode() == 0 ? p.readAllStandardOutput() : QByteArray();
}

bool Write(const QString &path, const QByteArray &data)
{
    const int fd = ::open(EncodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::write(fd, data.constData(), static_cast<size_t>(data.size())) == data.size();
    ::close(fd);
    return ok;
}

// The names of a folder by their bytes (Qt's listing cannot name every file).
QStringList Names(const QString &folder)
{
    QStringList names;
    if (DIR *dir = ::opendir(EncodeName(folder).constData())) {
        while (const dirent *e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
                names << DecodeName(QByteArray(e->d_name));
            }
        }
        ::closedir(dir);
    }
    names.sort();
    return names;
}

QByteArray Read(const QString &path)
{
    return ReadWholeFile(path).value_or(QByteArray("<unreadable>"));
}

} // namespace

class TestTransform : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("jpegtran").isEmpty()) {
            QFAIL("jpegtran (libjpeg-turbo-progs) is needed: scripts/install-deps.sh installs it");
        }
    }

    // Each composition matches doing the two one after the other, on real pixels.
    void compositionAgainstPixels()
    {
        const QImage image = Distinct(3, 2);
        for (Transform first : kAll) {
            for (Transform then : kAll) {
                const QImage expected = Apply(Apply(image, first), then);
                QCOMPARE(Apply(image, Compose(first, then)), expected);
            }
            QCOMPARE(Apply(image, first).size() != image.size(), SwapsSides(first));
        }
    }

    // The EXIF orientations mean what Qt's reader does with them, for both byte orders.
    void orientationsAsReadersApplyThem_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<bool>("bigEndian");
        for (int o = 1; o <= 8; ++o) {
            QTest::addRow("%d little", o) << o << false;
            QTest::addRow("%d big", o) << o << true;
        }
    }
    void orientationsAsReadersApplyThem()
    {
        QFETCH(int, orientation);
        QFETCH(bool, bigEndian);
        const QByteArray jpeg = OrientationSegmentJpeg(MakeJpeg(48, 32, TJSAMP_444), orientation, bigEndian);
        QCOMPARE(JpegOrientation(jpeg), std::optional<int>(orientation));
        QBuffer buffer;
        buffer.setData(jpeg);
        QImageReader upright(&buffer, "jpeg");
        upright.setAutoTransform(true);
        const QImage shown = upright.read().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(Apply(Decode(jpeg), TransformOfOrientation(orientation)), shown);
        QCOMPARE(OrientationOfTransform(TransformOfOrientation(orientation)), orientation);
    }

    void partialEdges_data()
    {
        QTest::addColumn<int>("transform");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("lost");
        const QSize mcu(16, 16);
        QTest::addRow("whole blocks") << int(Transform::Rotate90) << QSize(64, 48) << QSize(0, 0);
        QTest::addRow("transpose never loses") << int(Transform::Transpose) << QSize(70, 45) << QSize(0, 0);
        QTest::addRow("rotate right: the bottom") << int(Transform::Rotate90) << QSize(70, 45) << QSize(0, 13);
        QTest::addRow("rotate left: the right") << int(Transform::Rotate270) << QSize(70, 45) << QSize(6, 0);
        QTest::addRow("180: both") << int(Transform::Rotate180) << QSize(70, 45) << QSize(6, 13);
        QTest::addRow("mirror: the right") << int(Transform::FlipHorizontal) << QSize(70, 45) << QSize(6, 0);
        QTest::addRow("flip: the bottom") << int(Transform::FlipVertical) << QSize(70, 45) << QSize(0, 13);
        QTest::addRow("transverse: both") << int(Transform::Transverse) << QSize(70, 45) << QSize(6, 13);
        QTest::addRow("one pixel") << int(Transform::Rotate180) << QSize(1, 1) << QSize(1, 1);
    }
    void partialEdges()
    {
        QFETCH(int, transform);
        QFETCH(QSize, size);
        QFETCH(QSize, lost);
        QCOMPARE(PartialEdges(static_cast<Transform>(transform), size, QSize(16, 16)), lost);
    }

    // The result is jpegtran's, block for block and pixel for pixel, for every transform, every
    // subsampling and every starting orientation; the orientation is upright afterwards.
    void sameAsJpegtran_data()
    {
        QTest::addColumn<int>("subsampling");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("asked");
        const QList<QPair<int, const char *>> samplings{
            {TJSAMP_444, "444"}, {TJSAMP_422, "422"}, {TJSAMP_420, "420"}, {TJSAMP_GRAY, "gray"}};
        for (const auto &[sampling, name] : samplings) {
            for (Transform asked : {Transform::Rotate90, Transform::Rotate270, Transform::Rotate180,
                                    Transform::FlipHorizontal, Transform::FlipVertical}) {
                QTest::addRow("%s upright %d", name, int(asked)) << sampling << 1 << int(asked);
            }
        }
        for (int o = 2; o <= 8; ++o) {
            QTest::addRow("420 orientation %d, right", o) << int(TJSAMP_420) << o << int(Transform::Rotate90);
        }
    }
    void sameAsJpegtran()
    {
        QFETCH(int, subsampling);
        QFETCH(int, orientation);
        QFETCH(int, asked);
        const QByteArray plain = MakeJpeg(96, 64, subsampling);
        const QByteArray jpeg = orientation == 1 ? plain : OrientationSegmentJpeg(plain, orientation);
        TransformOutcome outcome = TransformOutcome::Damaged;
        const auto ours = TransformJpegBytes(jpeg, static_cast<Transform>(asked), PartialBlocks::Refuse, &outcome);
        QVERIFY(ours);
        QCOMPARE(int(outcome), int(TransformOutcome::Done));
        const Transform stored = StoredTransformFor(orientation, static_cast<Transform>(asked));
        const QByteArray theirs = Jpegtran(jpeg, stored, false);
        QVERIFY(!theirs.isEmpty());
        QCOMPARE(Coefficients(*ours), Coefficients(theirs));
        QCOMPARE(Decode(*ours), Decode(theirs));
        // What was shown, turned as asked, is what is shown now.
        QCOMPARE(Decode(*ours).size(),
                 Apply(Apply(Decode(jpeg), TransformOfOrientation(orientation)), static_cast<Transform>(asked)).size());
        if (orientation != 1) {
            QCOMPARE(JpegOrientation(*ours), std::optional<int>(1));
        }
        // Markers are kept: the maker's name is still there.
        QCOMPARE(ours->contains("Maker"), jpeg.contains("Maker"));
    }

    // Edges that are not whole blocks are refused, or trimmed as jpegtran trims them.
    void partialBlocks()
    {
        const QByteArray jpeg = MakeJpeg(70, 45, TJSAMP_420);
        TransformOutcome outcome = TransformOutcome::Done;
        QVERIFY(!TransformJpegBytes(jpeg, Transform::Rotate90, PartialBlocks::Refuse, &outcome));
        QCOMPARE(int(outcome), int(TransformOutcome::PartialBlocks));
        const auto trimmed = TransformJpegBytes(jpeg, Transform::Rotate90, PartialBlocks::Trim, &outcome);
        QVERIFY(trimmed);
        QCOMPARE(Coefficients(*trimmed), Coefficients(Jpegtran(jpeg, Transform::Rotate90, true)));
        QCOMPARE(Decode(*trimmed).size(), QSize(32, 70));
        // A transpose needs no whole blocks.
        const auto transposed = TransformJpegBytes(jpeg, Transform::Transpose, PartialBlocks::Refuse, &outcome);
        QVERIFY(transposed);
        QCOMPARE(Coefficients(*transposed), Coefficients(Jpegtran(jpeg, Transform::Transpose, false)));
    }

    void notAJpeg()
    {
        QByteArray bmp;
        QBuffer buffer(&bmp);
        buffer.open(QIODevice::WriteOnly);
        Distinct(8, 8).save(&buffer, "BMP");
        TransformOutcome outcome = TransformOutcome::Done;
        QVERIFY(!TransformJpegBytes(bmp, Transform::Rotate90, PartialBlocks::Trim, &outcome));
        QCOMPARE(int(outcome), int(TransformOutcome::NotJpeg));
        QVERIFY(!TransformJpegBytes(QByteArray("\xFF\xD8\xFF\xE0garbage", 11), Transform::Rotate90, PartialBlocks::Trim,
                                    &outcome));
        QCOMPARE(int(outcome), int(TransformOutcome::Damaged));
        QVERIFY(!TransformFailureText(TransformOutcome::NotJpeg, "a.bmp").isEmpty());
    }

    // A file turned in place (by its bytes), then taken back to exactly what it was.
    void fileAndUndo()
    {
        IsolatedEnvironment env;
        const QString folder = env.path("photos");
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + '/' + DecodeName(QByteArray("caf\xe9.jpg"));
        const QByteArray original = OrientationSegmentJpeg(MakeJpeg(64, 48, TJSAMP_420), 6);
        QVERIFY(Write(path, original));
        ::chmod(EncodeName(path).constData(), 0640);
        const FileTransformResult r =
            TransformJpegFile(path, Transform::Rotate90, PartialBlocks::Refuse, UndoKeepFolder());
        QCOMPARE(int(r.outcome), int(TransformOutcome::Done));
        const QByteArray turned = Read(path);
        QCOMPARE(Coefficients(turned), Coefficients(Jpegtran(original, Transform::Rotate180, false)));
        QCOMPARE(JpegOrientation(turned), std::optional<int>(1));
        QCOMPARE(StatPath(path)->st_mode & 07777, mode_t(0640));
        QCOMPARE(Names(folder), QStringList{FileNameOf(path)}); // no temporary left
        QCOMPARE(r.step.label(), QStringLiteral("Rotate Right"));
        QCOMPARE(r.step.files.size(), std::size_t(1));
        QCOMPARE(Read(r.step.files[0].kept), original);

        UndoJournal journal;
        journal.record(r.step);
        const UndoResult back = journal.undo();
        QCOMPARE(back.restored, QStringList{path});
        QCOMPARE(Read(path), original);
        QVERIFY(!QFile::exists(r.step.files[0].kept));
        QVERIFY(journal.isEmpty());
    }

    // Turns one after another go back one by one: each undo leaves the file as the step before
    // it left it, which that step then takes back in turn.
    void severalTurnsGoBackInOrder()
    {
        IsolatedEnvironment env;
        const QString path = env.path("a.jpg");
        const QByteArray original = MakeJpeg(64, 48, TJSAMP_420);
        QVERIFY(Write(path, original));
        UndoJournal journal;
        QList<QByteArray> states{original};
        for (Transform t : {Transform::Rotate90, Transform::FlipVertical, Transform::Rotate90}) {
            const FileTransformResult r = TransformJpegFile(path, t, PartialBlocks::Refuse, UndoKeepFolder());
            QCOMPARE(int(r.outcome), int(TransformOutcome::Done));
            journal.record(r.step);
            states << Read(path);
        }
        for (qsizetype k = states.size() - 2; k >= 0; --k) {
            const UndoResult back = journal.undo();
            QVERIFY2(back.refused.isEmpty(), qPrintable(back.refused.value(0).reason));
            QCOMPARE(Read(path), states.at(k));
        }
        QVERIFY(journal.isEmpty());
    }

    // A file changed after the turn is not overwritten by an undo; the step can never apply again,
    // so it leaves the journal and takes its kept copy with it.
    void undoLeavesAChangedFile()
    {
        IsolatedEnvironment env;
        const QString path = env.path("a.jpg");
        const QByteArray original = MakeJpeg(64, 48, TJSAMP_444);
        QVERIFY(Write(path, original));
        const FileTransformResult r =
            TransformJpegFile(path, Transform::FlipHorizontal, PartialBlocks::Refuse, UndoKeepFolder());
        QCOMPARE(int(r.outcome), int(TransformOutcome::Done));
        const QString kept = r.step.files[0].kept;
        QVERIFY(QFile::exists(kept));
        QVERIFY(Write(path, "edited elsewhere"));
        UndoJournal journal;
        journal.record(r.step);
        const UndoResult back = journal.undo();
        QVERIFY(back.restored.isEmpty());
        QCOMPARE(back.refused.size(), 1);
        QCOMPARE(Read(path), QByteArray("edited elsewhere"));
        QCOMPARE(journal.size(), std::size_t(0));
        QVERIFY(!QFile::exists(kept));
    }

    // A link is followed: the picture it points to is turned and the link stays a link.
    void linkFollowed()
    {
        IsolatedEnvironment env;
        const QString target = env.path("real.jpg");
        QVERIFY(Write(target, MakeJpeg(32, 32, TJSAMP_444)));
        const QString link = env.path("link.jpg");
        QVERIFY(QFile::link(target, link));
        const FileTransformResult r =
            TransformJpegFile(link, Transform::Rotate180, PartialBlocks::Refuse, UndoKeepFolder());
        QCOMPARE(int(r.outcome), int(TransformOutcome::Done));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(r.step.files[0].after, target);
    }

    void refusalsChangeNothing()
    {
        IsolatedEnvironment env;
        const QString odd = env.path("odd.jpg");
        const QByteArray jpeg = MakeJpeg(70, 45, TJSAMP_420);
        QVERIFY(Write(odd, jpeg));
        QCOMPARE(int(TransformJpegFile(odd, Transform::Rotate90, PartialBlocks::Refuse, UndoKeepFolder()).outcome),
                 int(TransformOutcome::PartialBlocks));
        QCOMPARE(Read(odd), jpeg);
        QVERIFY(::mkfifo(EncodeName(env.path("fifo.jpg")).constData(), 0600) == 0);
        QCOMPARE(int(TransformJpegFile(env.path("fifo.jpg"), Transform::Rotate90, PartialBlocks::Trim, UndoKeepFolder())
                         .outcome),
                 int(TransformOutcome::CannotRead));
        QCOMPARE(int(TransformJpegFile(env.path("none.jpg"), Transform::Rotate90, PartialBlocks::Trim, UndoKeepFolder())
                         .outcome),
                 int(TransformOutcome::CannotRead));
        // Without a folder to keep the old bytes in, nothing is turned (the step could not be undone).
        QCOMPARE(int(TransformJpegFile(odd, Transform::Transpose, PartialBlocks::Refuse, QString()).outcome),
                 int(TransformOutcome::CannotWrite));
        QCOMPARE(Read(odd), jpeg);
    }

    // A real disk that runs full while the new picture is written: the old one stays, whole.
    void fullDiskLeavesTheOriginal()
    {
        if (::geteuid() != 0) {
            QSKIP("mounting needs root");
        }
        IsolatedEnvironment env;
        const QString folder = env.path("small");
        QVERIFY(QDir().mkpath(folder));
        if (::mount("tmpfs", EncodeName(folder).constData(), "tmpfs", 0, "size=256k") != 0) {
            QSKIP("this machine does not allow mounting");
        }
        const QByteArray jpeg = MakeJpeg(512, 384, TJSAMP_444, 3);
        // Fill what is left but less than the new picture needs.
        const bool written = jpeg.size() > 60 * 1024 && Write(folder + "/a.jpg", jpeg) &&
                             Write(folder + "/filler", QByteArray(256 * 1024 - jpeg.size() - jpeg.size() / 2, 'x'));
        const FileTransformResult r =
            TransformJpegFile(folder + "/a.jpg", Transform::Rotate90, PartialBlocks::Refuse, UndoKeepFolder());
        const QStringList left = Names(folder);
        const QByteArray after = Read(folder + "/a.jpg");
        ::umount(EncodeName(folder).constData());
        QVERIFY(written);
        QCOMPARE(int(r.outcome), int(TransformOutcome::CannotWrite));
        QCOMPARE(after, jpeg);
        QCOMPARE(left, (QStringList{"a.jpg", "filler"}));
    }
};

QTEST_GUILESS_MAIN(TestTransform)
#include "tst_transform.moc"
