#pragma once

namespace quillmere {

class TBitmap;

// The picture that stands in for a file that cannot be shown: 100 x 80
// pixels, 24-bit, "Corrupt File" in black anti-aliased serif letters on
// white. It is compiled into the program (resources/corrupt_file.bmp, made
// by resources/make_fallback_picture.sh) and read once, with our own BMP
// reader, on first use.
const TBitmap &fallbackPicture();

} // namespace quillmere
