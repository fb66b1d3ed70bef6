#pragma once

#include <QImage>
#include <QList>
#include <QRect>
#include <QRgb>
#include <cstdint>

namespace quillmere {

class ByteSource;

// A picture as read from a BMP file.
struct DecodedBitmap {
    QImage image;          // null for an empty file
    int bitsPerPixel = 0;  // the file's depth (32 for expanded run-length data)
    QList<QRgb> palette;   // the file's colour table, at most 256 entries
};

// Reads a Windows bitmap file from the source's current position to its end,
// strictly in sequence and without seeking.
//
// Headers: the 12-byte core header (with 3-byte colour table entries) and the
// 40-byte information header or any longer version (4-byte entries). The
// offset of the pixel data in the file header is not used: the pixels are
// taken to follow the colour table directly. Depths 1, 4, 8, 16, 24 and 32 are
// read uncompressed; 16 and 32 also with bit-field masks; run-length encoded
// 8-bit and 4-bit data are expanded into 32-bit RGB with the colour table as
// palette. Bottom-up and top-down (negative height) rows are accepted.
//
// The pixel data read is the header's image size, or the whole rows when that
// is 0, but never more than the file has left. Pixels the file lacks are zero:
// black in true-colour pictures, the first colour table entry in indexed ones.
//
// Errors:
// - no bytes at all: an empty picture, no error;
// - the file ends inside the file header, the information header, the masks
//   or the colour table: EReadError "Stream read error";
// - no "BM" signature, colour planes not 1, a size, depth or compression that
//   cannot make a picture, or a picture above the pixel cap: EInvalidGraphic
//   "Bitmap image is not valid".
DecodedBitmap readBmp(ByteSource &source);

// What the headers of a BMP file say, read (and checked, raising readBmp's
// errors) without the pixel data, which follows in the next pixelBytes bytes
// of the source. An empty file gives a 0 x 0 picture.
struct BmpInfo {
    QSize size{0, 0};
    int bitsPerPixel = 0; // as readBmp reports it
    QList<QRgb> palette;
    std::uint64_t pixelBytes = 0;
};
BmpInfo readBmpInfo(ByteSource &source);

// Reads a Windows bitmap file as readBmp does, raising the same errors, and
// draws it stretched onto rect of target (32-bit RGB) exactly as stretching
// readBmp's picture would, without ever holding the picture: only the rows
// and columns the stretch takes are kept, the other rows are skipped, and
// the rows the file lacks cost nothing per row. Returns the picture's size;
// an empty file gives 0 x 0 and draws nothing.
QSize stretchBmp(ByteSource &source, QImage &target, const QRect &rect);

} // namespace quillmere
