#include "imaging/exif_blocks.h"

#include "imaging/byte_source.h"
#include "imaging/orientation.h"

#include <cstring>

namespace quillmere {

namespace {

// Reads exactly count bytes or reports that the data ended.
bool readExactly(ByteSource &file, void *buffer, std::size_t count, std::uint64_t &consumed)
{
    consumed += count;
    return file.read(buffer, count) == count;
}

bool skipExactly(ByteSource &file, std::uint64_t count, std::uint64_t &consumed)
{
    consumed += count;
    return file.skip(count) == count;
}

std::uint32_t bigEndian32(const std::uint8_t *bytes)
{
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8)
        | std::uint32_t(bytes[3]);
}

} // namespace

std::vector<std::uint8_t> jpegExifBlock(ByteSource &file)
{
    std::uint64_t consumed = 0;
    std::uint8_t start[2];
    if (!readExactly(file, start, 2, consumed) || start[0] != 0xFF || start[1] != 0xD8) {
        return {};
    }
    while (consumed < kExifSearchBytes) {
        std::uint8_t marker[2];
        if (!readExactly(file, marker, 2, consumed) || marker[0] != 0xFF) {
            return {};
        }
        // Fill bytes (0xFF repeated) may stand before a marker.
        while (marker[1] == 0xFF) {
            if (!readExactly(file, &marker[1], 1, consumed) || consumed >= kExifSearchBytes) {
                return {};
            }
        }
        const std::uint8_t code = marker[1];
        // Markers without a length: temporary use and restart markers.
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) {
            continue;
        }
        // The first frame or scan header ends the metadata, as does the end.
        if ((code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC) || code == 0xDA
            || code == 0xD9) {
            return {};
        }
        std::uint8_t lengthBytes[2];
        if (!readExactly(file, lengthBytes, 2, consumed)) {
            return {};
        }
        const std::size_t length = (std::size_t(lengthBytes[0]) << 8) | lengthBytes[1];
        if (length < 2) {
            return {};
        }
        const std::size_t body = length - 2;
        static const std::uint8_t exifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
        if (code == 0xE1 && body > sizeof exifHeader) {
            std::vector<std::uint8_t> segment(body);
            if (!readExactly(file, segment.data(), body, consumed)) {
                return {};
            }
            if (std::memcmp(segment.data(), exifHeader, sizeof exifHeader) == 0) {
                segment.erase(segment.begin(), segment.begin() + sizeof exifHeader);
                return segment;
            }
            continue; // an XMP packet or another APP1 use
        }
        if (!skipExactly(file, body, consumed)) {
            return {};
        }
    }
    return {};
}

std::vector<std::uint8_t> pngExifBlock(ByteSource &file)
{
    std::uint64_t consumed = 0;
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::uint8_t head[8];
    if (!readExactly(file, head, 8, consumed) || std::memcmp(head, signature, 8) != 0) {
        return {};
    }
    while (consumed < kExifSearchBytes) {
        std::uint8_t chunk[8];
        if (!readExactly(file, chunk, 8, consumed)) {
            return {};
        }
        const std::uint32_t length = bigEndian32(chunk);
        if (length > 0x7FFFFFFFu) {
            return {};
        }
        if (std::memcmp(chunk + 4, "IDAT", 4) == 0 || std::memcmp(chunk + 4, "IEND", 4) == 0) {
            return {};
        }
        if (std::memcmp(chunk + 4, "eXIf", 4) == 0) {
            if (length > kMaxExifBlockBytes) {
                return {};
            }
            std::vector<std::uint8_t> block(length);
            if (!readExactly(file, block.data(), length, consumed)) {
                return {};
            }
            return block;
        }
        // The data and its CRC; a chunk reaching past the searched part
        // ends the search before it is read through.
        if (consumed + length + 4 > kExifSearchBytes || !skipExactly(file, std::uint64_t(length) + 4, consumed)) {
            return {};
        }
    }
    return {};
}

} // namespace quillmere
