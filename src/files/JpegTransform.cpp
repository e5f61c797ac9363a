// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/JpegTransform.h"

#include "common/FileNames.h"
#include "common/platform/AppPaths.h"
#include "files/FileTransfer.h"

#include <turbojpeg.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::uint16_t get16(const unsigned char *p, bool big)
{
    return big ? static_cast<std::uint16_t>(p[0] << 8 | p[1]) : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
}

std::uint32_t get32(const unsigned char *p, bool big)
{
    return big ? (std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3])
               : (std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0]);
}

// Where the value of the orientation tag (a SHORT in the first IFD of the Exif APP1 segment)
// lies in the file, and the byte order of its TIFF block.
struct OrientationField
{
    qsizetype offset = 0;
    bool bigEndian = false;
};

std::optional<OrientationField> findOrientation(const QByteArray &jpeg)
{
    const auto *d = reinterpret_cast<const unsigned char *>(jpeg.constData());
    const qsizetype n = jpeg.size();
    if (n < 4 || d[0] != 0xFF || d[1] != 0xD8) {
        return std::nullopt;
    }
    qsizetype at = 2;
    while (at + 4 <= n) {
        if (d[at] != 0xFF) {
            return std::nullopt;
        }
        const unsigned char marker = d[at + 1];
        if (marker == 0xFF) {
            ++at; // fill byte
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) {
            return std::nullopt; // the picture data begins: no Exif segment before it
        }
        const qsizetype length = d[at + 2] << 8 | d[at + 3];
        if (length < 2 || at + 2 + length > n) {
            return std::nullopt;
        }
        const unsigned char *seg = d + at + 4;
        const qsizetype segLength = length - 2;
        if (marker == 0xE1 && segLength >= 14 && std::memcmp(seg, "Exif\0\0", 6) == 0) {
            const unsigned char *tiff = seg + 6;
            const qsizetype tiffLength = segLength - 6;
            const bool big = tiff[0] == 'M' && tiff[1] == 'M';
            if (!big && !(tiff[0] == 'I' && tiff[1] == 'I')) {
                return std::nullopt;
            }
            if (get16(tiff + 2, big) != 42) {
                return std::nullopt;
            }
            const std::uint32_t ifd = get32(tiff + 4, big);
            if (ifd > static_cast<std::uint32_t>(tiffLength) - 2 || tiffLength < 2) {
                return std::nullopt;
            }
            const int count = get16(tiff + ifd, big);
            for (int k = 0; k < count; ++k) {
                const qsizetype entry = static_cast<qsizetype>(ifd) + 2 + qsizetype(k) * 12;
                if (entry + 12 > tiffLength) {
                    return std::nullopt;
                }
                // Tag 0x0112, type SHORT (3), one value: held in the entry itself.
                if (get16(tiff + entry, big) == 0x0112 && get16(tiff + entry + 2, big) == 3 &&
                    get32(tiff + entry + 4, big) == 1) {
                    return OrientationField{(tiff + entry + 8) - d, big};
                }
            }
            return std::nullopt;
        }
        at += 2 + length;
    }
    return std::nullopt;
}

struct TjHandle
{
    tjhandle h = tjInitTransform();
    ~TjHandle()
    {
        if (h != nullptr) {
            tjDestroy(h);
        }
    }
    TjHandle() = default;
    TjHandle(const TjHandle &) = delete;
    TjHandle &operator=(const TjHandle &) = delete;
};

int tjOperation(Transform t)
{
    switch (t) {
    case Transform::None:
        return TJXOP_NONE;
    case Transform::FlipHorizontal:
        return TJXOP_HFLIP;
    case Transform::FlipVertical:
        return TJXOP_VFLIP;
    case Transform::Transpose:
        return TJXOP_TRANSPOSE;
    case Transform::Transverse:
        return TJXOP_TRANSVERSE;
    case Transform::Rotate90:
        return TJXOP_ROT90;
    case Transform::Rotate180:
        return TJXOP_ROT180;
    case Transform::Rotate270:
        return TJXOP_ROT270;
    }
    return TJXOP_NONE;
}

QByteArray folderOfBytes(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : path.left(slash);
}

