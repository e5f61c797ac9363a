// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "files/TransformRules.h"
#include "files/UndoJournal.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <optional>

// Turning and mirroring JPEG files without decoding them: the compressed blocks are moved as
// they are (TurboJPEG's lossless transforms), so nothing of the picture is lost however often it
// is turned. The EXIF orientation is taken into the transform and reset to "upright", so every
// program shows the result the same way.

// What to do with the partial blocks at the right or bottom edge that a transform would have to
// move to the left or the top.
enum class PartialBlocks { Refuse, Trim };

enum class TransformOutcome {
    Done,
    NotJpeg,       // another format: none of them carries an orientation we could write
    PartialBlocks, // refused: the edges are not whole blocks
    Damaged,       // a JPEG that cannot be transformed
    CannotRead,    // missing, not a regular file, or not readable
    CannotWrite,   // the folder or the disk refused the new file; the original is as it was
    Changed,       // the file changed while it was transformed; it is left as it is now
};

// The message for an outcome other than Done, naming the file as the user sees it.
[[nodiscard]] QString TransformFailureText(TransformOutcome outcome, const QString &fileName);

// What a transform of these bytes would do.
struct JpegTransformPlan
{
    int orientation = 1;                // the EXIF orientation now (1 when there is none)
    Transform stored = Transform::None; // what is done to the stored blocks
    QSize storedSize;
    QSize block;   // the MCU size in pixels
    QSize trimmed; // pixels of stored width and height a trim cuts off (0 x 0: perfect)
};
[[nodiscard]] std::optional<JpegTransformPlan> PlanJpegTransform(const QByteArray &jpeg, Transform asked);

// The EXIF orientation recorded in a JPEG (1 to 8), or nothing when it has none.
[[nodiscard]] std::optional<int> JpegOrientation(const QByteArray &jpeg);

// The transformed file, with the EXIF orientation set to 1 and every other marker copied.
[[nodiscard]] std::optional<QByteArray> TransformJpegBytes(const QByteArray &jpeg, Transform asked,
                                                           PartialBlocks partial, TransformOutcome *outcome);

// Transforms the file at `path` (a link: the file it points to) in place. The new contents go
// to a temporary file in the same folder, flushed to disk, which then takes the file's name in
// one step: at every moment the name holds either the old picture or the new one, whole. The
// old bytes are kept in `keepFolder` first; on success `step` can take the transform back.
struct FileTransformResult
{
    TransformOutcome outcome = TransformOutcome::CannotRead;
    UndoStep step;
};
[[nodiscard]] FileTransformResult TransformJpegFile(const QString &path, Transform asked, PartialBlocks partial,
                                                    const QString &keepFolder);

// Writes `bytes` over the file at `path` the same way (permissions kept). 0 or -errno.
[[nodiscard]] int ReplaceFileAtomically(const QString &path, const QByteArray &bytes);

// Reads a whole regular file; nothing when it cannot be read or is larger than `limit` bytes.
[[nodiscard]] std::optional<QByteArray> ReadWholeFile(const QString &path, qint64 limit = qint64(1) << 30);
