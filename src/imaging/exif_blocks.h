#pragma once

#include <cstdint>
#include <vector>

namespace quillmere {

class ByteSource;

// The EXIF block (TIFF-structured bytes, from "II" or "MM" on) of a JPEG
// file: the first APP1 segment that starts with "Exif\0\0", looked for among
// the segments before the first scan or frame. Empty when there is none,
// when the file is not a JPEG file or ends early, or when the block lies
// beyond the first kExifSearchBytes. Reads the segment headers only.
std::vector<std::uint8_t> jpegExifBlock(ByteSource &file);

// The same for a PNG file: the eXIf chunk's data, looked for among the
// chunks before the first image data. A chunk larger than
// kMaxExifBlockBytes counts as none.
std::vector<std::uint8_t> pngExifBlock(ByteSource &file);

} // namespace quillmere
