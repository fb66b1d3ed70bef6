#pragma once

#include <cstddef>
#include <cstdint>

namespace quillmere {

class TBitmap;

// What the header of a JPEG file says.
struct JpegHeader {
    int width = 0;
    int height = 0;
    bool grayscale = false;   // the file's colour space is grayscale
    bool progressive = false; // the file holds more than one scan
};

// The libjpeg decompressor behind TJPEGImage. Each fatal decoder error raises
// EJPEG "JPEG error #<code>" with the library's message code; warnings
// (corrupt data, data ending early) are ignored and the library prints
// nothing. The data is handed to the decoder in reads of up to 4096 bytes;
// when it runs out the decoder is given an end-of-image marker and finishes
// with what it received, except at the very first read, where an empty
// source is fatal.

// Reads the header only (an image is required).
JpegHeader readJpegHeader(const std::uint8_t *data, std::size_t size);

// Decodes the whole picture at full size, with block smoothing, straight
// into into's pixel rows: 32-bit RGB for colour files (CMYK and Adobe YCCK
// files are converted to RGB), 8-bit indexed with a palette of at most 236
// grey levels, quantized by the library, for grayscale files. (Displays here
// are 24 or 32 bits deep, so colour files never need 8-bit output.) into is sized
// before the first row is decoded; on an error it keeps the rows decoded so
// far, and the rows never reached are black.
//
// Refused with EJPEG before any pixel memory is taken: pictures above the
// pixel cap (JERR_IMAGE_TOO_BIG) and files of more scans than any encoder
// writes, kMaxJpegScans (JERR_NOTIMPL), whose decoding time would otherwise
// grow with every scan over the whole picture.
void decodeJpeg(const std::uint8_t *data, std::size_t size, TBitmap &into);

constexpr int kMaxJpegScans = 100;
constexpr int kMaxJpegColours = 236;

} // namespace quillmere
