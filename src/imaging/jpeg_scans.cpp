#include "imaging/jpeg_scans.h"

namespace quillmere {

namespace {

constexpr std::uint8_t kStartOfScan = 0xDA;
constexpr std::uint8_t kEndOfImage = 0xD9;

bool standalone(std::uint8_t marker)
{
    // Start of image, restart markers and TEM carry no length.
    return marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01;
}

} // namespace

std::vector<std::vector<int>> listJpegScans(const std::uint8_t *data, std::size_t size, std::size_t limit)
{
    std::vector<std::vector<int>> scans;
    std::size_t at = 0;
    while (at < size && scans.size() <= limit) {
        // Like the decoder, step over anything up to the next 0xFF and over
        // fill bytes.
        while (at < size && data[at] != 0xFF) {
            ++at;
        }
        while (at < size && data[at] == 0xFF) {
            ++at;
        }
        if (at >= size) {
            break;
        }
        const std::uint8_t marker = data[at++];
        if (marker == kEndOfImage) {
            break;
        }
        if (standalone(marker) || marker == 0x00) {
            continue;
        }
        if (at + 2 > size) {
            break;
        }
        const std::size_t length = (static_cast<std::size_t>(data[at]) << 8) | data[at + 1];
        if (marker == kStartOfScan) {
            std::vector<int> components;
            if (at + 2 < size) {
                const std::size_t count = data[at + 2];
                for (std::size_t i = 0; i < count && at + 3 + 2 * i < size; ++i) {
                    components.push_back(data[at + 3 + 2 * i]);
                }
            }
            scans.push_back(std::move(components));
            at += length;
            // Entropy-coded data: a 0xFF there is followed by a stuffed zero
            // or a restart marker; anything else is the next marker.
            while (at + 1 < size) {
                if (data[at] == 0xFF && data[at + 1] != 0x00 && (data[at + 1] < 0xD0 || data[at + 1] > 0xD7)) {
                    break;
                }
                ++at;
            }
            continue;
        }
        at += length;
    }
    return scans;
}

} // namespace quillmere
