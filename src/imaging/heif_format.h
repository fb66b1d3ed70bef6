#pragma once

#include "platform/errors.h"

#include <cstddef>
#include <cstdint>

namespace quillmere {

class PictureFormat;

// HEIF files coded with HEVC ("*.heic", also ".heif" and ".hif"), decoded by
// libheif: the file's primary picture, turned upright by its rotation and
// mirror boxes, transparency laid over white. Only a name ending in one of
// the extensions asks for its thumbnail steps.
const PictureFormat &heicFormat();

// Whether the file type box at the start of a file names an AVIF file (HEIF
// coded with AV1): its major brand, or for the generic image brands the
// compatible brands read so far. Such files are not HEIC files.
bool isAvifFileType(const std::uint8_t *data, std::size_t size);

// A file libheif cannot read or decode, or one it is not allowed to.
class EHEIF : public Exception {
public:
    using Exception::Exception;
};

// libheif (and libavif) decode a picture whole, so what a file may make it decode is
// bounded by what the file can honestly hold. Anything a file's picture is
// built from (a coded picture, the canvas of a grid) may have sides up to
// the longest side its headers give, so that side squared is what it may
// cost. A file under 1 MiB may ask for kFreeHeifPixels: a 12-megapixel
// phone photo (4032 x 3024, longest side 4096 with its coding padding) that
// compresses well must still show, at about 140 MB and up to a second to
// decode. A larger file may ask for kHeifPixelsPerFileByte for each of its
// bytes: 16 pixels a byte is beyond what cameras write (a 12-megapixel photo
// takes 1.5 to 3 MB). libheif holds about kHeifLibraryBytesPerPixel bytes a
// pixel while it decodes (the coded planes, a copy, the RGBA picture), so
// the pixel cap, reckoned at 4 bytes a pixel, allows half as many pixels
// here.
constexpr std::uint64_t kFreeHeifPixels = 4160ull * 4160;
constexpr std::uint64_t kHeifFileBytesForFree = 1ull << 20;
constexpr std::uint64_t kHeifPixelsPerFileByte = 16;
constexpr std::uint64_t kHeifLibraryBytesPerPixel = 8;
bool heifDecodeAllowed(std::uint64_t longestSide, std::uint64_t fileBytes);

} // namespace quillmere
