#pragma once

#include "platform/errors.h"

#include <QRect>
#include <QSize>
#include <cstddef>
#include <cstdint>

class QImage;

namespace quillmere {

class TBitmap;

// A fatal error of the TIFF decoder: "TIFF error: <libtiff's message>".
class ETIFF : public Exception {
public:
    using Exception::Exception;
};

// Where a TIFF file's bytes are: the whole file in memory, or an open file
// read in place at the offsets libtiff asks for (so that neither the size
// nor the thumbnail needs the whole file).
struct TiffBytes {
    const std::uint8_t *data = nullptr; // the whole file, when in memory
    int fd = -1;                        // else an open file, read with pread
    std::uint64_t size = 0;             // the file's length
};

// What the first page's directory says.
struct TiffHeader {
    int width = 0;
    int height = 0;
    bool grayscale = false; // black-is-zero or white-is-zero samples
    int orientation = 1;    // the Orientation tag, 1 to 8; 1 for any other value
};

// What one drawing cost, for tests: the strips or tiles whose data was asked
// for (a strip read row by row counts once) and the rows turned into colours.
struct TiffCost {
    std::uint64_t blocksRead = 0;
    std::uint64_t rowsConverted = 0;
};

// The libtiff decoder behind the TIFF format. libtiff prints nothing: its
// errors raise ETIFF, its warnings are dropped. No allocation of libtiff's
// may exceed kTiffLibraryBlockBytes.

// Reads the file's header and first directory only.
TiffHeader readTiffHeader(const TiffBytes &file);

// Draws the first page stretched onto rect of target (nearest neighbour,
// 32-bit RGB) as decoding it in full and stretching the result would,
// reading only the strips or tiles that hold the rows the stretch takes:
// a strip is read row by row, a tile row (or a strip of subsampled or
// separately stored samples) is turned into colours one band at a time.
// Every photometric libtiff's RGBA reader knows comes out as 8-bit RGB,
// transparency laid over white. The stored pixels are drawn as stored, the
// Orientation tag is not applied.
//
// A file whose next strip or tile lies past its end draws what comes
// before it and raises nothing. Raises ETIFF, having drawn what was
// decoded, on a damaged file, and before decoding anything when the page is
// above the pixel cap, its blocks would make a band above kTiffBandBytes,
// or its decoding would be out of proportion to the file (tiffWorkBelievable).
void stretchTiff(const TiffBytes &file, QImage &target, const QRect &rect, TiffCost *cost = nullptr);

// Decodes into `into`: the first page at full size when fill is not valid;
// else the smallest reduced-resolution page of the file (a SubIFD of the
// first page or a later page marked as a reduced image) whose sides cover
// fill, or the first page when none does, stretched down to the largest
// reduction by a power of two that still covers fill. Raises like
// stretchTiff, `into` then holding what was decoded.
void decodeTiff(const TiffBytes &file, TBitmap &into, QSize fill, TiffCost *cost = nullptr);

// Whether a file of fileBytes bytes can honestly stand for a page whose
// decoding takes `work` (the larger of its stored sample bytes and its
// pixels). LZW, Deflate, JPEG and fax compression reach a thousand to one
// and more, so a few kilobytes could otherwise cost seconds of decoding. Up
// to kFreeTiffWork passes whatever the file; beyond that each byte of the
// file allows kTiffWorkPerFileByte.
bool tiffWorkBelievable(std::uint64_t work, std::uint64_t fileBytes);

constexpr std::uint64_t kFreeTiffWork = 48ull << 20;
constexpr std::uint64_t kTiffWorkPerFileByte = 32;
// The colours of one band of rows, decoded at once.
constexpr std::uint64_t kTiffBandBytes = 32ull << 20;
// The largest single allocation libtiff may make (its strip and tile
// buffers, directory arrays).
constexpr std::uint64_t kTiffLibraryBlockBytes = 64ull << 20;
// How many directories are looked at for a reduced-resolution page.
constexpr int kTiffPagesSearched = 16;

} // namespace quillmere
