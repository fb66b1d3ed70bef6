#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace quillmere {

// A JPEG file's bytes without the segments that change nothing the decoder
// makes of them: EXIF and XMP (APP1), colour profiles (APP2), IPTC (APP13)
// and comments. Two files with equal results decode to equal pixels, so a
// copy whose metadata alone was changed or stripped is known to be the same
// picture without decoding either (its turn, kept in EXIF, is the caller's
// to compare). Nothing when the bytes are not a JPEG whose segments can be
// walked up to its first scan.
std::optional<std::vector<std::uint8_t>> JpegDecoderInput(const std::vector<std::uint8_t> &file);

} // namespace quillmere
