#pragma once

#include <cstdint>

namespace quillmere {

// The largest picture, in pixels, that the decoders agree to build. 256
// megapixels leaves room for 200-megapixel panoramas while keeping the
// decoded picture of a hostile header (a 20-byte file claiming 65535 x 65535
// pixels) from asking for gigabytes: at 4 bytes a pixel the cap is 1 GiB, and
// a decoded picture together with libjpeg's own memory stays within that.
// (Thumbnails and the image view hold far less: they never hold a picture at
// full size.)
constexpr std::uint64_t kDefaultMaxPicturePixels = 256ull * 1024 * 1024;

// The cap in force. Tests lower it to reach its limits with small pictures;
// the program keeps the default.
std::uint64_t maxPicturePixels();
void setMaxPicturePixels(std::uint64_t pixels);

// Whether a picture of width x height stays within the cap; non-positive
// sides never do.
bool pictureSizeAllowed(std::int64_t width, std::int64_t height);

// Picture files are read into memory whole (JPEG) or streamed (BMP); a file
// larger than this is refused before anything is allocated for it.
constexpr std::uint64_t kMaxPictureFileBytes = 1024ull * 1024 * 1024;

} // namespace quillmere
