#pragma once

#include <QRect>
#include <QSize>
#include <cstddef>
#include <cstdint>

class QImage;

namespace quillmere {

class TBitmap;

// What the header of a JPEG file says.
struct JpegHeader {
    int width = 0;
    int height = 0;
    bool grayscale = false;   // the file's colour space is grayscale
    bool progressive = false; // the file holds more than one scan
};

// What one decoding cost, for tests and benchmarks: the most memory libjpeg
// held at once (its own allocations, counted as it makes them) and the rows
// it produced through its whole output path rather than skipped.
struct JpegCost {
    std::uint64_t libraryPeakBytes = 0;
    std::uint64_t rowsDecoded = 0;
};

// The libjpeg decompressor behind TJPEGImage. Each fatal decoder error raises
// EJPEG "JPEG error #<code>" with the library's message code; warnings
// (corrupt data, data ending early) are ignored and the library prints
// nothing. The data is handed to the decoder in reads of up to 4096 bytes;
// when it runs out the decoder is given an end-of-image marker and finishes
// with what it received, except at the very first read, where an empty
// source is fatal.
//
// Every decoding is refused with EJPEG before any pixel or coefficient
// memory is taken when:
// - the picture is above the pixel cap (JERR_IMAGE_TOO_BIG);
// - the file has more scans than any encoder writes, kMaxJpegScans, counted
//   in its markers (JERR_NOTIMPL): every scan passes over the whole picture;
// - it is a multi-scan file whose coefficient memory or scan work is out of
//   all proportion to its size (JERR_IMAGE_TOO_BIG, see jpeg_evidence.h);
// - stretchJpeg only: a grayscale picture, whose rows cannot be skipped,
//   far larger than its file can honestly hold (JERR_IMAGE_TOO_BIG).
// libjpeg's own memory is held, with the pixels, within the cap (4 bytes per
// pixel of the cap): beyond it the library fails with JERR_OUT_OF_MEMORY or
// JERR_NO_BACKING_STORE.

// Reads the header only (an image is required).
JpegHeader readJpegHeader(const std::uint8_t *data, std::size_t size);

// Decodes the whole picture, with block smoothing, straight into into's
// pixel rows: 32-bit RGB for colour files (CMYK and Adobe YCCK files are
// converted to RGB), 8-bit indexed with a palette of at most 236 grey levels,
// quantized by the library, for grayscale files. (Displays here are 24 or 32
// bits deep, so colour files never need 8-bit output.)
//
// Full size unless `fill` is given: then at the smallest of libjpeg's DCT
// scales (1/8 to 8/8) whose result is at least fill's width and height, or
// at full size when none is. into is sized before the first row is decoded;
// on an error it keeps the rows decoded so far, and the rows never reached
// are black.
void decodeJpeg(const std::uint8_t *data, std::size_t size, TBitmap &into, QSize fill = QSize(),
                JpegCost *cost = nullptr);

// Draws the picture stretched onto rect of target exactly as decoding it in
// full and stretching the result would (nearest neighbour), without holding
// the picture: only the rows the stretch reads are decoded, one at a time,
// and libjpeg skips the others where its output allows (grayscale output is
// dithered, and the dither runs through every row). target must be 32-bit
// RGB. Raises like decodeJpeg; target then holds the rows drawn so far.
void stretchJpeg(const std::uint8_t *data, std::size_t size, QImage &target, const QRect &rect,
                 JpegCost *cost = nullptr);

constexpr int kMaxJpegScans = 100;
constexpr int kMaxJpegColours = 236;

} // namespace quillmere
