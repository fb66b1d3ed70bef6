#pragma once

#include "imaging/bitmap.h"

#include <QSize>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmere {

class PictureFormat;

// The registered format whose signature the bytes begin with, the first in
// registry order; nullptr for none.
const PictureFormat *PictureFormatOfBytes(const std::uint8_t *data, std::size_t size);

// The same for the first bytes of a file; nullptr also when the file cannot
// be opened or read (a FIFO, a link or a folder is not opened at all).
const PictureFormat *PictureFormatOfContent(const std::string &path);

// A file's first bytes, as many as every format's signature needs (fewer in
// a shorter file); none when it cannot be opened or read.
std::vector<std::uint8_t> ContentStart(const std::string &path);

// format's orientation of the file, 1 when reading it fails in any way.
int OrientationOf(const PictureFormat &format, const std::string &path) noexcept;

// The size of the upright picture in a file from its headers alone, read by
// the format its content is; nothing when no format reads it or its headers
// are damaged.
std::optional<QSize> UprightPictureSize(const std::string &path);

// format's smallDecode, turned upright: at least atLeast on both sides of
// the upright picture.
TBitmap UprightSmallDecode(const PictureFormat &format, const std::string &path, QSize atLeast);

} // namespace quillmere