// The file a link points to, so that the link keeps pointing at the transformed picture.
QByteArray resolved(const QString &path)
{
    const QByteArray bytes = EncodeName(path);
    char *real = ::realpath(bytes.constData(), nullptr);
    if (real == nullptr) {
        return bytes;
    }
    QByteArray out(real);
    std::free(real);
    return out;
}

} // namespace

QString TransformFailureText(TransformOutcome outcome, const QString &fileName)
{
    const QString name = DisplayName(fileName);
    switch (outcome) {
    case TransformOutcome::Done:
        return {};
    case TransformOutcome::NotJpeg:
        return QStringLiteral("\"%1\" cannot be turned: only JPEG pictures can be turned without loss.").arg(name);
    case TransformOutcome::PartialBlocks:
        return QStringLiteral("\"%1\" cannot be turned without loss: its width or height is not a whole number of "
                              "blocks. Nothing was changed.")
            .arg(name);
    case TransformOutcome::Damaged:
        return QStringLiteral("\"%1\" cannot be turned: the picture is damaged. Nothing was changed.").arg(name);
    case TransformOutcome::CannotRead:
        return QStringLiteral("\"%1\" cannot be read. Nothing was changed.").arg(name);
    case TransformOutcome::CannotWrite:
        return QStringLiteral("\"%1\" could not be written (the folder or the disk refused it). The picture is as "
                              "it was.")
            .arg(name);
    case TransformOutcome::Changed:
        return QStringLiteral("\"%1\" was changed by another program while it was being turned. It is left as it "
                              "is now.")
            .arg(name);
    }
    return {};
}

std::optional<int> JpegOrientation(const QByteArray &jpeg)
{
    const auto field = findOrientation(jpeg);
    if (!field) {
        return std::nullopt;
    }
    const int value =
        get16(reinterpret_cast<const unsigned char *>(jpeg.constData()) + field->offset, field->bigEndian);
    if (value < 1 || value > 8) {
        return std::nullopt;
    }
    return value;
}

std::optional<JpegTransformPlan> PlanJpegTransform(const QByteArray &jpeg, Transform asked)
{
    TjHandle tj;
    if (tj.h == nullptr) {
        return std::nullopt;
    }
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(tj.h, reinterpret_cast<const unsigned char *>(jpeg.constData()),
                            static_cast<unsigned long>(jpeg.size()), &width, &height, &subsampling,
                            &colourspace) != 0 ||
        subsampling < 0 || subsampling >= TJ_NUMSAMP) {
        return std::nullopt;
    }
    JpegTransformPlan plan;
    plan.orientation = JpegOrientation(jpeg).value_or(1);
    plan.stored = StoredTransformFor(plan.orientation, asked);
    plan.storedSize = QSize(width, height);
    plan.block = QSize(tjMCUWidth[subsampling], tjMCUHeight[subsampling]);
    plan.trimmed = PartialEdges(plan.stored, plan.storedSize, plan.block);
    return plan;
}

std::optional<QByteArray> TransformJpegBytes(const QByteArray &jpeg, Transform asked, PartialBlocks partial,
                                             TransformOutcome *outcome)
{
    auto fail = [outcome](TransformOutcome why) -> std::optional<QByteArray> {
        if (outcome != nullptr) {
            *outcome = why;
        }
        return std::nullopt;
    };
    if (jpeg.size() < 4 || static_cast<unsigned char>(jpeg[0]) != 0xFF || static_cast<unsigned char>(jpeg[1]) != 0xD8) {
        return fail(TransformOutcome::NotJpeg);
    }
    const auto plan = PlanJpegTransform(jpeg, asked);
    if (!plan) {
        return fail(TransformOutcome::Damaged);
    }
    if (!plan->trimmed.isNull() && partial == PartialBlocks::Refuse) {
        return fail(TransformOutcome::PartialBlocks);
    }
    TjHandle tj;
    tjtransform xform{};
    xform.op = tjOperation(plan->stored);
    xform.options = partial == PartialBlocks::Trim ? TJXOPT_TRIM : TJXOPT_PERFECT;
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    if (tj.h == nullptr || tjTransform(tj.h, reinterpret_cast<const unsigned char *>(jpeg.constData()),
                                       static_cast<unsigned long>(jpeg.size()), 1, &out, &outSize, &xform, 0) != 0) {
        tjFree(out);
        return fail(TransformOutcome::Damaged);
    }
    QByteArray result(reinterpret_cast<const char *>(out), static_cast<qsizetype>(outSize));
    tjFree(out);
    // Every marker was copied as it was: the orientation now says "upright", since the blocks are.
    if (const auto field = findOrientation(result)) {
        result[field->offset] = field->bigEndian ? '\0' : '\1';
        result[field->offset + 1] = field->bigEndian ? '\1' : '\0';
    }
    if (outcome != nullptr) {
        *outcome = TransformOutcome::Done;
    }
    return result;
}

