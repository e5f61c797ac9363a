// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QSize>
#include <QString>

// The eight ways a picture can be turned or mirrored without loss. Each names what is done to
// the picture as stored; the EXIF orientation tag (1 to 8) names the same eight as what has to
// be done to the stored picture to show it upright.
enum class Transform {
    None,           // EXIF 1
    FlipHorizontal, // EXIF 2: left and right swapped
    Rotate180,      // EXIF 3
    FlipVertical,   // EXIF 4: top and bottom swapped
    Transpose,      // EXIF 5: mirrored across the top-left to bottom-right diagonal
    Rotate90,       // EXIF 6: a quarter turn clockwise
    Transverse,     // EXIF 7: mirrored across the other diagonal
    Rotate270,      // EXIF 8: a quarter turn anticlockwise
};

[[nodiscard]] Transform TransformOfOrientation(int exifOrientation); // anything else than 1..8: None
[[nodiscard]] int OrientationOfTransform(Transform t);

// `first`, then `then`, as one transform.
[[nodiscard]] Transform Compose(Transform first, Transform then);

// What to do to the stored pixels so that the picture shown upright (as `exifOrientation` says)
// ends up turned by `asked`, with no orientation left to apply.
[[nodiscard]] Transform StoredTransformFor(int exifOrientation, Transform asked);

// True when the transform swaps width and height.
[[nodiscard]] bool SwapsSides(Transform t);

// A JPEG is stored in blocks (MCUs) of `block` pixels. A transform that moves the right or the
// bottom edge to the left or the top can only move whole blocks: the pixels of a partial block
// there either stay where they are (refused) or are cut off (trimmed). Returns how many pixels
// of the stored width and height a transform would cut off; 0 x 0 when it is perfect.
[[nodiscard]] QSize PartialEdges(Transform stored, QSize storedSize, QSize block);

// The file menu's and the undo journal's word for a transform the user asked for.
[[nodiscard]] QString TransformLabel(Transform asked);
