#include "imaging/compact_picture.h"

#include <webp/decode.h>
#include <webp/encode.h>

namespace quillmere {

namespace {

// The fastest lossless effort: a thumbnail compresses to about a third of its
// pixels' bytes in around a millisecond; more effort buys a few percent.
constexpr int kLosslessMethod = 0;
constexpr float kLosslessEffort = 0;

} // namespace

std::string CompactPicture(const QImage &picture)
{
    if (picture.isNull()) {
        return {};
    }
    QImage pixels = picture.convertToFormat(QImage::Format_RGB32);
    if (pixels.isNull()) {
        return {};
    }
    // RGB32 leaves the top byte undefined; stored pixels are opaque.
    for (int y = 0; y < pixels.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(pixels.scanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            line[x] |= 0xFF000000u;
        }
    }
    WebPConfig config;
    if (!WebPConfigInit(&config)) {
        return {};
    }
    config.lossless = 1;
    config.exact = 1;
    config.method = kLosslessMethod;
    config.quality = kLosslessEffort;
    WebPPicture webp;
    if (!WebPPictureInit(&webp)) {
        return {};
    }
    webp.use_argb = 1;
    webp.width = pixels.width();
    webp.height = pixels.height();
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    webp.writer = WebPMemoryWrite;
    webp.custom_ptr = &writer;
    std::string compact;
    // QRgb in memory is B, G, R, A on every little-endian machine Qt runs on
    // here; WebP's ARGB words are the same 32-bit values.
    if (WebPPictureImportBGRA(&webp, pixels.constBits(), static_cast<int>(pixels.bytesPerLine()))
        && WebPEncode(&config, &webp)) {
        compact.assign(reinterpret_cast<const char *>(writer.mem), writer.size);
    }
    WebPPictureFree(&webp);
    WebPMemoryWriterClear(&writer);
    return compact;
}

QImage ExpandPicture(std::string_view compact, QSize expected)
{
    const auto *data = reinterpret_cast<const std::uint8_t *>(compact.data());
    int width = 0;
    int height = 0;
    if (compact.empty() || !WebPGetInfo(data, compact.size(), &width, &height) || width != expected.width()
        || height != expected.height()) {
        return {};
    }
    QImage pixels(expected, QImage::Format_RGB32);
    if (pixels.isNull()
        || WebPDecodeBGRAInto(data, compact.size(), pixels.bits(), static_cast<std::size_t>(pixels.sizeInBytes()),
                              static_cast<int>(pixels.bytesPerLine()))
            == nullptr) {
        return {};
    }
    return pixels;
}

} // namespace quillmere