std::optional<QByteArray> ReadWholeFile(const QString &path, qint64 limit)
{
    const int fd = OpenRegularFile(path);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat st
    {};
    if (::fstat(fd, &st) != 0 || st.st_size > limit) {
        ::close(fd);
        return std::nullopt;
    }
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(st.st_size));
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ReadRetrying(fd, bytes.data() + done, static_cast<std::size_t>(bytes.size() - done));
        if (n <= 0) {
            break;
        }
        done += n;
    }
    ::close(fd);
    if (done != bytes.size()) {
        return std::nullopt; // shorter than it said: being rewritten
    }
    return bytes;
}

int ReplaceFileAtomically(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = EncodeName(path);
    struct stat st
    {};
    if (::stat(target.constData(), &st) != 0) {
        return -errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return -EINVAL;
    }
    FileSystemCalls calls;
    const QByteArray folder = folderOfBytes(target);
    QByteArray temporary;
    const int fd = calls.openNew(folder, &temporary);
    if (fd < 0) {
        return fd;
    }
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t w = ::write(fd, bytes.constData() + written, static_cast<std::size_t>(bytes.size() - written));
        if (w < 0 && errno == EINTR) {
            continue;
        }
        if (w <= 0) {
            const int e = w < 0 ? -errno : -EIO;
            (void)calls.discard(fd, temporary);
            return e;
        }
        written += w;
    }
    // The owner's permissions stay; the time is the new one, so thumbnails made of the old
    // picture are seen to be stale.
    ::fchmod(fd, st.st_mode & 07777);
    if (::fsync(fd) != 0) {
        const int e = -errno;
        (void)calls.discard(fd, temporary);
        return e;
    }
    const int published = calls.publish(fd, temporary, target, true);
    if (published != 0) {
        (void)calls.discard(fd, temporary);
        return published;
    }
    (void)calls.closeFile(fd);
    (void)calls.syncFolder(folder);
    return 0;
}

FileTransformResult TransformJpegFile(const QString &path, Transform asked, PartialBlocks partial,
                                      const QString &keepFolder)
{
    FileTransformResult result;
    const QString target = DecodeName(resolved(path));
    const auto before = IdentityOf(target);
    const auto bytes = ReadWholeFile(target);
    if (!before || !bytes) {
        result.outcome = TransformOutcome::CannotRead;
        return result;
    }
    TransformOutcome outcome = TransformOutcome::Damaged;
    const auto transformed = TransformJpegBytes(*bytes, asked, partial, &outcome);
    if (!transformed) {
        result.outcome = outcome;
        return result;
    }
    // The old bytes are kept before anything changes, so the step can always be taken back.
    const QString kept = KeepOriginal(keepFolder, *bytes);
    if (kept.isEmpty()) {
        result.outcome = TransformOutcome::CannotWrite;
        return result;
    }
    if (IdentityOf(target) != before) {
        ::unlink(EncodeName(kept).constData());
        result.outcome = TransformOutcome::Changed;
        return result;
    }
    if (ReplaceFileAtomically(target, *transformed) != 0) {
        ::unlink(EncodeName(kept).constData());
        result.outcome = TransformOutcome::CannotWrite;
        return result;
    }
    const auto after = IdentityOf(target);
    result.outcome = TransformOutcome::Done;
    result.step.kind = UndoStep::Kind::Transform;
    result.step.name = TransformLabel(asked);
    if (after) {
        UndoFile f;
        f.before = target;
        f.after = target;
        f.identity = *after;
        f.kept = kept;
        f.keptIdentity = *before;
        result.step.files.push_back(f);
    }
    return result;
}
