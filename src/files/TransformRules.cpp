// SPDX-License-Identifier: GPL-2.0-or-later
#include "files/TransformRules.h"

#include <array>

namespace {

// Each transform as the 2 x 2 matrix it applies to a point (x to the right, y downwards),
// in the order of the enumeration.
struct Matrix
{
    int a, b, c, d; // x' = a x + b y, y' = c x + d y
    friend bool operator==(const Matrix &, const Matrix &) = default;
};

constexpr std::array<Matrix, 8> kMatrices{{
    {1, 0, 0, 1},   // None
    {-1, 0, 0, 1},  // FlipHorizontal
    {-1, 0, 0, -1}, // Rotate180
    {1, 0, 0, -1},  // FlipVertical
    {0, 1, 1, 0},   // Transpose
    {0, -1, 1, 0},  // Rotate90: the top edge becomes the right edge
    {0, -1, -1, 0}, // Transverse
    {0, 1, -1, 0},  // Rotate270
}};

Matrix matrixOf(Transform t)
{
    return kMatrices[static_cast<std::size_t>(t)];
}

} // namespace

Transform TransformOfOrientation(int exifOrientation)
{
    if (exifOrientation < 1 || exifOrientation > 8) {
        return Transform::None;
    }
    return static_cast<Transform>(exifOrientation - 1);
}

int OrientationOfTransform(Transform t)
{
    return static_cast<int>(t) + 1;
}

Transform Compose(Transform first, Transform then)
{
    const Matrix f = matrixOf(first);
    const Matrix t = matrixOf(then);
    const Matrix product{t.a * f.a + t.b * f.c, t.a * f.b + t.b * f.d, t.c * f.a + t.d * f.c, t.c * f.b + t.d * f.d};
    for (std::size_t k = 0; k < kMatrices.size(); ++k) {
        if (kMatrices[k] == product) {
            return static_cast<Transform>(k);
        }
    }
    return Transform::None; // the eight are closed under composition: not reached
}

Transform StoredTransformFor(int exifOrientation, Transform asked)
{
    return Compose(TransformOfOrientation(exifOrientation), asked);
}

bool SwapsSides(Transform t)
{
    return matrixOf(t).a == 0;
}

QSize PartialEdges(Transform stored, QSize storedSize, QSize block)
{
    if (block.width() <= 0 || block.height() <= 0) {
        return {0, 0};
    }
    const Matrix m = matrixOf(stored);
    // A stored edge that moves to the left or the top of the result (its coordinate negated)
    // needs whole blocks: stored x is negated where the x column of the matrix is negative.
    const bool xReversed = m.a < 0 || m.c < 0;
    const bool yReversed = m.b < 0 || m.d < 0;
    return {xReversed ? storedSize.width() % block.width() : 0, yReversed ? storedSize.height() % block.height() : 0};
}

QString TransformLabel(Transform asked)
{
    switch (asked) {
    case Transform::Rotate90:
        return QStringLiteral("Rotate Right");
    case Transform::Rotate270:
        return QStringLiteral("Rotate Left");
    case Transform::Rotate180:
        return QStringLiteral("Rotate 180");
    case Transform::FlipHorizontal:
        return QStringLiteral("Flip Horizontally");
    case Transform::FlipVertical:
        return QStringLiteral("Flip Vertically");
    case Transform::Transpose:
    case Transform::Transverse:
    case Transform::None:
        break;
    }
    return QStringLiteral("Transform");
}
