#include "support/exif_writer.h"

#include "support/picture_fixtures.h"

#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>

#include <cstdlib>
#include <stdexcept>

namespace quillmere::test {

std::string exifBlockWithOrientation(int value, bool bigEndian)
{
    ExifData *data = exif_data_new();
    const ExifByteOrder order = bigEndian ? EXIF_BYTE_ORDER_MOTOROLA : EXIF_BYTE_ORDER_INTEL;
    exif_data_set_byte_order(data, order);
    ExifEntry *entry = exif_entry_new();
    exif_content_add_entry(data->ifd[EXIF_IFD_0], entry);
    exif_entry_initialize(entry, EXIF_TAG_ORIENTATION);
    exif_set_short(entry->data, order, static_cast<ExifShort>(value));
    exif_entry_unref(entry);
    unsigned char *saved = nullptr;
    unsigned int length = 0;
    exif_data_save_data(data, &saved, &length);
    exif_data_unref(data);
    if (saved == nullptr || length < 6) {
        std::free(saved);
        throw std::runtime_error("libexif wrote no block");
    }
    // libexif writes the APP1 segment's "Exif\0\0" first.
    std::string block(reinterpret_cast<const char *>(saved) + 6, length - 6);
    std::free(saved);
    return block;
}

std::string jpegWithExif(const std::string &jpeg, const std::string &block, const std::string &before)
{
    const std::string body = std::string("Exif\0\0", 6) + block;
    const std::size_t length = body.size() + 2;
    std::string segment = "\xFF\xE1";
    segment += static_cast<char>(length >> 8);
    segment += static_cast<char>(length & 0xFF);
    return jpeg.substr(0, 2) + before + segment + body + jpeg.substr(2);
}

std::string pngWithExif(const std::string &png, const std::string &block)
{
    const std::size_t afterHeader = 8 + 8 + 13 + 4;
    return png.substr(0, afterHeader) + pngChunk("eXIf", block) + png.substr(afterHeader);
}

} // namespace quillmere::test
