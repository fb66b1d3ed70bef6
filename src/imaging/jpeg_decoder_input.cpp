#include "imaging/jpeg_decoder_input.h"

namespace quillmere {

namespace {

constexpr std::uint8_t kMarker = 0xFF;
constexpr std::uint8_t kStartOfImage = 0xD8;
constexpr std::uint8_t kStartOfScan = 0xDA;

// The segments no decoder step reads. APP0 (JFIF) and APP14 (Adobe) stay:
// they decide how the colour channels are read.
bool onlyMetadata(std::uint8_t marker)
{
    return marker == 0xE1 || marker == 0xE2 || marker == 0xED || marker == 0xFE;
}

} // namespace

std::optional<std::vector<std::uint8_t>> JpegDecoderInput(const std::vector<std::uint8_t> &file)
{
    if (file.size() < 4 || file[0] != kMarker || file[1] != kStartOfImage) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> kept(file.begin(), file.begin() + 2);
    std::size_t at = 2;
    while (at + 4 <= file.size()) {
        if (file[at] != kMarker) {
            return std::nullopt;
        }
        const std::uint8_t marker = file[at + 1];
        if (marker == kMarker) {
            // Fill bytes before a marker.
            ++at;
            continue;
        }
        if (marker == kStartOfScan) {
            // The scans and what follows them are the picture itself.
            kept.insert(kept.end(), file.begin() + static_cast<std::ptrdiff_t>(at), file.end());
            return kept;
        }
        const std::size_t length = static_cast<std::size_t>(file[at + 2]) << 8 | file[at + 3];
        if (length < 2 || at + 2 + length > file.size()) {
            return std::nullopt;
        }
        if (!onlyMetadata(marker)) {
            kept.insert(kept.end(), file.begin() + static_cast<std::ptrdiff_t>(at),
                        file.begin() + static_cast<std::ptrdiff_t>(at + 2 + length));
        }
        at += 2 + length;
    }
    return std::nullopt;
}

} // namespace quillmere
