#pragma once

#include <QImage>
#include <QRect>

namespace quillmere {

// Copies the whole of source onto rect of target, stretched to fill it.
// target must be in a 32-bit RGB format; the parts of rect outside target are
// clipped. Indexed sources are drawn through their colour table, so the
// picture's palette is in force for the copy.
//
// The mode follows the picture's depth: a picture of more than one bit per
// pixel is sampled nearest-neighbour (each target pixel takes exactly one
// source pixel, rows and columns are dropped or repeated, nothing is
// averaged); a one-bit picture has the source pixels that fall onto one target
// pixel combined by a bitwise AND of their colour values, so that thin black
// lines on white survive a reduction.
void stretchPixels(const QImage &source, int bitsPerPixel, QImage &target, const QRect &rect);

// The source pixel that nearest-neighbour sampling takes for target position
// index (0 <= index < targetLength) along a side of sourceLength pixels.
inline int nearestSourceIndex(int index, int targetLength, int sourceLength)
{
    return static_cast<int>(((2 * static_cast<long long>(index) + 1) * sourceLength) / (2 * static_cast<long long>(targetLength)));
}

} // namespace quillmere
