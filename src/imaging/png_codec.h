#pragma once

#include <QRect>
#include <cstddef>
#include <cstdint>

class QImage;

namespace quillmere {

// What the header (IHDR) of a PNG file says.
struct PngHeader {
    int width = 0;
    int height = 0;
    int bitDepth = 0;
    int colourType = 0;
    bool interlaced = false; // Adam7
};

// What one drawing cost, for tests and benchmarks: the most memory libpng
// held at once (counted as it allocates) and the rows it delivered (rows of
// the seven passes count one each for an interlaced file).
struct PngCost {
    std::uint64_t libraryPeakBytes = 0;
    std::uint64_t rowsRead = 0;
};

// The libpng decoder behind TPNGImage. A fatal libpng error raises EPNG
// "PNG error: <libpng's message>"; warnings are dropped and the library
// prints nothing. Only the chunks that make the picture are read: IHDR,
// PLTE, tRNS and the image data. Text, colour profiles and every other
// ancillary chunk (an animation's frame chunks included) are skipped
// unread, their checksums unchecked, so an animated file shows its still
// image, the first frame. libpng's own memory is limited to kPngLibraryMemory.

// Reads the signature and the chunks up to the image data.
PngHeader readPngHeader(const std::uint8_t *data, std::size_t size);

// Draws the picture stretched onto rect of target (nearest neighbour) as
// decoding it in full and stretching the result would, without holding the
// picture: rows are delivered one at a time and only the pixels the stretch
// takes are converted; an interlaced file keeps just those pixels of the
// rows it needs over its seven passes. Every colour type and depth comes out
// as 8-bit RGB, transparency (tRNS or an alpha channel) composited over
// white, 16-bit samples rounded to 8 bits; no gamma or colour profile is
// applied.
//
// A file that ends early draws what it holds, the rest of rect staying as it
// was, and raises nothing. Raises EPNG, having drawn what was decoded, on a
// damaged file, and before decoding any row when the picture is above the
// pixel cap or its image data would inflate to far more than its file can
// honestly hold (pngDataBelievable). target must be 32-bit RGB.
void stretchPng(const std::uint8_t *data, std::size_t size, QImage &target, const QRect &rect,
                PngCost *cost = nullptr);

// Whether a file of fileBytes bytes can honestly carry imageBytes of image
// data (the filtered rows that its compressed stream inflates to). zlib
// inflates at most about 1000 to 1, so a few kilobytes can claim gigabytes
// that take seconds to inflate for a picture of one flat colour. Pictures of
// up to kFreePngImageBytes (a 4K screenshot with alpha) pass whatever their
// file; beyond that each byte of the file allows kPngImageBytesPerFileByte.
// Photos and wallpapers compress a few to one, so a 20-megabyte 8000 x 6000
// wallpaper passes; two megabytes inflating to two gigabytes, or a flat
// 8K graphic of a few hundred kilobytes, get the fallback picture.
bool pngDataBelievable(std::uint64_t imageBytes, std::uint64_t fileBytes);

constexpr std::uint64_t kFreePngImageBytes = 40ull << 20;
constexpr std::uint64_t kPngImageBytesPerFileByte = 16;
// libpng's rows (two of at most 8 megabytes: its width limit is a million
// pixels of 8 bytes), zlib's window and its chunk buffers fit easily.
constexpr std::uint64_t kPngLibraryMemory = 48ull << 20;

} // namespace quillmere
