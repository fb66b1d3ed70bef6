#include "imaging/orientation.h"

#include <libexif/exif-data.h>
#include <libexif/exif-utils.h>

#include <cstring>
#include <memory>

namespace quillmere {

QSize uprightSize(QSize stored, int orientation)
{
    return swapsSides(orientation) ? stored.transposed() : stored;
}

QImage uprightImage(const QImage &stored, int orientation)
{
    if (!isOrientation(orientation) || orientation == kUpright || stored.isNull()) {
        return stored;
    }
    const QImage source = stored.convertToFormat(QImage::Format_RGB32);
    const int w = source.width();
    const int h = source.height();
    const QSize size = uprightSize(source.size(), orientation);
    QImage upright(size, QImage::Format_RGB32);
    // For each upright pixel (x, y), the stored pixel it shows.
    for (int y = 0; y < size.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(upright.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            int sx = x;
            int sy = y;
            switch (orientation) {
            case 2: sx = w - 1 - x; break;
            case 3: sx = w - 1 - x, sy = h - 1 - y; break;
            case 4: sy = h - 1 - y; break;
            case 5: sx = y, sy = x; break;
            case 6: sx = y, sy = h - 1 - x; break;
            case 7: sx = w - 1 - y, sy = h - 1 - x; break;
            case 8: sx = w - 1 - y, sy = x; break;
            default: break;
            }
            row[x] = reinterpret_cast<const QRgb *>(source.constScanLine(sy))[sx];
        }
    }
    return upright;
}

int exifOrientation(const std::vector<std::uint8_t> &tiffBlock)
{
    if (tiffBlock.size() < 8 || tiffBlock.size() > kMaxExifBlockBytes) {
        return kUpright;
    }
    // libexif reads a block that starts with the APP1 segment's "Exif\0\0".
    static const unsigned char header[6] = {'E', 'x', 'i', 'f', 0, 0};
    std::vector<unsigned char> block(sizeof header + tiffBlock.size());
    std::memcpy(block.data(), header, sizeof header);
    std::memcpy(block.data() + sizeof header, tiffBlock.data(), tiffBlock.size());

    const std::unique_ptr<ExifData, void (*)(ExifData *)> data(exif_data_new(), exif_data_unref);
    if (!data) {
        return kUpright;
    }
    // Read what is there and change nothing: no missing tags made up, no
    // maker notes taken apart.
    exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_option(data.get(), EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
    exif_data_load_data(data.get(), block.data(), static_cast<unsigned int>(block.size()));

    ExifEntry *entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (entry == nullptr || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || entry->data == nullptr
        || entry->size < 2) {
        return kUpright;
    }
    const int value = exif_get_short(entry->data, exif_data_get_byte_order(data.get()));
    return isOrientation(value) ? value : kUpright;
}

} // namespace quillmere
