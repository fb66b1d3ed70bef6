#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <vector>

namespace quillmere {

// How the stored pixels of a picture are turned against the upright picture,
// as the EXIF orientation tag numbers it: 1 upright, 2 mirrored left to
// right, 3 turned half round, 4 mirrored top to bottom, 5 mirrored along the
// top-left to bottom-right diagonal, 6 lying on its left side (turned a
// quarter clockwise shows it upright), 7 mirrored along the other diagonal,
// 8 lying on its right side (a quarter anticlockwise shows it upright).
constexpr int kUpright = 1;

// Whether the value is one of the eight orientations.
constexpr bool isOrientation(int orientation)
{
    return orientation >= 1 && orientation <= 8;
}

// Whether the upright picture's width is the stored picture's height
// (orientations 5 to 8).
constexpr bool swapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

// The upright picture's size for a stored picture of size.
QSize uprightSize(QSize stored, int orientation);

// The size to store for an upright size (the same swap undoes itself).
inline QSize storedSize(QSize upright, int orientation)
{
    return uprightSize(upright, orientation);
}

// The stored pixels turned and mirrored into the upright picture: every
// pixel moves, none is blended, so turning a bitmap that was stretched at
// the stored size gives exactly the upright picture stretched.
QImage uprightImage(const QImage &stored, int orientation);

// The orientation tag of the first image directory of an EXIF block given as
// TIFF-structured bytes (from "II" or "MM" on), read with libexif. 1 when
// the block is empty, damaged, has no tag, or holds a value outside 1 to 8.
int exifOrientation(const std::vector<std::uint8_t> &tiffBlock);

// The largest EXIF block read from a file; a larger one counts as none.
constexpr std::size_t kMaxExifBlockBytes = 1024 * 1024;
// How far into a file its EXIF block is looked for.
constexpr std::uint64_t kExifSearchBytes = 4 * 1024 * 1024;

} // namespace quillmere
